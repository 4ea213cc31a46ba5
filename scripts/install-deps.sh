#!/usr/bin/env bash
# Installs every Debian package that the build, the tests, the benchmarks, the reference backend
# and the demo need. Safe to run again: packages already present are left alone and the package
# index is refreshed at most once per run, and only when something is missing.
set -euo pipefail

PACKAGES=(
  # toolchain
  build-essential cmake ninja-build ccache pkg-config git ca-certificates
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev zlib1g-dev
  # runtime libraries of the library itself
  libspdlog-dev libfmt-dev nlohmann-json3-dev libcurl4-openssl-dev libssl-dev
  libboost-dev libboost-system-dev uuid-dev
  libsqlitecpp-dev libsqlite3-dev libzip-dev libassimp-dev libglm-dev libstb-dev
  libfreetype-dev fonts-dejavu-core libsimdjson-dev
  # glTF reader: Draco and meshoptimizer decompression, WebP textures
  libdraco-dev libmeshoptimizer-dev libwebp-dev
  libopencv-dev libopencv-contrib-dev
  # image decoding of untrusted bytes; clang and its runtimes build the fuzz targets
  libpng-dev libjpeg62-turbo-dev libwebp-dev clang libclang-rt-14-dev
  libegl-dev libgl-dev libgles-dev libegl-mesa0 libgl1-mesa-dri libglfw3-dev xvfb
  # reference backend
  postgresql redis-server nodejs npm openssl
  # sanitizer runtimes for clang builds and tools the scripts use
  procps curl unzip doxygen
  # a browser that opens the order page in the tests
  chromium
  # fault-injection suite: its own network namespace, netem, packet loss (scripts/fault.sh)
  iproute2 nftables
)

missing=()
for pkg in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$pkg")
  fi
done

# npm may come from outside Debian on some machines; do not fight a working one.
if command -v npm >/dev/null 2>&1; then
  kept=()
  for pkg in "${missing[@]}"; do [ "$pkg" = npm ] || kept+=("$pkg"); done
  missing=("${kept[@]+"${kept[@]}"}")
fi

if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: all packages present"
  exit 0
fi

echo "install-deps: installing ${missing[*]}"
SUDO=""
[ "$(id -u)" -eq 0 ] || SUDO="sudo"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
