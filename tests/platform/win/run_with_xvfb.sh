#!/usr/bin/env bash
# Runs a test that needs a real display under a private Xvfb server. Without Xvfb the test is
# skipped (exit status 77, which CTest reports as skipped) with a message saying why.
set -u
if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "SKIPPED: xvfb-run is not installed; the display tests need Xvfb (package xvfb)." >&2
  exit 77
fi
exec xvfb-run -a -s "-screen 0 800x600x24" "$@"
