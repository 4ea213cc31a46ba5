#!/usr/bin/env bash
# One benchmark report: builds the optimised benchmarks, starts the reference backend if it is not
# running, runs every benchmark that has a peer or a floor (each measured beside it in the same
# process run), RUNS times over, and prints one Markdown table — measure, ours, peer/floor, ratio
# of each run, goal, met — with the machine, the load average and the commit above it.
#
#   bench/report.sh [--runs N] [--preset release|ci] [--out DIR]
#
# The JSON of every run stays in DIR (default build/<preset>/bench-report) for a closer look.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)

runs=5
preset=release
out=""
while [ $# -gt 0 ]; do
  case "$1" in
    --runs) runs=$2; shift 2 ;;
    --preset) preset=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    -h|--help) sed -n '2,9p' "$0"; exit 0 ;;
    *) echo "report.sh: unknown argument $1" >&2; exit 2 ;;
  esac
done
case "$runs" in ''|*[!0-9]*|0) echo "report.sh: --runs needs a positive number" >&2; exit 2 ;; esac
out=${out:-build/$preset/bench-report}

export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset" -j"$(nproc)" --target vantrel_bench >&2

if ! bash scripts/backend.sh status >/dev/null 2>&1; then
  echo "report.sh: starting the reference backend" >&2
  bash scripts/backend.sh start >&2
fi
state=${VANTREL_BACKEND_STATE:-/var/tmp/vantrel-backend}
# shellcheck disable=SC1091
[ -f "$state/backend.env" ] && set -a && source "$state/backend.env" && set +a

# Benchmarks with a peer or floor of their own. Each run goes through all of them once, so the
# runs alternate between measures instead of repeating one while the machine drifts.
filter='BM_ReadThousandInPagesOfHundred|BM_LiveQuerySaveToEvent|BM_SaveAndReadDesign|BM_ColdLoad|BM_WarmLoad'
mkdir -p "$out"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)
files=()
for i in $(seq 1 "$runs"); do
  echo "report.sh: run $i of $runs" >&2
  file="$root/$out/run-$i.json"
  # From the build tree: the benchmarks find the repository's Node tools relative to it.
  (cd "build/$preset" && bench/vantrel_bench --benchmark_filter="$filter" --benchmark_out="$file" \
    --benchmark_out_format=json >&2) || echo "report.sh: run $i ended with an error" >&2
  files+=("$file")
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

commit=$(git rev-parse --short HEAD)
git diff --quiet HEAD -- 2>/dev/null || commit="$commit (with uncommitted changes)"
cpu=$(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//')
mem=$(awk '/MemTotal/ {printf "%.0f GiB", $2 / 1048576}' /proc/meminfo)

echo "## Benchmark report"
echo
echo "- commit: $commit, preset: $preset, runs: $runs, $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "- machine: $(nproc) cores ($cpu), $mem, $(uname -sr)"
echo "- load average (1, 5, 15 min): $load_before before, $load_after after"
echo
node bench/report.mjs "${files[@]}"
echo
echo "Ratios are ours / peer per run; \"met\" counts the runs at or under the goal."
