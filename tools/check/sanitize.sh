#!/usr/bin/env bash
# Builds the module with AddressSanitizer and UndefinedBehaviorSanitizer
# (signed overflow, shifts, bounds, out-of-range float-to-integer
# conversions, ...) in a build directory of its own, and runs the test
# suite against that build.  Any report stops the run with a non-zero exit.
#
#   tools/check/sanitize.sh [pytest arguments]      default: the whole suite
#                                             and the example tour
#
# With DISTMILL_SOFT_EXT=1 in the environment the module is built with the
# software extended format (the CMake option of that name), and the tests
# compile their probes in that format too: the format's integer arithmetic
# (shifts, carries, normalisation) is where undefined behaviour would hide.
#
# The interpreter itself is not instrumented, so the ASan runtime is
# preloaded; leak detection is off because the interpreter keeps its own
# allocations until exit by design.  Needs g++ with its sanitizer runtimes
# (they come with gcc), cmake, ninja, pybind11, numpy and pytest.
set -euo pipefail
cd "$(dirname "$0")/../.."

BUILD=$(realpath -m "${SANITIZE_BUILD:-build-sanitize}")
SAN="-fsanitize=address,undefined,float-cast-overflow"
# Line tables are all a report's stack trace needs (full debug information
# makes GCC track variables through the lane loops' huge functions, and
# retry without, at great cost).
FLAGS="$SAN -fno-sanitize-recover=all -fno-omit-frame-pointer -g1"
# The lane loops (register arithmetic on packs, loads and stores of the
# array blocks) keep AddressSanitizer, which sees their every access to
# memory, but not the undefined-behaviour checks, and are optimised less:
# with both at -O3 each of their files took GCC over twenty minutes.  The
# scalar functions they hand elements to are compiled, checked, in the
# other files.
LANES="-O1;-fno-sanitize=undefined,float-cast-overflow"
SOFT=OFF
[ "${DISTMILL_SOFT_EXT:-}" = 1 ] && SOFT=ON

# Without link-time optimisation: it would compile every lane loop a second
# time at the link, serially, for no gain in what the sanitizers see.
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INTERPROCEDURAL_OPTIMIZATION=OFF \
  -DCMAKE_CXX_FLAGS="$FLAGS" -DCMAKE_MODULE_LINKER_FLAGS="$SAN" -DDISTMILL_LANE_OPTIONS="$LANES" \
  -DDISTMILL_SOFT_EXT="$SOFT" \
  -Dpybind11_DIR="$(python3 -m pybind11 --cmakedir)" -DPython_EXECUTABLE="$(which python3)" >/dev/null
cmake --build "$BUILD"

# The module must really be instrumented, or the run below proves nothing.
if ! nm -D "$BUILD"/distmill*.so | grep __asan_init >/dev/null; then
  echo "sanitize.sh: $BUILD is not instrumented" >&2
  exit 1
fi

# libstdc++ is preloaded too: the interpreter does not link it, and ASan
# must find the real __cxa_throw when it starts, or the first C++ exception
# (an interrupt, a numpy error passed through) aborts the process.
PRELOAD="$(g++ -print-file-name=libasan.so) $(g++ -print-file-name=libstdc++.so)"
# Python's allocator hands out pools of its own; asking it to use malloc
# lets ASan see every object.
export PYTHONMALLOC=malloc
# A failed allocation returns null, so that the tests of sizes beyond the
# memory see numpy's MemoryError rather than ASan's abort.  Reports go to
# files as well as ending the process: a report from a child
# process that a test runs (and whose stderr it swallows) is still seen.
LOGDIR=$(mktemp -d)
trap 'rm -rf "$LOGDIR"' EXIT
export ASAN_OPTIONS="detect_leaks=0:allocator_may_return_null=1:halt_on_error=1:exitcode=86:log_path=$LOGDIR/asan"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1:exitcode=87:log_path=$LOGDIR/ubsan"
export PYTHONPATH="$BUILD${PYTHONPATH:+:$PYTHONPATH}"
# The tests must import this build's module, not an installed one.
LD_PRELOAD="$PRELOAD" python3 -c "import distmill, sys; sys.exit(not distmill.__file__.startswith('$BUILD/'))" ||
  { echo "sanitize.sh: the tests would not import $BUILD's module" >&2; exit 1; }

status=0
if [ $# -eq 0 ]; then
  # The tour test runs the example in a scrubbed environment, without the
  # preload the sanitized module needs to load: the example runs here
  # instead.
  LD_PRELOAD="$PRELOAD" python3 -m pytest -p no:cacheprovider -q tests \
    --deselect tests/test_tour.py::test_tour_runs || status=$?
  LD_PRELOAD="$PRELOAD" python3 examples/tour.py >/dev/null || status=$?
else
  LD_PRELOAD="$PRELOAD" python3 -m pytest -p no:cacheprovider "$@" || status=$?
fi
# The logs also hold warnings (a refused allocation of 256 TiB); reports
# are what fails the run.
if compgen -G "$LOGDIR/*" >/dev/null && grep -l -E "ERROR: |runtime error|SUMMARY: " "$LOGDIR"/* >/dev/null; then
  echo "sanitize.sh: sanitizer reports:" >&2
  grep -h -v "WARNING: AddressSanitizer failed to allocate" "$LOGDIR"/* >&2
  exit 1
fi
exit $status
