#!/usr/bin/env bash
# The download record store against SQLite: 100,000 distinct photo ids looked up and added,
# looked up again, and the index rebuilt. Prints both sets of times and their ratio.
# Usage: bench/recorddb/run.sh [BUILD_DIR] [N]   (default: build/; configured without the GUI if new)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
cd "$OVX_ROOT"

build=${1:-build}
count=${2:-100000}
ovx_install_packages libsqlite3-dev pkg-config
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$OVX_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVX_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$build" -j "$OVX_JOBS" --target bench_recorddb >/dev/null

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
"$build/bin/bench_recorddb" "$work" "$count"
