#!/usr/bin/env bash
# The fault-injection suite: a backend of its own (own state directory, own ports, own PostgreSQL
# and Redis) that the tests kill, stop and starve, so the shared reference backend and whoever
# uses it are never touched. When the machine allows it (root, iproute2), the backend and the
# tests run in a network namespace of their own, so latency and loss on its loopback reach nobody
# else; without one, the tests that impair the network skip.
#
#   scripts/fault.sh run            build nothing; start the backend, run `ctest --preset fault`, stop
#   scripts/fault.sh impair <port> <delay ms> <loss %>   (inside the namespace) slow down and drop
#                                   packets to and from <port>; prints what it could apply:
#                                   "netem" (delay and loss) or "loss" (packet loss only)
#   scripts/fault.sh clear          (inside the namespace) remove every impairment
#
# Environment: VANTREL_FAULT_STATE (default /var/tmp/vantrel-fault-backend), VANTREL_FAULT_TIMEOUT
# (seconds for the whole test run, default 300).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
STATE="$(realpath -m "${VANTREL_FAULT_STATE:-/var/tmp/vantrel-fault-backend}")"
NETNS="vantrel-fault-$$"
NFT_TABLE=vantrel_fault

log() { echo "fault: $*" >&2; }
die() { echo "fault: error: $*" >&2; exit 1; }

# Ports of the suite's backend; another block than the shared backend's, so the two never meet
# even without a namespace.
backend_env() {
  echo VANTREL_BACKEND_STATE="$STATE" VANTREL_PG_PORT=29432 VANTREL_REDIS_PORT=29479 \
    VANTREL_PRIMARY_PORT=29443 VANTREL_SECOND_PORT=29444
}

in_netns() {
  if [ -n "${VANTREL_FAULT_NETNS:-}" ]; then
    ip netns exec "$VANTREL_FAULT_NETNS" env VANTREL_FAULT_NETNS="$VANTREL_FAULT_NETNS" "$@"
  else
    "$@"
  fi
}

cmd_run() {
  export VANTREL_FAULT_NETNS=""
  if [ "$(id -u)" -eq 0 ] && command -v ip >/dev/null && ip netns add "$NETNS" 2>/dev/null; then
    VANTREL_FAULT_NETNS="$NETNS"
    ip netns exec "$NETNS" ip link set lo up
    log "network namespace $NETNS (its own loopback)"
  else
    log "no network namespace here (needs root and iproute2): the network impairment tests skip"
  fi
  cleanup() {
    # shellcheck disable=SC2046
    in_netns env $(backend_env) bash "$ROOT/scripts/backend.sh" stop >/dev/null 2>&1 || true
    if [ -n "$VANTREL_FAULT_NETNS" ]; then
      # Whatever still runs in the namespace was started by this run.
      local pid
      for pid in $(ip netns pids "$VANTREL_FAULT_NETNS" 2>/dev/null); do kill -KILL "$pid" 2>/dev/null || true; done
      ip netns delete "$VANTREL_FAULT_NETNS" 2>/dev/null || true
    fi
  }
  trap cleanup EXIT
  # shellcheck disable=SC2046
  in_netns env $(backend_env) bash "$ROOT/scripts/backend.sh" start
  local status=0
  # shellcheck disable=SC2046
  (cd "$ROOT" && in_netns env $(backend_env) timeout "${VANTREL_FAULT_TIMEOUT:-300}" ctest --preset fault) || status=$?
  return "$status"
}

cmd_impair() {
  local port="$1" delay="$2" loss="$3"
  [ -n "${VANTREL_FAULT_NETNS:-}" ] || die "impairments are applied only inside the suite's namespace"
  cmd_clear
  if tc qdisc add dev lo root netem delay "${delay}ms" loss "${loss}%" 2>/dev/null; then
    echo netem
    return 0
  fi
  # Kernels without netem: drop packets at random with nftables (delay is then the caller's).
  command -v nft >/dev/null || die "neither netem nor nft is available"
  local chance="numgen random mod 100 < $loss"
  [ "$loss" -lt 100 ] || chance=""
  nft -f - <<EOF || die "nft refused the loss rules"
table inet $NFT_TABLE {
  chain out {
    type filter hook output priority 0; policy accept;
    tcp sport $port $chance counter drop
    tcp dport $port $chance counter drop
  }
}
EOF
  echo loss
}

cmd_clear() {
  [ -n "${VANTREL_FAULT_NETNS:-}" ] || die "impairments are applied only inside the suite's namespace"
  tc qdisc del dev lo root 2>/dev/null || true
  if command -v nft >/dev/null; then nft delete table inet "$NFT_TABLE" 2>/dev/null || true; fi
}

case "${1:-}" in
  run) cmd_run ;;
  impair) [ $# -eq 4 ] || die "usage: $0 impair <port> <delay ms> <loss %>"; cmd_impair "$2" "$3" "$4" ;;
  clear) cmd_clear ;;
  *)
    echo "usage: $0 run|impair <port> <delay ms> <loss %>|clear" >&2
    exit 2
    ;;
esac
