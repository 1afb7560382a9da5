#!/usr/bin/env bash
# Download under throttling: ovatrix-cli downloading the photo wall of the web-bench user
# (2,100 pictures in 700 posts) through a stand-in that bans its JSON calls the way the site
# does, scaled down ten times: more than 20 within 6 s ban them for 3 s, each banned call
# answered 418, every second one with a Retry-After. The settings are the defaults scaled the
# same way (150 ms between JSON calls, the first wait 1 s, at most 8 s, 8 tries). Prints the
# time taken, the photos saved, the throttling answers, and that no photo was lost (saved +
# followers-only = listed).
# Usage: bench/download/throttled.sh [BUILD_DIR]   (default: build/; configured without the GUI if new)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$(dirname "$0")/web-lib.sh"
cd "$OVX_ROOT"

build=${1:-build}
ovx_install_packages time jq
bench_tools "$build"

work=$(mktemp -d)
service_pid=""
cleanup() {
  [ -n "$service_pid" ] && kill "$service_pid" 2>/dev/null && wait "$service_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

jq '. + { "throttle": { "max_requests": 20, "window_seconds": 6, "ban_seconds": 3,
                        "retry_after_every": 2, "paths": "/ajax/*" } }' \
  "$OVX_ROOT/tools/photo-service/scenarios/web-bench.json" >"$work/scenario.json"
read -r listed hidden _ < <(scenario_figures "$work/scenario.json")

"$service" --scenario "$work/scenario.json" --request-log "$work/requests.log" >"$work/service.out" 2>&1 &
service_pid=$!
port=$(wait_for_port "$work/service.out")
[ -n "$port" ] || { echo "photo service did not start" >&2; exit 1; }

web_program_folder "$work/cli" "$port" 150 限流等待秒=1 限流最长等待秒=8 限流重试次数=8
t0=$(date +%s.%N)
status=0
/usr/bin/time -f '%M %U %S' -o "$work/cli.time" "$cli" --program-folder "$work/cli" \
  --save "$work/cli/photos" --records on --naming 内容 --albums 1 --live-photos off \
  "http://127.0.0.1:$port/u/7000000001" >"$work/cli.out" 2>"$work/cli.err" || status=$?
t1=$(date +%s.%N)

saved=$(find "$work/cli/photos" -type f | wc -l)
read -r _ _ _ _ _ json images throttled < <(request_counts <"$work/requests.log")
episodes=$(grep -c '服务限流' "$work/cli.out" || true)
lost=$((listed - saved - hidden))
awk -v t0="$t0" -v t1="$t1" -v saved="$saved" -v listed="$listed" -v hidden="$hidden" \
    -v lost="$lost" -v json="$json" -v images="$images" -v throttled="$throttled" \
    -v episodes="$episodes" -v status="$status" -v cpu="$(awk '{ printf "%.2f", $2 + $3 }' "$work/cli.time")" \
    -v summary="$(tail -1 "$work/cli.out")" 'BEGIN {
  printf "throttled web API (more than 20 JSON calls in 6 s ban them for 3 s; 150 ms pacing, waits 1-8 s, 8 tries): %.3f s; CPU %.2f s; exit status %d\n", t1 - t0, cpu, status
  printf "throttled web API: %d photos saved + %d followers-only = %d of %d listed, %d lost (%s)\n", saved, hidden, saved + hidden, listed, lost, summary
  printf "throttled web API: %d throttling answers (418) among %d JSON requests, %d waits logged; %d image requests\n", throttled, json, episodes, images
}'
[ "$status" -eq 0 ] && [ "$lost" -eq 0 ] && [ "$throttled" -gt 0 ]
