#!/usr/bin/env bash
# Image transfers side by side: ovatrix-cli downloading one album from the stand-in photo
# service, records on, with one transfer at a time and with several.
# 1. Every image answered 50 ms late (a CDN's round trip): --parallel 1 against --parallel 3,
#    time and ratio (goal: at least 2.5 times faster with 3).
# 2. No delay, 2,000 photos of about 30 KB on loopback: --parallel 1 and 8, time and peak RSS,
#    against curl fetching the same addresses in one process.
# Both sides must save every photo; fresh folders and records every round.
# Usage: bench/download/parallel.sh [BUILD_DIR]   (default: build/)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$(dirname "$0")/web-lib.sh"
cd "$OVX_ROOT"

build=${1:-build}
delayed=${BENCH_DELAYED:-200}
count=${BENCH_COUNT:-2000}
size=${BENCH_SIZE:-30000}
rounds=${BENCH_ROUNDS:-3}
ovx_install_packages curl time
bench_tools "$build"

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# scenario PHOTOS FAULTS: one user, one album; photo N is image bN.jpg, newest first.
scenario() {
  printf '{ "users": [ { "uid": "9001", "title": "bench", "albums": [\n'
  printf '  { "caption": "album", "album_id": "5900000000000001", "photos": [\n'
  for i in $(seq 1 "$1"); do
    [ "$i" -gt 1 ] && printf ',\n'
    printf '    { "caption": "photo %d", "timestamp": %d, "photo_id": "41%014d", "pic_name": "b%d.jpg" }' \
      "$i" $((1400000000 - i * 60)) "$i" "$i"
  done
  printf '\n  ] } ] } ],\n  "image_bytes": %d, "require_login": false, "faults": %s }\n' "$size" "$2"
}
start_service() {  # start_service SCENARIO_FILE: sets port
  "$service" --scenario "$1" >"$1.out" 2>&1 &
  pids+=($!)
  port=$(wait_for_port "$1.out")
  [ -n "$port" ] || { echo "photo service did not start" >&2; exit 1; }
}
program_folder() {  # program_folder FOLDER
  rm -rf "$1"
  mkdir -p "$1"
  printf '[服务地址]\n相册服务=http://127.0.0.1:%s\n' "$port" | iconv -f UTF-8 -t GB18030 >"$1/配置.ini"
}
now() { date +%s.%N; }
# run_cli N PHOTOS: one fresh run with N transfers; prints "SECONDS PEAK_RSS_KB".
run_cli() {
  local folder="$work/cli"
  program_folder "$folder"
  local t0 t1
  t0=$(now)
  /usr/bin/time -f '%M' -o "$work/cli.time" "$cli" --program-folder "$folder" --save "$folder/photos" \
    --records on --naming 内容 --parallel "$1" "http://127.0.0.1:$port/u/9001" >"$work/cli.out" 2>"$work/cli.err"
  t1=$(now)
  local saved
  saved=$(find "$folder/photos" -type f | wc -l)
  [ "$saved" -eq "$2" ] || { echo "--parallel $1 saved $saved of $2 photos" >&2; tail -3 "$work/cli.out" >&2; exit 1; }
  awk -v a="$t0" -v b="$t1" -v m="$(cat "$work/cli.time")" 'BEGIN { printf "%.3f %d\n", b - a, m }'
}
best() { printf '%s\n' "$@" | sort -g | head -1; }

scenario "$delayed" '[ { "path": "/large/*", "delay_ms": 50 } ]' >"$work/delayed.json"
start_service "$work/delayed.json"
one=() three=()
for _ in $(seq "$rounds"); do
  one+=("$(run_cli 1 "$delayed" | cut -d' ' -f1)")
  three+=("$(run_cli 3 "$delayed" | cut -d' ' -f1)")
done
awk -v a="$(best "${one[@]}")" -v b="$(best "${three[@]}")" -v n="$delayed" 'BEGIN {
  printf "images 50 ms late, %d photos: --parallel 1 %.3f s, --parallel 3 %.3f s (best of rounds); %.2fx faster (goal 2.5x: %s)\n", n, a, b, a / b, (a / b >= 2.5 ? "met" : "NOT MET")
}'

scenario "$count" '[]' >"$work/loopback.json"
start_service "$work/loopback.json"
for i in $(seq 1 "$count"); do
  printf 'url = "http://127.0.0.1:%s/large/b%d.jpg"\noutput = "%s/curl/b%d.jpg"\n' "$port" "$i" "$work" "$i"
done >"$work/curl.cfg"
single=() eight=() theirs=() rss1=0 rss8=0
for _ in $(seq "$rounds"); do
  read -r t m < <(run_cli 1 "$count"); single+=("$t"); [ "$m" -gt "$rss1" ] && rss1=$m
  read -r t m < <(run_cli 8 "$count"); eight+=("$t"); [ "$m" -gt "$rss8" ] && rss8=$m
  rm -rf "$work/curl" && mkdir -p "$work/curl"
  t0=$(now)
  curl -s -f -K "$work/curl.cfg"
  t1=$(now)
  theirs+=("$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.3f", b - a }')")
done
awk -v a="$(best "${single[@]}")" -v b="$(best "${eight[@]}")" -v c="$(best "${theirs[@]}")" \
    -v r1="$rss1" -v r8="$rss8" -v n="$count" -v s="$size" 'BEGIN {
  printf "loopback, %d photos of ~%d bytes, records on: --parallel 1 %.3f s (%.2fx curl), --parallel 8 %.3f s (%.2fx curl), curl %.3f s\n", n, s, a, a / c, b, b / c, c
  printf "peak RSS: --parallel 1 %.1f MB, --parallel 8 %.1f MB\n", r1 / 1024, r8 / 1024
}'
