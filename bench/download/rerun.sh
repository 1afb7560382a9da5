#!/usr/bin/env bash
# Reruns over the fully recorded web-bench wall: the JSON requests and the time of a rerun
# that walks the whole wall, and of one that stops after 30 recorded pictures in a row.
# Usage: bench/download/rerun.sh [BUILD_DIR]
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
source "$(dirname "$0")/web-lib.sh"
cd "$OVX_ROOT"

bench_tools "${1:-build-bench}"
work=$(mktemp -d)
pid=""
cleanup() {
  [ -n "$pid" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

scenario="$OVX_ROOT/tools/photo-service/scenarios/web-bench.json"
"$service" --scenario "$scenario" --request-log "$work/requests.log" >"$work/service.out" 2>&1 &
pid=$!
port=$(wait_for_port "$work/service.out")
[ -n "$port" ] || { echo "photo service did not start" >&2; exit 1; }
touch "$work/requests.log"
address="http://127.0.0.1:$port/u/7000000001"
web_program_folder "$work/program" "$port" 0

run() {  # run NAME [OPTIONS...]
  local name=$1
  shift
  local from to t0 t1
  from=$(wc -l <"$work/requests.log")
  t0=$(date +%s.%N)
  "$cli" --program-folder "$work/program" --save "$work/photos" --records on --naming 内容 \
    --albums 1 --live-photos off "$@" "$address" >"$work/$name.out" 2>"$work/$name.err" \
    || { echo "$name: exit $?" >&2; tail -3 "$work/$name.err" >&2; exit 1; }
  t1=$(date +%s.%N)
  to=$(wc -l <"$work/requests.log")
  log_slice "$work/requests.log" "$from" "$to" >"$work/$name.log"
  read -r info list wall timeline show json images _ < <(request_counts <"$work/$name.log")
  awk -v n="$name" -v t0="$t0" -v t1="$t1" -v j="$json" -v w="$wall" -v tl="$timeline" \
    -v s="$show" -v i="$images" -v summary="$(tail -1 "$work/$name.out")" \
    'BEGIN { printf "%-22s %6.2f s  JSON %3d (wall %d, timeline %d, posts %d)  images %d  %s\n",
             n, t1 - t0, j, w, tl, s, i, summary }'
}

run "first run"
run "rerun, whole wall"
run "rerun, stop at 30" --stop-at-recorded 30
# At the default pacing (1.5 s and up to half again between JSON calls) each call costs about
# 1.9 s of waiting: what the requests above come to on the real site.
