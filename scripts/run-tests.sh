#!/bin/sh
# Installs dependencies, builds everything and runs every test.
# Fails when any test fails or when no test ran.
set -e
cd "$(dirname "$0")/.."
if [ "${VAULTLEAF_SKIP_DEPS:-0}" != 1 ]; then
  scripts/install-deps.sh
fi
BUILD=${BUILD_DIR:-build}
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$BUILD" -j"$(nproc)"
export QT_QPA_PLATFORM=offscreen
export QTWEBENGINE_DISABLE_SANDBOX=1
ctest --test-dir "$BUILD" --output-on-failure --no-tests=error -j"$(nproc)"
