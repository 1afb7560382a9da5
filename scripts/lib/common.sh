# Shared by scripts/test, scripts/demo, scripts/fuzz and bench/run. Source it; do not run it.

OVX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
OVX_JOBS=${OVX_JOBS:-$(nproc 2>/dev/null || echo 2)}

# Debian packages the build, the tests and the demo need.
OVX_PACKAGES=(
  cmake g++ make pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  libcurl4-openssl-dev libjson-c-dev libpcre2-dev libcpp-httplib-dev libsqlite3-dev
  libjpeg62-turbo-dev libssl-dev curl time
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-multimedia-dev libqt6opengl6-dev libgl-dev
  fonts-noto-cjk xvfb xauth
  clang libclang-rt-14-dev
  help2man librsvg2-bin lintian desktop-file-utils appstream dpkg-dev file
)

ovx_log() { printf '== %s\n' "$*" >&2; }

# Installs whichever of the given packages are missing, as root or through sudo.
ovx_install_packages() {
  local missing=() pkg
  for pkg in "$@"; do
    dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed' || missing+=("$pkg")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  ovx_log "installing: ${missing[*]}"
  local sudo=()
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "need root or sudo to install: ${missing[*]}" >&2; return 1; }
    sudo=(sudo)
  fi
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq >/dev/null || return 1
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null || return 1
}

# ovx_build <build-dir> [cmake options...]: configures (again, so that folders added since the
# last run take part; the options count on the first run), then builds quietly.
ovx_build() {
  local dir=$1; shift
  local options=()
  [ -f "$dir/CMakeCache.txt" ] || options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo "$@")
  cmake -S "$OVX_ROOT" -B "$dir" "${options[@]}" >"$dir.configure.log" 2>&1 \
    || { cat "$dir.configure.log" >&2; return 1; }
  cmake --build "$dir" -j "$OVX_JOBS" >"$dir.build.log" 2>&1 \
    || { grep -E 'error|Error' -A3 "$dir.build.log" | head -80 >&2; return 1; }
}
