#!/usr/bin/env bash
# Start-up of the window as a new user meets it: the time from exec to the window being mapped
# on an X server (Xvfb), over several starts; prints each start and the median.
#
# Every start runs a fresh portable copy of the program (its own folder, so no settings, records
# or browser data from an earlier start) with a fresh HOME, and a settings file whose home page
# is about:blank, so no page is loaded. The map is seen by xev watching the root window.
#
# Usage: bench/startup/run.sh [BUILD_DIR]   (default: build/; STARTS=7 starts)
#        OVATRIX=/path/to/ovatrix bench/startup/run.sh   times that program instead (no build)
set -euo pipefail
source "$(dirname "$0")/../../scripts/lib/common.sh"
cd "$OVX_ROOT"

build=${1:-build}
starts=${STARTS:-7}
ovx_install_packages xvfb x11-utils
program=${OVATRIX:-}
if [ -z "$program" ]; then
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$OVX_ROOT" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVX_BENCH=OFF >/dev/null
  fi
  if grep -q '^OVX_BUILD_GUI:BOOL=OFF' "$build/CMakeCache.txt"; then
    echo "$build is configured without the window (OVX_BUILD_GUI=OFF)" >&2
    exit 1
  fi
  cmake --build "$build" -j "$OVX_JOBS" --target ovatrix >/dev/null
  program="$build/bin/ovatrix"
fi
[[ "$program" = /* ]] || program="$OVX_ROOT/$program"

work=$(mktemp -d)
xvfb_pid="" xev_pid="" app_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
  [ -n "$xev_pid" ] && kill "$xev_pid" 2>/dev/null
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# An X server on the first free display number, which it reports itself.
exec {display_fd}<> <(:)
Xvfb -displayfd "$display_fd" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
read -r -t 10 -u "$display_fd" number || { cat "$work/xvfb.log" >&2; exit 1; }
export DISPLAY=":$number"

# Every window mapped on the root window, one event per line group, as it happens.
mkfifo "$work/events"
stdbuf -oL xev -root -event substructure >"$work/events" 2>/dev/null &
xev_pid=$!
exec {events}<"$work/events"
# xev is listening once it reports the map of a window made for that purpose.
xev -name ovx-bench-probe -geometry 1x1 >/dev/null 2>&1 &
probe=$!
while read -r -t 10 -u "$events" line; do
  [[ "$line" == MapNotify* ]] && break
done
kill "$probe" 2>/dev/null && wait "$probe" 2>/dev/null || true

# The settings of a new user, but with a home page that loads nothing (GB18030 text).
printf '[服务地址]\n首页=about:blank\n' | iconv -f UTF-8 -t GB18030 >"$work/settings.ini"

times=()
for i in $(seq 1 "$starts"); do
  folder="$work/start$i"
  mkdir -p "$folder/home"
  cp "$program" "$folder/ovatrix"
  cp "$work/settings.ini" "$folder/配置.ini"
  # Events from earlier starts (their windows closing) are not this start's.
  while read -r -t 0.2 -u "$events" line; do :; done

  start=$EPOCHREALTIME
  env -u XDG_CONFIG_HOME -u XDG_DATA_HOME -u XDG_CACHE_HOME -u QT_QPA_PLATFORM \
    HOME="$folder/home" "$folder/ovatrix" >"$folder/log" 2>&1 &
  app_pid=$!
  mapped=""
  while read -r -t 30 -u "$events" line; do
    if [[ "$line" == MapNotify* ]]; then
      now=$EPOCHREALTIME
      read -r -t 5 -u "$events" detail || break
      # "event 0x.., window 0x.., override NO": a top-level window, not a pop-up.
      window=$(sed -n 's/.*window \(0x[0-9a-f]*\), override NO.*/\1/p' <<<"$detail")
      [ -n "$window" ] || continue
      if xwininfo -id "$window" 2>/dev/null | grep -q '"Ovatrix"'; then
        mapped=$now
        break
      fi
    fi
  done
  kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null || true
  app_pid=""
  if [ -z "$mapped" ]; then
    echo "start $i: the window was never mapped; its output:" >&2
    cat "$folder/log" >&2
    exit 1
  fi
  ms=$(awk -v a="$start" -v b="$mapped" 'BEGIN { printf "%.0f", (b - a) * 1000 }')
  times+=("$ms")
  printf 'start %d: mapped after %d ms\n' "$i" "$ms"
  rm -rf "$folder"
done

sorted=($(printf '%s\n' "${times[@]}" | sort -n))
count=${#sorted[@]}
if ((count % 2)); then
  median=${sorted[count / 2]}
else
  median=$(((sorted[count / 2 - 1] + sorted[count / 2]) / 2))
fi
printf 'exec to window mapped, %d starts: median %d ms, min %d ms, max %d ms\n' \
  "$count" "$median" "${sorted[0]}" "${sorted[count - 1]}"
