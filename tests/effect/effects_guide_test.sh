#!/usr/bin/env bash
# The authoring guide's tables are the program's own: each block between
# "<!-- effectc list WHAT -->" and "<!-- end -->" in docs/effects.md must be exactly what
# "effectc list WHAT" prints, and every table the command offers must be in the guide.
set -u
effectc="$1"
guide="$2"
failures=0
for what in states values instructions; do
    expected="$("$effectc" list "$what")" || { echo "FAIL: effectc list $what failed"; failures=$((failures + 1)); continue; }
    marker="<!-- effectc list $what -->"
    if [ "$(grep -cxF "$marker" "$guide")" != 1 ]; then
        echo "FAIL: the guide needs the marker '$marker' exactly once"
        failures=$((failures + 1))
        continue
    fi
    actual="$(awk -v marker="$marker" '$0 == marker { inside = 1; next } inside && $0 == "<!-- end -->" { exit } inside { print }' "$guide")"
    if [ "$actual" != "$expected" ]; then
        echo "FAIL: the guide's $what table differs from 'effectc list $what' (regenerate it):"
        diff <(printf '%s\n' "$expected") <(printf '%s\n' "$actual") | head -20
        failures=$((failures + 1))
    fi
done
[ $failures -eq 0 ] && echo "effects guide: tables match effectc list"
exit $failures
