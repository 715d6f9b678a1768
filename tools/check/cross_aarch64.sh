#!/usr/bin/env bash
# Builds the extended-format comparison and the digest driver for x86-64
# (x87 extended) and for aarch64 (software extended: long double is
# binary128 there), runs the aarch64 builds under qemu-user, and compares:
#   - the software format's results per operation (ext_check's hashes),
#   - the digest of all 68 functions with tools/check/digest/recorded.txt.
# Installs Debian's cross compiler and qemu-user when they are missing.
#
#   tools/check/cross_aarch64.sh
#
# CHECK_TRIALS sets the operand pairs per operation of the format
# comparison (default 1e6); OUT keeps the outputs in a chosen directory.
set -euo pipefail
cd "$(dirname "$0")/../.."
OUT=${OUT:-$(mktemp -d)}
mkdir -p "$OUT"
FLAGS=(-std=c++20 -O2 -ffp-contract=off -fno-fast-math -Isrc)
CHECK_TRIALS=${CHECK_TRIALS:-1000000}

if ! command -v aarch64-linux-gnu-g++ >/dev/null || ! command -v qemu-aarch64 >/dev/null; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq g++-aarch64-linux-gnu qemu-user >/dev/null
fi
QEMU=(qemu-aarch64 -L /usr/aarch64-linux-gnu)
status=0

echo "== extended format: x87 unit, software format on x86-64 and on aarch64"
g++ "${FLAGS[@]}" tools/check/ext_check.cpp -o "$OUT/ext_check"
aarch64-linux-gnu-g++ "${FLAGS[@]}" tools/check/ext_check.cpp -o "$OUT/ext_check_arm"
"$OUT/ext_check" "$CHECK_TRIALS" > "$OUT/ext_x86.txt" || status=1
"${QEMU[@]}" "$OUT/ext_check_arm" "$CHECK_TRIALS" > "$OUT/ext_arm.txt"
sed -n '1,14p' "$OUT/ext_x86.txt"
if diff <(awk 'NR > 1 && NF >= 5 {print $1, $5}' "$OUT/ext_x86.txt" | head -13) \
        <(awk 'NR > 1 && NF >= 5 {print $1, $5}' "$OUT/ext_arm.txt" | head -13) >/dev/null; then
  echo "aarch64: the same results on every operation"
else
  echo "aarch64: the software format's results differ:"; cat "$OUT/ext_arm.txt"; status=1
fi

echo "== digest of the 68 functions"
g++ "${FLAGS[@]}" tools/check/digest/digest.cpp -o "$OUT/digest"
"$OUT/digest" > "$OUT/digest_x86.txt"
if diff -q "$OUT/digest_x86.txt" tools/check/digest/recorded.txt >/dev/null; then
  echo "x86-64 (x87): the recorded digest"
else
  echo "x86-64 (x87) differs from the recorded digest:"; diff "$OUT/digest_x86.txt" tools/check/digest/recorded.txt || true; status=1
fi
if g++ "${FLAGS[@]}" -DDISTMILL_SOFT_EXT tools/check/digest/digest.cpp -o "$OUT/digest_soft" 2>"$OUT/soft.log"; then
  "$OUT/digest_soft" > "$OUT/digest_soft.txt"
  diff "$OUT/digest_soft.txt" "$OUT/digest_x86.txt" && echo "x86-64 (software format): the same digest" || status=1
else
  echo "x86-64 (software format): does not compile ($(grep -c 'error:' "$OUT/soft.log") errors, first:)"
  grep -m1 'error:' "$OUT/soft.log"; status=1
fi
if aarch64-linux-gnu-g++ "${FLAGS[@]}" tools/check/digest/digest.cpp -o "$OUT/digest_arm" 2>"$OUT/arm.log"; then
  "${QEMU[@]}" "$OUT/digest_arm" > "$OUT/digest_arm.txt"
  diff "$OUT/digest_arm.txt" "$OUT/digest_x86.txt" && echo "aarch64 (software format, qemu): the same digest" || status=1
else
  echo "aarch64: does not compile ($(grep -c 'error:' "$OUT/arm.log") errors, first:)"
  grep -m1 'error:' "$OUT/arm.log"; status=1
fi
echo "outputs in $OUT"
exit $status
