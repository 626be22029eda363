#!/usr/bin/env bash
# The effectc tool's contract: commands, outputs, messages on standard error and exit codes
# (0 success, 1 errors in the input, 2 bad usage or an unreadable file).
set -u
effectc="$1"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
failures=0
check() {  # check NAME EXPECTED-STATUS ACTUAL-STATUS
    if [ "$2" != "$3" ]; then echo "FAIL: $1: status $3, expected $2"; failures=$((failures + 1)); fi
}
cd "$work"

printf 'DWORD a = 1;\ntechnique t { pass p { ZEnable = TRUE; } }\n' > good.fx
"$effectc" compile good.fx -o good.fxo 2> err.txt; check "compile good" 0 $?
[ -s err.txt ] && { echo "FAIL: compile good printed messages"; failures=$((failures + 1)); }
[ "$(head -c 4 good.fxo)" = "FX81" ] || { echo "FAIL: compiled block does not start with FX81"; failures=$((failures + 1)); }
"$effectc" dump good.fxo > dump.txt; check "dump" 0 $?
grep -q 'ASGN ZENABLE (DWORD)' dump.txt || { echo "FAIL: dump lacks the assignment"; failures=$((failures + 1)); }

printf 'DWORD a;\nDWORD a;\n' > bad.fx
"$effectc" compile ./bad.fx -o bad.fxo --diagnostics classic 2> err.txt; check "compile bad" 1 $?
[ "$(cat err.txt)" = "./bad.fx(2) : duplicate parameter: 'a'" ] || { echo "FAIL: message: $(cat err.txt)"; failures=$((failures + 1)); }
[ -e bad.fxo ] && { echo "FAIL: output written for a failed compile"; failures=$((failures + 1)); }

printf 'vs.1.1\ndef c4, 1, 2, 3, 4\nmov oPos, v0\n' > s.vsh
"$effectc" asm s.vsh -o s.bin --constants s.con --no-debug; check "asm" 0 $?
[ "$(stat -c %s s.bin)" = "$(( (1 + 10 + 3 + 1) * 4 ))" ] || { echo "FAIL: function size"; failures=$((failures + 1)); }
[ "$(stat -c %s s.con)" = 20 ] || { echo "FAIL: constants size"; failures=$((failures + 1)); }
printf 'ps.1.1\nmov r0, q0\n' > bad.psh
"$effectc" asm bad.psh --diagnostics classic 2> err.txt; check "asm bad" 1 $?
grep -q "^bad.psh(2) : (Assembly Error) invalid register 'q0'$" err.txt || { echo "FAIL: asm message"; failures=$((failures + 1)); }

printf 'float v0[3];\n' > d.decl
"$effectc" decl d.decl -o d.bin; check "decl" 0 $?
[ "$(od -An -tx4 d.bin | tr -s ' ')" = " 20000000 40020000 ffffffff" ] || { echo "FAIL: decl tokens"; failures=$((failures + 1)); }

"$effectc" compile missing.fx 2> /dev/null; check "missing file" 2 $?
"$effectc" 2> /dev/null; check "no command" 2 $?
"$effectc" frobnicate x 2> /dev/null; check "unknown command" 2 $?
"$effectc" compile good.fx --bogus 2> /dev/null; check "unknown option" 2 $?
"$effectc" compile good.fx -o 2> /dev/null; check "-o without file" 2 $?
"$effectc" --help > /dev/null; check "--help" 0 $?
"$effectc" --version > /dev/null; check "--version" 0 $?
printf 'FX81\001\000\000\000' > broken.fxo
"$effectc" dump broken.fxo > /dev/null; check "dump damaged block" 1 $?

# Inputs that are not regular files, or too large, are refused with a reason, never read
# without end; an empty output name is a usage error; lost standard output is a failure.
"$effectc" compile /dev/zero 2> err.txt; check "compile /dev/zero" 2 $?
grep -q "^effectc: cannot read '/dev/zero': not a regular file$" err.txt || { echo "FAIL: /dev/zero message: $(cat err.txt)"; failures=$((failures + 1)); }
"$effectc" check /dev/null 2> err.txt; check "check /dev/null" 2 $?
grep -q "not a regular file" err.txt || { echo "FAIL: /dev/null message: $(cat err.txt)"; failures=$((failures + 1)); }
mkdir folder.fx
"$effectc" compile folder.fx 2> err.txt; check "compile a folder" 2 $?
grep -q "a folder, not a file" err.txt || { echo "FAIL: folder message: $(cat err.txt)"; failures=$((failures + 1)); }
truncate -s 67108865 big.fx
"$effectc" compile big.fx 2> err.txt; check "compile beyond 64 MiB" 2 $?
grep -q "larger than 64 MiB" err.txt || { echo "FAIL: size message: $(cat err.txt)"; failures=$((failures + 1)); }
rm -f big.fx
"$effectc" compile good.fx -o '' 2> err.txt; check "-o ''" 2 $?
grep -q "needs a file name" err.txt || { echo "FAIL: -o '' message: $(cat err.txt)"; failures=$((failures + 1)); }
"$effectc" asm s.vsh --constants '' 2> /dev/null; check "--constants ''" 2 $?
"$effectc" dump good.fxo > /dev/full 2> err.txt; check "dump into a full device" 2 $?
grep -q "cannot write to standard output" err.txt || { echo "FAIL: dump message: $(cat err.txt)"; failures=$((failures + 1)); }
"$effectc" --help > /dev/full 2> /dev/null; check "--help into a full device" 2 $?
"$effectc" --version > /dev/full 2> /dev/null; check "--version into a full device" 2 $?
# Too little memory for the input is a clean error, not an abort. (Skipped where the tool cannot
# start at all under the limit, as with the address sanitizer.)
if (ulimit -v 40000; "$effectc" --version > /dev/null 2>&1); then
    truncate -s 50000000 zeros.fx
    (ulimit -v 40000; "$effectc" compile zeros.fx 2> err.txt); check "compile with too little memory" 2 $?
    grep -q "out of memory" err.txt || { echo "FAIL: memory message: $(cat err.txt)"; failures=$((failures + 1)); }
    rm -f zeros.fx
fi
: > empty.fx
"$effectc" check empty.fx > out.txt 2> err.txt; check "check an empty effect" 1 $?
grep -q "^effectc: empty.fx: the effect has no techniques$" err.txt || { echo "FAIL: empty check: $(cat err.txt)"; failures=$((failures + 1)); }

# check: the effect made on the headless REF device, each technique validated.
"$effectc" check good.fx > out.txt; check "check valid" 0 $?
[ "$(cat out.txt)" = 'technique 0 "t": valid' ] || { echo "FAIL: check listing: $(cat out.txt)"; failures=$((failures + 1)); }
printf 'technique many { pass p { ClipPlaneEnable = 0xFF; } }\n' > clip.fx
"$effectc" check clip.fx > out.txt; check "check nothing valid" 1 $?
grep -q '"many": not valid' out.txt || { echo "FAIL: check listing: $(cat out.txt)"; failures=$((failures + 1)); }
"$effectc" check missing.fx 2> /dev/null; check "check missing file" 2 $?
"$effectc" check good.fx --device gpu 2> /dev/null; check "check bad device" 2 $?

# Diagnostics: FILE:LINE:COL: error: TEXT, the source line and a caret by default; the message
# buffer's own lines with --diagnostics classic.
expect() {  # expect NAME FILE EXPECTED-TEXT
    if [ "$(cat "$2")" != "$3" ]; then echo "FAIL: $1:"; cat "$2"; echo "expected:"; echo "$3"; failures=$((failures + 1)); fi
}
printf 'technique t\n{\n    pass p\n    {\n        ColorOp[1 = 2;\n    }\n}\n' > q.sha
"$effectc" compile q.sha 2> err.txt; check "syntax error" 1 $?
expect "syntax error with caret" err.txt "q.sha:5:19: error: expected ']' before '='
    5 |         ColorOp[1 = 2;
      |                   ^"
"$effectc" compile q.sha --diagnostics classic 2> err.txt
expect "classic syntax error" err.txt "q.sha(5) : syntax error"
"$effectc" compile q.sha --diagnostics fancy 2> /dev/null; check "unknown diagnostics style" 2 $?
# A tab before the column stays a tab under it, so the caret lines up.
printf 'technique t { pass p {\n\tZEnable = Maybe;\n} }\n' > tab.sha
"$effectc" compile tab.sha 2> err.txt
expect "tab before the caret" err.txt "$(printf 'tab.sha:2:12: error: unknown value in DWORD expression: %s\n    2 | \tZEnable = Maybe;\n      | \t          ^' "'Maybe'")"
# Past 20 messages only the count of the rest is printed.
for i in $(seq 1 26); do printf '#pragma once\n'; done > many.sha
"$effectc" compile many.sha 2> err.txt; check "many messages" 1 $?
[ "$(grep -c ': error: preprocessor directives are not supported.$' err.txt)" = 20 ] || { echo "FAIL: shown messages: $(grep -c error: err.txt)"; failures=$((failures + 1)); }
grep -q '^effectc: 6 more messages not shown$' err.txt || { echo "FAIL: count of the rest: $(tail -1 err.txt)"; failures=$((failures + 1)); }
"$effectc" compile many.sha --diagnostics classic 2> err.txt
[ "$(grep -c '^many.sha([0-9]*) : preprocessor directives are not supported.$' err.txt)" = 26 ] || { echo "FAIL: classic keeps every message"; failures=$((failures + 1)); }
printf 'ps.1.1\nmov r0, q0\n' > bad.psh
"$effectc" asm bad.psh 2> err.txt
expect "asm diagnostic" err.txt "bad.psh:2:9: error: invalid register 'q0'
    2 | mov r0, q0
      |         ^"
printf 'float v0[3]\nstream 1;\n' > bad.decl
"$effectc" decl bad.decl 2> err.txt; check "decl syntax error" 1 $?
expect "decl diagnostic" err.txt "bad.decl:2:1: error: expected ';' before 'stream'
    2 | stream 1;
      | ^"

# check names the pass and the first reason of each invalid technique.
cat > reasons.sha <<'SHA'
technique Shaders
{
    pass P0
    {
        PixelShader = asm { ps.1.1
            tex t0
            add r0, t0, r1
        };
    }
}
technique Ops { pass { ColorOp[0] = Modulate; } pass Bump { ColorOp[0] = BumpEnvMap; } }
technique Many { pass p { ClipPlaneEnable = 0xFF; } }
technique Fine { pass { ZEnable = True; } }
SHA
"$effectc" check reasons.sha > out.txt; check "check with reasons" 0 $?
expect "check reasons" out.txt 'technique 0 "Shaders": not valid: pass 0 "P0": PIXELSHADER: the shader validator refused it: ps.1.1 instruction 2 (add): r1.x is read before it is written
reasons.sha:7:13: error: ps.1.1 instruction 2 (add): r1.x is read before it is written
    7 |             add r0, t0, r1
      |             ^
technique 1 "Ops": not valid: pass 1 "Bump": COLOROP[0] = BUMPENVMAP: not in the device'"'"'s TextureOpCaps
technique 2 "Many": not valid: pass 0 "p": the device cannot draw the pass: D3DERR_CONFLICTINGRENDERSTATE
technique 3 "Fine": valid'

# list: the program's own tables.
"$effectc" list states > out.txt; check "list states" 0 $?
grep -q '^| COLOROP | DWORD | 0..7 |$' out.txt || { echo "FAIL: list states lacks COLOROP"; failures=$((failures + 1)); }
"$effectc" list values > out.txt; check "list values" 0 $?
grep -q '^| SRCBLEND, DESTBLEND | ZERO = 0x1, ONE = 0x2,' out.txt || { echo "FAIL: list values lacks the blend row"; failures=$((failures + 1)); }
"$effectc" list instructions > out.txt; check "list instructions" 0 $?
grep -q '^| texld | 66 | 2 | - | - | yes |$' out.txt || { echo "FAIL: list instructions lacks texld"; failures=$((failures + 1)); }
"$effectc" list tables 2> /dev/null; check "list unknown table" 2 $?

[ $failures -eq 0 ] && echo "effectc: all checks passed"
exit $failures
