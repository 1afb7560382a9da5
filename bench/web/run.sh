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
# A warm-up pass so that neither side pays for a cold server; then alternating rounds, best
# time of each side (the machine may be shared, so single runs are noisy).
"$bin" fetch "$work/urls" >/dev/null
rounds=${BENCH_ROUNDS:-3}
ours="" theirs=""
for _ in $(seq "$rounds"); do
  t0=$(now)
  "$bin" fetch "$work/urls" >/dev/null
  t1=$(now)
  curl -s -f -K "$work/curl.cfg"
  t2=$(now)
  ours="$ours $(awk -v a="$t0" -v b="$t1" 'BEGIN { print b - a }')"
  theirs="$theirs $(awk -v a="$t1" -v b="$t2" 'BEGIN { print b - a }')"
done

best() { printf '%s\n' $1 | sort -g | head -1; }
awk -v a="$(best "$ours")" -v b="$(best "$theirs")" -v n="$count" -v s="$size" -v r="$rounds" 'BEGIN {
  printf "WebRequestCom: %.3f s for %d images of %d bytes (best of %d)\n", a, n, s, r
  printf "curl (one process): %.3f s (best of %d)\n", b, r
  printf "ratio WebRequestCom/curl: %.2f\n", a / b
}'
