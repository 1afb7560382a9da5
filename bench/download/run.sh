#!/usr/bin/env bash
# Album download throughput: ovatrix-cli downloading one album of 2,000 photos of about 30 KB
# from the stand-in photo service with records on, against the curl command line fetching the
# same 2,000 image addresses into files in one process. Alternating rounds, fresh folders and a
# fresh record folder every round; then a second ovatrix-cli run over the recorded album, which
# must make no image request.
# Then the same over the web API: ovatrix-cli downloading the photo wall of the web-bench
# scenario (2,100 pictures in 700 posts, images that need the site's Referer) with no pacing
# between JSON calls, against curl fetching the image addresses it fetched; the requests by
# kind against the least the wall, the timeline and the posts it does not reach need; and a
# second run over the recorded wall, which must fetch no image.
# Usage: bench/download/run.sh [BUILD_DIR]   (default: build/; configured without the GUI if new)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$(dirname "$0")/web-lib.sh"
cd "$OVX_ROOT"

build=${1:-build}
count=${BENCH_COUNT:-2000}
size=${BENCH_SIZE:-30000}
rounds=${BENCH_ROUNDS:-3}
ovx_install_packages curl time jq
bench_tools "$build"

work=$(mktemp -d)
service_pid=""
web_pid=""
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  [ -n "$web_pid" ] && kill "$web_pid" 2>/dev/null && wait "$web_pid" 2>/dev/null
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

# The web API: the photo wall of the web-bench user, the settings' image host the stand-in,
# no pacing between JSON calls (this measures the engine, not the wait), live photos off so
# that both sides fetch the same pictures.
web_scenario="$OVX_ROOT/tools/photo-service/scenarios/web-bench.json"
read -r listed hidden missing beyond followers wall_pages timeline_pages < <(scenario_figures "$web_scenario")
expected=$((listed - hidden))
"$service" --scenario "$web_scenario" --request-log "$work/web-requests.log" >"$work/web-service.out" 2>&1 &
web_pid=$!
web_port=$(wait_for_port "$work/web-service.out")
[ -n "$web_port" ] || { echo "photo service (web API) did not start" >&2; exit 1; }
web_address="http://127.0.0.1:$web_port/u/7000000001"
touch "$work/web-requests.log"
run_web_cli() {  # run_web_cli PROGRAM_FOLDER TIME_FILE
  /usr/bin/time -f '%M %U %S' -o "$2" "$cli" --program-folder "$1" --save "$1/photos" --records on \
    --naming 内容 --albums 1 --live-photos off "$web_address" >"$work/web-cli.out" 2>"$work/web-cli.err"
}
lines() { wc -l <"$work/web-requests.log"; }

web_ours="" web_theirs="" web_ours_cpu="" web_theirs_cpu="" web_rss=0
for round in $(seq "$rounds"); do
  web_program_folder "$work/web" "$web_port" 0
  from=$(lines)
  t0=$(now)
  run_web_cli "$work/web" "$work/web-cli.time"
  t1=$(now)
  to=$(lines)
  saved=$(find "$work/web/photos" -type f | wc -l)
  [ "$saved" -eq "$expected" ] || { echo "web round $round: ovatrix-cli saved $saved of $expected photos" >&2; tail -3 "$work/web-cli.out" >&2; exit 1; }
  web_rss=$(peak "$work/web-cli.time" "$web_rss")
  web_ours_cpu="$web_ours_cpu $(cpu "$work/web-cli.time")"
  log_slice "$work/web-requests.log" "$from" "$to" >"$work/web-run.log"
  read -r n_info n_list n_wall n_timeline n_show n_json n_images _ < <(request_counts <"$work/web-run.log")

  # curl: the image addresses ovatrix-cli fetched, with the site's Referer the image host asks for.
  rm -rf "$work/web-curl" && mkdir -p "$work/web-curl"
  {
    printf 'referer = "http://127.0.0.1:%s/"\n' "$web_port"
    awk -v p="$web_port" -v d="$work/web-curl" '$1 == "GET" && $2 ~ /^\/large\// {
      printf "url = \"http://127.0.0.1:%s%s\"\noutput = \"%s/%d\"\n", p, $2, d, ++n }' "$work/web-run.log"
  } >"$work/web-curl.cfg"
  t2=$(now)
  /usr/bin/time -f '%M %U %S' -o "$work/web-curl.time" curl -s -f -K "$work/web-curl.cfg"
  t3=$(now)
  [ "$(find "$work/web-curl" -type f | wc -l)" -eq "$n_images" ] || { echo "web round $round: curl fetched too few images" >&2; exit 1; }
  web_theirs_cpu="$web_theirs_cpu $(cpu "$work/web-curl.time")"
  web_ours="$web_ours $(elapsed "$t0" "$t1")"
  web_theirs="$web_theirs $(elapsed "$t2" "$t3")"
done

# Everything recorded: no image request.
from=$(lines)
t0=$(now)
run_web_cli "$work/web" "$work/web-cli2.time"
t1=$(now)
read -r _ _ _ _ _ second_json second_images _ < <(log_slice "$work/web-requests.log" "$from" "$(lines)" | request_counts)
web_second=$(elapsed "$t0" "$t1")
web_rss=$(peak "$work/web-cli2.time" "$web_rss")

# What the wall needs at the least: its pages, the timeline's pages, and one call for each post
# the timeline does not give; besides, the user's lookup and the album list.
bound=$((wall_pages + timeline_pages + missing + 2))
awk -v a="$(best "$web_ours")" -v am="$(median "$web_ours")" -v b="$(best "$web_theirs")" \
    -v bm="$(median "$web_theirs")" -v ac="$(best "$web_ours_cpu")" -v bc="$(best "$web_theirs_cpu")" \
    -v r="$rounds" -v saved="$expected" -v listed="$listed" -v hidden="$hidden" -v rss="$web_rss" \
    -v info="$n_info" -v list="$n_list" -v wall="$n_wall" -v timeline="$n_timeline" -v show="$n_show" \
    -v json="$n_json" -v images="$n_images" -v wp="$wall_pages" -v tp="$timeline_pages" \
    -v missing="$missing" -v beyond="$beyond" -v followers="$followers" -v bound="$bound" \
    -v second="$web_second" -v sjson="$second_json" -v simages="$second_images" \
    -v summary="$(tail -1 "$work/web-cli.out")" 'BEGIN {
  printf "web API, ovatrix-cli, records on, no pacing: %.3f s best, %.3f s median; %d photos saved of %d listed (%d followers-only) (%d rounds); CPU %.2f s\n", a, am, saved, listed, hidden, r, ac
  printf "web API, curl (one process, the same %d image addresses): %.3f s best, %.3f s median; CPU %.2f s\n", images, b, bm, bc
  printf "web API requests per run: getImageWall %d pages + %d album list, mymblog %d pages, statuses/show %d, profile/info %d, images %d\n", wall, list, timeline, show, info, images
  printf "web API goal: JSON requests %d <= %d wall pages + %d timeline pages + %d posts missing from the timeline (%d beyond its reach, %d followers-only) + user lookup + album list = %d: %s\n", json, wp, tp, missing, beyond, followers, bound, (json <= bound ? "met" : "NOT MET")
  printf "web API second run, everything recorded: %.3f s, %d image requests, %d JSON requests (%s)\n", second, simages, sjson, summary
  printf "web API ovatrix-cli peak RSS: %.1f MB; ratio ovatrix-cli/curl (best): %.2f\n", rss / 1024, a / b
}'
[ "$n_json" -le "$bound" ] && [ "$second_images" -eq 0 ]
