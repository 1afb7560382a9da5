# Shared by bench/download/run.sh and throttled.sh: the stand-in serving a web-API scenario,
# the settings that point ovatrix-cli at it, what the scenario promises, and its request log
# counted by kind. Source it; do not run it.

# bench_tools BUILD_DIR: builds ovatrix-cli and the stand-in there (a new folder is configured
# without the window) and sets `cli` (absolute) and `service` to them.
bench_tools() {
  local build=$1
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$OVX_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVX_BUILD_GUI=OFF >/dev/null
  fi
  cmake --build "$build" -j "$OVX_JOBS" --target ovatrix-cli photo-service >/dev/null
  cli="$build/bin/ovatrix-cli"
  service="$build/bin/photo-service"
  [[ "$cli" = /* ]] || cli="$OVX_ROOT/$cli"
}

# wait_for_port OUTPUT_FILE: the port the stand-in printed ("listening on 127.0.0.1:PORT").
wait_for_port() {
  for _ in $(seq 100); do
    grep -q '^listening on ' "$1" 2>/dev/null && break
    sleep 0.1
  done
  sed -n 's/^listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$1"
}

# web_program_folder FOLDER PORT INTERVAL_MS [SETTINGS_LINE...]: a fresh program folder (and so
# a fresh record folder) whose settings take the stand-in as the image host, with that pacing;
# further [网络] lines as given. The settings file is in the local code page.
web_program_folder() {
  local folder=$1 port=$2 interval=$3
  shift 3
  rm -rf "$folder"
  mkdir -p "$folder"
  {
    printf '[服务地址]\n图片服务=http://127.0.0.1:%s\n[网络]\n请求间隔毫秒=%s\n' "$port" "$interval"
    for line in "$@"; do printf '%s\n' "$line"; done
  } | iconv -f UTF-8 -t GB18030 >"$folder/配置.ini"
}

# scenario_figures SCENARIO: for the first user's photo wall (posts given as a count), prints
#   LISTED HIDDEN MISSING BEYOND FOLLOWERS WALL_PAGES TIMELINE_PAGES
# pictures on the wall; those of followers-only posts (never saved); posts the timeline does
# not give (beyond its reach, or followers-only), each asked for alone; of them, those beyond
# the reach and the followers-only ones; wall pages; timeline pages, counting the empty page
# that ends it.
scenario_figures() {
  jq -r '
    .users[0] as $u | $u.web.posts as $p | $p.count as $n | ($p.pics_per_post // 1) as $k
    | ($p.pinned // []) as $pinned | ($p.followers_only // []) as $followers
    | ($u.web.timeline_reach // $n) as $reach
    | (.wall_page_size // 30) as $wallSize | (.timeline_page_size // 20) as $timelineSize
    | ([range(1; $n + 1)] - $pinned) as $dated
    | ($dated[0:$reach] - $followers) as $regular
    | ($pinned - $followers) as $onTop
    | ($n * $k) as $listed
    | ([($dated | length) - $reach, 0] | max) as $beyond
    | "\($listed) \(($followers | length) * $k) \($n - ($onTop | length) - ($regular | length))"
      + " \($beyond) \($followers | length) \((($listed + $wallSize - 1) / $wallSize) | floor)"
      + " \(((($regular | length) + $timelineSize - 1) / $timelineSize | floor) + 1)"' "$1"
}

# log_slice LOG FROM TO: the request-log lines FROM+1..TO (the requests of one run).
log_slice() {
  sed -n "$(($2 + 1)),$3p" "$1"
}

# request_counts: reads request-log lines, prints
#   INFO ALBUM_LIST WALL_PAGES TIMELINE_PAGES SHOW JSON IMAGES THROTTLED
# (the album list is the wall's first page asked for with has_album; THROTTLED: 418 answers).
request_counts() {
  awk '
    $2 ~ /^\/ajax\/profile\/info/ { info++ }
    $2 ~ /^\/ajax\/profile\/getImageWall/ { if ($2 ~ /has_album=true/) list++; else wall++ }
    $2 ~ /^\/ajax\/statuses\/mymblog/ { timeline++ }
    $2 ~ /^\/ajax\/statuses\/show/ { show++ }
    $2 ~ /^\/ajax\// { json++ }
    $2 ~ /^\/large\// { images++ }
    $3 == 418 { throttled++ }
    END { print info + 0, list + 0, wall + 0, timeline + 0, show + 0, json + 0, images + 0, throttled + 0 }'
}
