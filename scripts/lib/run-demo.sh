#!/usr/bin/env bash
# Opens Ovatrix against the stand-in photo service with the demo data. The program runs as a
# copy in a throw-away portable folder whose settings point at the stand-in, so the user's own
# settings file and browser data are never touched. Called by scripts/demo after the build;
# can be run directly once build/bin holds ovatrix and photo-service.
#
#   OVX_BUILD_DIR  build folder to take the programs from (default: build)
#   OVX_SCENARIO   scenario file for the stand-in (default: the demo scenario)
#   OVX_DEMO_USER  the demo user whose home page the window opens on (default: lvxing, of the
#                  album service; shiguang is a user of the site's web API)
#   OVX_DEMO_KEEP  set to keep the portable folder (it is printed) after the window closes
set -euo pipefail
source "$(dirname "$0")/common.sh"

build=${OVX_BUILD_DIR:-$OVX_ROOT/build}
scenario=${OVX_SCENARIO:-$OVX_ROOT/tools/photo-service/scenarios/demo.json}

ovx_demo_needs_display() {
  [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]
}

if ovx_demo_needs_display; then
  cat >&2 <<'MSG'
There is no display to open the Ovatrix window on (DISPLAY and WAYLAND_DISPLAY are unset).
Run the demo on a desktop session, or under a virtual X server:

    xvfb-run -a -s "-screen 0 1280x800x24" scripts/demo

(xvfb-run comes with the Debian package xvfb.)
MSG
  exit 2
fi

for program in ovatrix photo-service; do
  if [ ! -x "$build/bin/$program" ]; then
    echo "missing $build/bin/$program: build first (scripts/demo does)" >&2
    exit 1
  fi
done

portable=$(mktemp -d "${TMPDIR:-/tmp}/ovatrix-demo.XXXXXX")
service_pid=
cleanup() {
  if [ -n "$service_pid" ]; then
    kill "$service_pid" 2>/dev/null || true
    wait "$service_pid" 2>/dev/null || true
  fi
  if [ -z "${OVX_DEMO_KEEP:-}" ]; then rm -rf "$portable"; fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# The stand-in prints "listening on 127.0.0.1:PORT" as its first line.
coproc SERVICE { exec "$build/bin/photo-service" --scenario "$scenario" 2>&1; }
service_pid=$SERVICE_PID
first=
if ! read -r -t 30 first <&"${SERVICE[0]}" || [[ $first != "listening on "* ]]; then
  echo "the stand-in photo service did not start: ${first:-no answer}" >&2
  exit 1
fi
address=${first#listening on }
base="http://$address"
# Keep reading its output so it never blocks on a full pipe (a background job does not inherit
# the coprocess's descriptors, so it gets a copy).
exec {service_out}<&"${SERVICE[0]}"
cat <&"$service_out" >"$portable/photo-service.log" &

# A portable copy: the program keeps its settings, records and browser data beside itself.
# It starts on the demo user's home page, already logged in: the scenario's session cookie is
# the login the window kept from an earlier run (浏览器数据/cookies.txt).
cp "$build/bin/ovatrix" "$portable/ovatrix"
# The stand-in is also the image host of the web API's pictures, and its calls are paced
# 300 ms apart (the site needs 1.5 s; the stand-in does not throttle), so that a web-API user
# lists and downloads within moments.
user_page="$base/${OVX_DEMO_USER:-lvxing}"
printf '[服务地址]\r\n首页=%s\r\n相册服务=%s\r\n图片服务=%s\r\n访客服务=%s\r\n版本页=%s/version\r\n[网络]\r\n请求间隔毫秒=300\r\n' \
  "$user_page" "$base" "$base" "$base" "$base" | iconv -f UTF-8 -t GB18030 >"$portable/配置.ini"
session=$(sed -n 's/^ *"session": *"\([^"]*\)".*/\1/p' "$scenario" | head -n1)
if [ -n "$session" ]; then
  mkdir -p "$portable/浏览器数据"
  printf '# Netscape HTTP Cookie File\n127.0.0.1\tFALSE\t/\tFALSE\t0\tSUB\t%s\n' "$session" \
    >"$portable/浏览器数据/cookies.txt"
fi

ovx_log "stand-in photo service: $base/ (demo users and a login page; any user name logs in)"
ovx_log "portable program folder: $portable"
ovx_log "the window opens on $user_page, logged in: press 下载此用户 for its albums"
ovx_log "$base/shiguang is a user of the site's web API (its home page has no album-service markers): open it in the browser and press 下载此用户 for its photo wall and avatar album"

status=0
"$portable/ovatrix" || status=$?
exit $status
