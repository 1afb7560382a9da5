#!/usr/bin/env bash
# install-tree-test.sh BUILD_DIR: installs BUILD_DIR into a temporary prefix and checks
#  - the tree holds exactly the programs, desktop entry, metainfo, icons, manual pages and
#    package documentation (nothing of the photo service or the tests);
#  - every installed command answers --version and --help from the prefix, --version with the
#    one licence line all three share, and the installed ovatrix-records does real work on a
#    record database;
#  - the licence is in place: the copyright file names it (Debian's GPL-3+, pointing to the
#    common licence text) for every file, the metainfo and the manual pages name it, and
#    COPYING is not installed (the tree check above);
#  - the desktop entry names an installed program and icon; desktop entry and metainfo pass
#    their validators; the manual pages carry the version and the files section.
# The environment names what this build has: OVX_VERSION, OVX_LICENSE, OVX_APP_ID, OVX_PROGRAMS
# (the programs built, separated by commas), OVX_MAN_PAGES and OVX_PNG_ICONS (1 or 0).
set -uo pipefail
build=$1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
if ! cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1; then
  cat "$prefix.log" >&2; rm -f "$prefix.log"; echo "FAIL: cmake --install" >&2; exit 1
fi
rm -f "$prefix.log"

IFS=',' read -r -a programs <<<"${OVX_PROGRAMS:-}"
has_program() {
  local p
  for p in "${programs[@]}"; do [ "$p" = "$1" ] && return 0; done
  return 1
}
id=$OVX_APP_ID

# --- The tree -------------------------------------------------------------------------------
expected=(share/doc/ovatrix/copyright share/doc/ovatrix/changelog.gz
          "share/icons/hicolor/scalable/apps/$id.svg")
for p in "${programs[@]}"; do
  expected+=("bin/$p")
  [ "${OVX_MAN_PAGES:-0}" = 1 ] && expected+=("share/man/man1/$p.1.gz")
done
if has_program ovatrix; then
  expected+=("share/applications/$id.desktop" "share/metainfo/$id.metainfo.xml")
fi
if [ "${OVX_PNG_ICONS:-0}" = 1 ]; then
  for s in 16 32 48 64 128 256; do expected+=("share/icons/hicolor/${s}x${s}/apps/$id.png"); done
fi
want=$(printf '%s\n' "${expected[@]}" | sort)
got=$(cd "$prefix" && find . -type f -o -type l | sed 's|^\./||' | sort)
if [ "$want" != "$got" ]; then
  fail "installed tree differs (< expected, > installed):"
  diff <(echo "$want") <(echo "$got") >&2
fi

# --- The installed commands -----------------------------------------------------------------
licence_lines=()
for p in "${programs[@]}"; do
  exe=$prefix/bin/$p
  [ -x "$exe" ] || { fail "$p is not installed as an executable"; continue; }
  answer=$(QT_QPA_PLATFORM=offscreen timeout 30 "$exe" --version 2>&1)
  version=$(head -n1 <<<"$answer")
  [[ "$version" == "$p "*"$OVX_VERSION" ]] || fail "$p --version says '$version'"
  [ "$(wc -l <<<"$answer")" = 2 ] || fail "$p --version is not the version and one licence line"
  licence=$(sed -n 2p <<<"$answer")
  [[ "$licence" == *"$OVX_LICENSE"*"NO WARRANTY"* ]] || fail "$p --version's licence line: '$licence'"
  licence_lines+=("$licence")
  help=$(QT_QPA_PLATFORM=offscreen timeout 30 "$exe" --help 2>&1) || fail "$p --help failed"
  [[ "$help" == Usage:* ]] || fail "$p --help does not start with a usage line"
done

if [ ${#licence_lines[@]} -gt 1 ] && [ "$(printf '%s\n' "${licence_lines[@]}" | sort -u | wc -l)" != 1 ]; then
  fail "the commands' licence lines differ"
fi

# --- The licence ----------------------------------------------------------------------------
copyright=$prefix/share/doc/ovatrix/copyright
# One "Files: *" paragraph under GPL-3+, and the licence paragraph pointing to the full text.
[ "$(grep -A2 '^Files: \*$' "$copyright" | grep -c '^License: GPL-3+$')" = 1 ] \
  || fail "the copyright file does not put every file under GPL-3+"
grep -q '/usr/share/common-licenses/GPL-3"' "$copyright" \
  || fail "the copyright file does not point to the common licence text"
metainfo=$prefix/share/metainfo/$id.metainfo.xml
if [ -f "$metainfo" ]; then
  grep -q "<project_license>$OVX_LICENSE</project_license>" "$metainfo" \
    || fail "the metainfo does not name $OVX_LICENSE"
fi

if has_program ovatrix-records; then
  db=$prefix/work/1234567890.zdb
  mkdir -p "$prefix/work"
  records=$prefix/bin/ovatrix-records
  timeout 30 "$records" add "$db" 4a5b6c7dgy1h0abcdefj 4a5b6c7dgy1h0ghijklj >/dev/null \
    || fail "the installed ovatrix-records cannot add records"
  timeout 30 "$records" has "$db" 4a5b6c7dgy1h0ghijklj || fail "a recorded id is not found"
  timeout 30 "$records" has "$db" unknown && fail "an unrecorded id is found"
  [ "$(timeout 30 "$records" list "$db" | wc -l)" = 2 ] || fail "list does not give two ids"
  rm -rf "$prefix/work"
fi

# --- Desktop entry, metainfo, manual pages --------------------------------------------------
desktop=$prefix/share/applications/$id.desktop
if [ -f "$desktop" ]; then
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  [ -x "$prefix/bin/$exec_name" ] || fail "the desktop entry runs '$exec_name', not installed"
  icon=$(sed -n 's/^Icon=//p' "$desktop")
  [ -f "$prefix/share/icons/hicolor/scalable/apps/$icon.svg" ] \
    || fail "the desktop entry's icon '$icon' is not installed"
  grep -q '^Name\[zh_CN\]=' "$desktop" || fail "the desktop entry has no Chinese name"
  if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" >&2 || fail "desktop-file-validate"
  fi
  metainfo=$prefix/share/metainfo/$id.metainfo.xml
  grep -q "<release version=\"$OVX_VERSION\"" "$metainfo" || fail "the metainfo lacks this release"
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate --no-net "$metainfo" >&2 || fail "appstreamcli validate"
  fi
fi

if [ "${OVX_MAN_PAGES:-0}" = 1 ]; then
  for p in "${programs[@]}"; do
    page=$prefix/share/man/man1/$p.1.gz
    [ -f "$page" ] || continue
    text=$(gzip -dc "$page") || { fail "$p.1.gz is no gzip file"; continue; }
    grep -q "^\.TH .*$OVX_VERSION" <<<"$text" || fail "$p.1 does not carry the version"
    grep -q '^\.SH FILES' <<<"$text" || fail "$p.1 has no FILES section"
    grep -A3 '^\.SH COPYRIGHT' <<<"$text" | grep -qF -- "$(sed 's/-/\\-/g' <<<"$OVX_LICENSE")" \
      || fail "$p.1 does not name the licence in its COPYRIGHT section"
    grep -q '^\.SH OPTIONS\|^\.SS' <<<"$text" || fail "$p.1 lists no options"
  done
fi

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed" >&2; exit 1; }
echo "the installed tree and commands are as expected"
