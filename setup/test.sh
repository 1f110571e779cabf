#!/usr/bin/env bash
# Builds everything (warnings are errors) and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash setup/deps.sh
bash setup/configure.sh build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQZ_WERROR=ON
cmake --build build-test -j"$(nproc)"
cd build-test
ctest --output-on-failure -j"$(nproc)"
