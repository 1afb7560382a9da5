#!/usr/bin/env bash
# Album download throughput: ovatrix-cli downloading one album of 2,000 photos of about 30 KB
# from the stand-in photo service with records on, against the curl command line fetching the
# same 2,000 image addresses into files in one process. Alternating rounds, fresh folders and a
# fresh record folder every round; then a second ovatrix-cli run over the recorded album, which
# must make no image request.
# Usage: bench/download/run.sh [BUILD_DIR]   (default: build/; configured without the GUI if new)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
cd "$OVX_ROOT"

build=${1:-build}
count=${BENCH_COUNT:-2000}
size=${BENCH_SIZE:-30000}
rounds=${BENCH_ROUNDS:-3}
ovx_install_packages curl time
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S "$OVX_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVX_BUILD_GUI=OFF >/dev/null
fi
cmake --build "$build" -j "$OVX_JOBS" --target ovatrix-cli photo-service >/dev/null
cli="$build/bin/ovatrix-cli"
service="$build/bin/photo-service"
[[ "$cli" = /* ]] || cli="$OVX_ROOT/$cli"

work=$(mktemp -d)
service_pid=""
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# One user, one album; photo N is image bN.jpg, newest first.
{
  printf '{ "users": [ { "uid": "9001", "title": "bench", "albums": [\n'
  printf '  { "caption": "album", "album_id": "5900000000000001", "photos": [\n'
  for i in $(seq 1 "$count"); do
    [ "$i" -gt 1 ] && printf ',\n'
    printf '    { "caption": "photo %d", "timestamp": %d, "photo_id": "41%014d", "pic_name": "b%d.jpg" }' \
      "$i" $((1400000000 - i * 60)) "$i" "$i"
  done
  printf '\n  ] } ] } ],\n  "image_bytes": %d, "require_login": false }\n' "$size"
} >"$work/scenario.json"

"$service" --scenario "$work/scenario.json" --request-log "$work/requests.log" >"$work/service.out" 2>&1 &
service_pid=$!
for _ in $(seq 100); do
  grep -q '^listening on ' "$work/service.out" 2>/dev/null && break
  sleep 0.1
done
port=$(sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/service.out")
[ -n "$port" ] || { echo "photo service did not start" >&2; exit 1; }
address="http://127.0.0.1:$port/u/9001"

# A program folder whose settings point at the service: a fresh record folder.
program_folder() {
  rm -rf "$1"
  mkdir -p "$1"
  printf '[服务地址]\n相册服务=http://127.0.0.1:%s\n' "$port" | iconv -f UTF-8 -t GB18030 >"$1/配置.ini"
}
# /usr/bin/time writes "PEAK_RSS_KB USER_S SYS_S" into the named file.
run_cli() {  # run_cli PROGRAM_FOLDER TIME_FILE
  /usr/bin/time -f '%M %U %S' -o "$2" "$cli" --program-folder "$1" --save "$1/photos" --records on \
    --naming 内容 "$address" >"$work/cli.out" 2>"$work/cli.err"
}
curl_config() {  # curl_config OUTPUT_FOLDER
  for i in $(seq 1 "$count"); do
    printf 'url = "http://127.0.0.1:%s/large/b%d.jpg"\noutput = "%s/b%d.jpg"\n' "$port" "$i" "$1" "$i"
  done
}

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", b - a }'; }
cpu() { awk '{ printf "%.2f", $2 + $3 }' "$1"; }
peak() { awk -v r="$2" '{ print ($1 > r ? $1 : r) }' "$1"; }

# The machine may be shared: wall-clock times are noisy, so the CPU time of each side
# (user + system) is shown too.
ours="" theirs="" ours_cpu="" theirs_cpu="" rss=0
for round in $(seq "$rounds"); do
  program_folder "$work/cli"
  t0=$(now)
  run_cli "$work/cli" "$work/cli.time"
  t1=$(now)
  saved=$(find "$work/cli/photos" -type f | wc -l)
  [ "$saved" -eq "$count" ] || { echo "round $round: ovatrix-cli saved $saved of $count photos" >&2; tail -3 "$work/cli.out" >&2; exit 1; }
  rss=$(peak "$work/cli.time" "$rss")
  ours_cpu="$ours_cpu $(cpu "$work/cli.time")"

  rm -rf "$work/curl" && mkdir -p "$work/curl"
  curl_config "$work/curl" >"$work/curl.cfg"
  t2=$(now)
  /usr/bin/time -f '%M %U %S' -o "$work/curl.time" curl -s -f -K "$work/curl.cfg"
  t3=$(now)
  theirs_cpu="$theirs_cpu $(cpu "$work/curl.time")"
  ours="$ours $(elapsed "$t0" "$t1")"
  theirs="$theirs $(elapsed "$t2" "$t3")"
done

# Everything recorded: no image request, and quick.
before=$(grep -c ' /large/' "$work/requests.log" || true)
t0=$(now)
run_cli "$work/cli" "$work/cli2.time"
t1=$(now)
after=$(grep -c ' /large/' "$work/requests.log" || true)
second=$(elapsed "$t0" "$t1")
rss=$(peak "$work/cli2.time" "$rss")

median() { printf '%s\n' $1 | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
best() { printf '%s\n' $1 | sort -g | head -1; }
awk -v a="$(best "$ours")" -v am="$(median "$ours")" -v b="$(best "$theirs")" -v bm="$(median "$theirs")" \
    -v ac="$(best "$ours_cpu")" -v bc="$(best "$theirs_cpu")" \
    -v n="$count" -v s="$size" -v r="$rounds" -v second="$second" -v requests=$((after - before)) \
    -v rss="$rss" -v summary="$(tail -1 "$work/cli.out")" 'BEGIN {
  printf "ovatrix-cli, records on: %.3f s best, %.3f s median for %d photos of ~%d bytes (%d rounds); CPU %.2f s\n", a, am, n, s, r, ac
  printf "curl (one process): %.3f s best, %.3f s median; CPU %.2f s\n", b, bm, bc
  printf "ovatrix-cli second run, everything recorded: %.3f s, %d image requests (%s)\n", second, requests, summary
  printf "ovatrix-cli peak RSS: %.1f MB\n", rss / 1024
  printf "ratio ovatrix-cli/curl (best): %.2f\n", a / b
}'
