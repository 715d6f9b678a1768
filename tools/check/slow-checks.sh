#!/usr/bin/env bash
# The checks too slow for the default test run (minutes): every function
# called 10^5 times in each form, error paths and interrupted calls, with
# the process's resident size compared before and after.
#
#   tools/check/slow-checks.sh [build directory]      default: build
set -euo pipefail
cd "$(dirname "$0")/../.."
BUILD=${1:-build}
DISTMILL_SLOW=1 PYTHONPATH="$PWD/$BUILD${PYTHONPATH:+:$PYTHONPATH}" \
  python3 -m pytest -p no:cacheprovider -q tests/test_memory.py
