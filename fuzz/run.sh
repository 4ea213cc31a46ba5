#!/usr/bin/env bash
# Builds the fuzz targets with clang (libFuzzer under AddressSanitizer and UndefinedBehaviorSanitizer)
# and runs each on its committed seed corpus for a while. Exits non-zero when any target finds a
# crash, a sanitizer report, a leak or a timeout; the input that caused it is kept in
# build/fuzz/findings/<target>/ and the target's log in build/fuzz/<target>.log.
#
#   bash fuzz/run.sh [seconds per target, default 30] [target ...]   (all targets when none named)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
[ $# -gt 0 ] && shift
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(image_decoding ar_session viewer_script zip_extraction livequery_frames model_manifest gltf_reader backend_records store_files)
build=build/fuzz
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1

launcher=()
command -v ccache >/dev/null 2>&1 && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
CC=clang CXX=clang++ cmake -S fuzz -B "$build" -G Ninja "${launcher[@]}" >/dev/null
cmake --build "$build" -j"$(nproc 2>/dev/null || echo 2)" --target "${targets[@]/#/fuzz_}"

# One target per core at a time: each is single-threaded, so two cores halve the wall time.
fuzz_one() {
  local target=$1 work="$build/corpus/$1" findings="$build/findings/$1" log="$build/$1.log" result runs
  mkdir -p "$work" "$findings"
  # New inputs go to the work corpus in the build tree; the committed seeds are only read.
  if ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$build/fuzz_$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$findings/" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
    result="no findings"
  else
    result="FINDING (see $log and $findings/)"
    tail -n 60 "$log"
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
  echo "fuzz: $target: ${seconds} s, ${runs:-?} executions, $result"
  [ "$result" = "no findings" ]
}

status=0
parallel=$(nproc 2>/dev/null || echo 2)
pids=()
for target in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n || status=1; done
  fuzz_one "$target" &
  pids+=($!)
done
while [ "$(jobs -rp | wc -l)" -gt 0 ]; do wait -n || status=1; done
exit "$status"
