#!/usr/bin/env bash
# scripts/check-layers on the source tree, and on small trees with one include each that runs
# upward, sideways or downward, so that a checker that passes everything is caught too.
set -u
top="$(cd "$(dirname "$0")/.." && pwd)"
check="$top/scripts/check-layers"
failed=0

"$check" "$top" || { echo "FAIL: the source tree has includes that run upward"; failed=1; }

tree="$(mktemp -d)"
trap 'rm -rf "$tree"' EXIT
expect() {  # expect PASS|FAIL FILE INCLUDED
  rm -rf "${tree:?}"/*
  mkdir -p "$tree/$(dirname "$2")" "$tree/$(dirname "$3")"
  touch "$tree/$3"
  printf '#include "%s"\n' "$3" > "$tree/$2"
  if "$check" "$tree" >/dev/null 2>&1; then got=PASS; else got=FAIL; fi
  if [ "$got" != "$1" ]; then
    echo "FAIL: $2 including $3 gave $got, expected $1"
    failed=1
  fi
}
expect FAIL fluid/SurfaceGrid.h scene/Camera.h
expect FAIL app/AppFramework.cpp scene/FluidDemoApp.h
expect FAIL effect/EffectNode.cpp effect/runtime/EffectFile.h
expect FAIL fluid/FluidSolver.cpp effect/DataBuffer.h
expect FAIL platform/win/WinUser.cpp platform/d3d/d3d8.h
expect FAIL platform/d3d/Device.cpp math/VectorMath.h
expect PASS scene/FluidComponent.cpp fluid/BubblePool.h
expect PASS effect/runtime/EffectFile.cpp effect/DataBuffer.h
expect PASS platform/d3d/shader/ShaderTokens.h platform/d3d/d3d8types.h
exit $failed
