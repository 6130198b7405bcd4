#!/usr/bin/env bash
# Installs what is missing, builds Geodot and starts it with the given arguments.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)"
if [[ $# -eq 0 ]]; then
  exec build/cli/geodot-cli --help
fi
exec build/cli/geodot-cli "$@"
