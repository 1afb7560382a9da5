#!/usr/bin/env bash
# Image-download throughput: WebRequestCom against the curl command line, both fetching the
# same 2,000 distinct ~30 KB images from one loopback server, sequentially, in one process.
# Usage: bench/web/run.sh [BUILD_DIR]   (default: build/; configured without the GUI if new)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
cd "$OVX_ROOT"

build=${1:-build}
count=${BENCH_COUNT:-2000}
size=${BENCH_SIZE:-30720}
ovx_install_packages curl
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$OVX_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVX_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$build" -j "$OVX_JOBS" --target bench_web_fetch >/dev/null
bin="$build/bin/bench_web_fetch"

work=$(mktemp -d)
exec 3> >("$bin" serve "$count" "$size" >"$work/server.out")
cleanup() { exec 3>&-; wait 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
for _ in $(seq 100); do
  grep -q '^port ' "$work/server.out" 2>/dev/null && break
  sleep 0.1
done
port=$(awk '/^port /{print $2}' "$work/server.out")
[ -n "$port" ] || { echo "server did not start" >&2; exit 1; }

for i in $(seq 0 $((count - 1))); do echo "http://127.0.0.1:$port/img/$i.jpg"; done >"$work/urls"
awk '{print "url = \"" $0 "\"\noutput = \"/dev/null\""}' "$work/urls" >"$work/curl.cfg"

now() { date +%s.%N; }
# A warm-up pass so that neither side pays for a cold server.
"$bin" fetch "$work/urls" >/dev/null

t0=$(now)
"$bin" fetch "$work/urls"
t1=$(now)
curl -s -f -K "$work/curl.cfg"
t2=$(now)

awk -v a="$t0" -v b="$t1" -v c="$t2" -v n="$count" -v s="$size" 'BEGIN {
  printf "WebRequestCom: %.3f s for %d images of %d bytes\n", b - a, n, s
  printf "curl (one process): %.3f s\n", c - b
  printf "ratio WebRequestCom/curl: %.2f\n", (b - a) / (c - b)
}'
