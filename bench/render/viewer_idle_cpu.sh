#!/usr/bin/env bash
# The viewer's CPU while nothing happens: runs it under Xvfb at 1280 × 720 on the demo catalogue,
# lets it load and settle, then reads its user and system time from /proc over SECONDS idle seconds
# and asks it (SIGUSR1) how many frames it had drawn before and after.
#
#   bench/render/viewer_idle_cpu.sh [VIEWER] [SECONDS] [SETTLE_SECONDS] [-- viewer arguments]
#
# Needs the reference backend with the demo company (scripts/demo.sh seeds it) and xvfb-run.
set -euo pipefail
viewer=${1:-build/ci/examples/vantrel_viewer}
seconds=${2:-10}
settle=${3:-20}
shift $(( $# < 3 ? $# : 3 ))
[[ ${1:-} == -- ]] && shift
out=$(mktemp -d)
xvfb-run -a -s "-screen 0 1280x720x24" "$viewer" --size 1280x720 "$@" >"$out/viewer.out" 2>"$out/viewer.err" &
runner=$!
# The viewer is the runner's child process that runs the viewer binary.
pid=''
for _ in $(seq 100); do
    pid=$(pgrep -P "$(pgrep -P $runner | head -1)" -f "$(basename "$viewer")" 2>/dev/null | head -1 || true)
    [[ -z $pid ]] && pid=$(pgrep -P $runner -f "$(basename "$viewer")" 2>/dev/null | head -1 || true)
    [[ -n $pid ]] && break
    sleep 0.1
done
[[ -n $pid ]] || { echo "the viewer did not start"; cat "$out/viewer.err"; exit 1; }
# Loading the catalogue and placing it: the viewer answers SIGUSR1 once its loop runs (and takes the
# signal from its first line on: give the program a moment to get there).
sleep 3
until grep -q "^frames drawn" "$out/viewer.out" 2>/dev/null; do
    kill -0 "$pid" 2>/dev/null || { echo "the viewer ended"; cat "$out/viewer.err"; exit 1; }
    kill -USR1 "$pid"
    sleep 1
done
sleep "$settle"
ticks() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
frames() { kill -USR1 "$pid"; sleep 0.3; grep "^frames drawn" "$out/viewer.out" | tail -1 | awk '{print $3}'; }
hz=$(getconf CLK_TCK)
f0=$(frames)
t0=$(ticks)
start=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks)
end=$(date +%s.%N)
f1=$(frames)
kill -TERM "$pid"
wait $runner || true
awk -v t0="$t0" -v t1="$t1" -v hz="$hz" -v s="$start" -v e="$end" -v f0="$f0" -v f1="$f1" 'BEGIN {
    cpu = (t1 - t0) / hz; wall = e - s;
    printf "idle %.1f s: cpu %.3f s = %.2f %% of a core; frames drawn %d -> %d (%d while idle)\n", wall, cpu, 100 * cpu / wall, f0, f1, f1 - f0 }'
rm -rf "$out"
