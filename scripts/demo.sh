#!/usr/bin/env bash
# The README's first command: installs what is missing, builds the demo host, starts the reference
# backend when it is not running, seeds the demo company once (run twice, it finds it and seeds
# nothing), runs examples/demo and stops the backend again if it started it.
#
#   scripts/demo.sh [--out DIR] [--debug]      (arguments go to the demo host)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc 2>/dev/null || echo 2)
export CCACHE_BASEDIR="$root" CCACHE_NOHASHDIR=1

say() { printf 'demo.sh: %s\n' "$*"; }

say "checking dependencies"
bash scripts/install-deps.sh >/dev/null

state=${VANTREL_BACKEND_STATE:-/var/tmp/vantrel-backend}
started_backend=0
if ! bash scripts/backend.sh status >/dev/null 2>&1; then
  say "starting the reference backend"
  bash scripts/backend.sh start >/dev/null
  started_backend=1
fi
stop_backend() { [ "$started_backend" = 1 ] && bash "$root/scripts/backend.sh" stop >/dev/null 2>&1 || true; }
trap stop_backend EXIT
# shellcheck disable=SC1091
source "$state/backend.env"

# The seed tool and the login check use the backend's JavaScript packages: a checkout whose backend
# was started from elsewhere has none yet.
if [ ! -f backend/node_modules/.package-lock.json ]; then
  say "installing the backend's packages"
  (cd backend && npm ci --no-audit --no-fund --loglevel=error >/dev/null)
fi

# The demo data: a company with a catalogue built from ../shared/models (zipped models with their
# manifests, materials with tags, sofa modules with snapping areas, an anchor object, a scene).
if node backend/peer/peer.mjs login emma.employee@nordhaven.test emma-password-1 >/dev/null 2>&1; then
  say "demo company already seeded"
else
  say "seeding the demo company"
  node backend/tools/seed.mjs apply backend/fixtures/demo.json >/dev/null
fi

# The test script's optimised build: the two commands share one build tree and compiler cache.
say "building"
cmake --preset ci >/dev/null
cmake --build --preset ci -j"$jobs" --target vantrel_demo >/dev/null
./build/ci/examples/vantrel_demo "$@"
