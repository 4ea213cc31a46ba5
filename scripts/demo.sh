#!/usr/bin/env bash
# Builds and runs the demo host against the reference backend.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc 2>/dev/null || echo 2)

bash scripts/install-deps.sh >/dev/null
if [ -f scripts/backend.sh ]; then
  bash scripts/backend.sh start >/dev/null
  state=${VANTREL_BACKEND_STATE:-/var/tmp/vantrel-backend}
  # shellcheck disable=SC1091
  [ -f "$state/backend.env" ] && source "$state/backend.env"
fi
cmake --preset release >/dev/null
cmake --build --preset release -j"$jobs" --target vantrel_demo >/dev/null
exec ./build/release/examples/vantrel_demo "$@"
