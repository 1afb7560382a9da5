#!/usr/bin/env bash
# The web-bench wall downloaded twice through the stand-in: once as a session the site takes
# (a login) and once with no login, through the site's visitor access. Prints the JSON
# requests of each by kind, and checks the visitor run against its bound: the profile, the
# album list, the wall pages, one post per post with pictures on the wall, and the handshake.
# Usage: bench/download/visitor.sh [BUILD_DIR]
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
read -r listed hidden missing beyond followers wall_pages timeline_pages < <(scenario_figures "$scenario")
posts=$(jq -r '.users[0].web.posts.count' "$scenario")
# The same user behind the visitor system: calls without a login or visitor cookies are sent
# to the passport; the login form's cookie is the session the site takes.
jq '. + { "require_login": true, "visitors": true }' "$scenario" >"$work/scenario.json"
"$service" --scenario "$work/scenario.json" --request-log "$work/requests.log" >"$work/service.out" 2>&1 &
pid=$!
port=$(wait_for_port "$work/service.out")
[ -n "$port" ] || { echo "photo service did not start" >&2; exit 1; }
touch "$work/requests.log"
address="http://127.0.0.1:$port/u/7000000001"

curl -s -c "$work/cookies.txt" -d 'username=bench&password=x' "http://127.0.0.1:$port/login" >/dev/null

run() {  # run NAME [OPTIONS...]
  local name=$1
  shift
  rm -rf "$work/$name" && mkdir -p "$work/$name"
  printf '[服务地址]\n图片服务=http://127.0.0.1:%s\n访客服务=http://127.0.0.1:%s\n[网络]\n请求间隔毫秒=0\n' \
    "$port" "$port" | iconv -f UTF-8 -t GB18030 >"$work/$name/配置.ini"
  local from to
  from=$(wc -l <"$work/requests.log")
  "$cli" --program-folder "$work/$name" --save "$work/$name/photos" --records on --naming 内容 \
    --albums 1 --live-photos off "$@" "$address" >"$work/$name.out" 2>"$work/$name.err" \
    || { echo "$name run: exit $?" >&2; tail -3 "$work/$name.err" >&2; }
  to=$(wc -l <"$work/requests.log")
  log_slice "$work/requests.log" "$from" "$to" >"$work/$name.log"
  read -r info list wall timeline show json images _ < <(request_counts <"$work/$name.log")
  handshake=$(grep -c ' /visitor/' "$work/$name.log" || true)
  saved=$(find "$work/$name/photos" -type f | wc -l)
  printf '%-10s JSON %4d (profile %d, list %d, wall %d, timeline %d, posts %d)  handshake %d  images %d  saved %d\n' \
    "$name" "$json" "$info" "$list" "$wall" "$timeline" "$show" "$handshake" "$images" "$saved"
}

run login --cookies "$work/cookies.txt"
run visitor
# A visitor asks for every post with pictures on the wall (the followers-only ones too: the
# answer says so), nothing else but the profile, the list and the wall.
bound=$((1 + 1 + wall_pages + posts))
read -r json < <(awk '$2 ~ /^\/ajax\// { n++ } END { print n + 0 }' "$work/visitor.log")
handshake=$(grep -c ' /visitor/' "$work/visitor.log" || true)
if [ "$json" -le "$bound" ]; then verdict=met; else verdict=MISSED; fi
printf 'visitor bound: %d JSON requests + %d of the handshake, at most %d + the handshake (%s)\n' \
  "$json" "$handshake" "$bound" "$verdict"
[ "$verdict" = met ]
