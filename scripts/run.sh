#!/bin/sh
# Installs dependencies, builds and starts Vaultleaf.
set -e
cd "$(dirname "$0")/.."
if [ "${VAULTLEAF_SKIP_DEPS:-0}" != 1 ]; then
  scripts/install-deps.sh
fi
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)"
if [ -x "$BUILD/src/app/vaultleaf" ]; then
  exec "$BUILD/src/app/vaultleaf" "$@"
fi
exec "$BUILD/src/cli/vaultleaf-cli" --help
