#!/usr/bin/env bash
# Sets up, builds and starts tonrig on the virtual programmer.
set -euo pipefail
cd "$(dirname "$0")"
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build --target tonrig
export TONRIG_USB=virtual
exec ./build/bin/tonrig "$@"
