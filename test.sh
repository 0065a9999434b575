#!/usr/bin/env bash
# Sets up, builds and runs every test: a normal build, an AddressSanitizer+UndefinedBehavior-
# Sanitizer build, and each libFuzzer target for a bounded time. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh clang libclang-rt-14-dev srecord binutils
jobs=$(nproc)
fuzz_seconds=${TONRIG_FUZZ_SECONDS:-20}
export QT_QPA_PLATFORM=offscreen
werror=ON

echo "== normal build"
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONRIG_WERROR=$werror >/dev/null
cmake --build build -j "$jobs"
ctest --test-dir build --output-on-failure -j "$jobs"

echo "== sanitizer build"
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTONRIG_SANITIZE=ON -DTONRIG_WERROR=$werror >/dev/null
cmake --build build-asan -j "$jobs"
ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

echo "== fuzz targets (${fuzz_seconds}s each)"
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTONRIG_FUZZ=ON >/dev/null
cmake --build build-fuzz -j "$jobs"
pids=()
names=()
while IFS='|' read -r target corpus; do
  [ -n "$target" ] || continue
  work=build-fuzz/corpus-run/$target
  rm -rf "$work" && mkdir -p "$work"
  [ -d "$corpus" ] && cp -r "$corpus"/. "$work"/
  ASAN_OPTIONS=detect_leaks=0 build-fuzz/tests/fuzz/$target -max_total_time="$fuzz_seconds" -max_len=65536 \
    -artifact_prefix=build-fuzz/ "$work" >"build-fuzz/$target.log" 2>&1 &
  pids+=($!)
  names+=("$target")
done < build-fuzz/fuzzers.txt
failed=0
for i in "${!pids[@]}"; do
  if wait "${pids[$i]}"; then
    echo "fuzz ${names[$i]}: no crash"
  else
    echo "fuzz ${names[$i]}: FAILED"; tail -40 "build-fuzz/${names[$i]}.log"; failed=1
  fi
done
[ $failed -eq 0 ] || exit 1
echo "All test stages passed."
