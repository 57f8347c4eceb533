#!/usr/bin/env bash
# The two Debian packages as Debian's tools see them: lintian --pedantic reports nothing but
# what an override in the package silences with its reason written above it, mandoc -T lint
# finds nothing in the manual pages, each package holds exactly the files a user expects
# (the window's Qt in one, the companion and its service in the other), and the control
# fields are filled in, with the dependencies computed from the programs.
#   DebTest.sh DIST_DIR DEB_VERSION APP_ID
set -euo pipefail
dist=$1
version=$2
id=$3
arch=$(dpkg --print-architecture)
watch_deb="$dist/qzxwatch_${version}_${arch}.deb"
window_deb="$dist/qzxfile_${version}_${arch}.deb"
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

for deb in "$watch_deb" "$window_deb"; do
  [[ -f "$deb" ]] || { echo "FAIL: no $deb" >&2; exit 1; }
  echo "== lintian --pedantic $(basename "$deb")"
  # Every tag fails, down to the pedantic ones; an override shows as "O:" and does not.
  if lintian --pedantic --display-info --show-overrides --fail-on error,warning,info,pedantic \
    "$deb"; then
    echo "== lintian: nothing left"
  else
    fail "lintian reports tags on $(basename "$deb")"
  fi
  # An override without a reason is a silenced fault.
  pkg=$(dpkg-deb -f "$deb" Package)
  overrides=$(dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/lintian/overrides/$pkg" 2>/dev/null || true)
  if [[ -n "$overrides" ]]; then
    awk 'NF && $1 !~ /^#/ && prev !~ /^#/ { print; bad = 1 } { prev = $0 } END { exit bad }' \
      <<<"$overrides" >&2 || fail "$pkg: a lintian override has no reason above it"
  fi

  pages=$(mktemp -d)
  dpkg-deb -x "$deb" "$pages"
  while IFS= read -r page; do
    # STYLE is mandoc's lowest level: nothing at all may be reported.
    if out=$(zcat "$page" | mandoc -T lint -W style 2>&1) && [[ -z "$out" ]]; then
      echo "ok: mandoc -T lint ${page#"$pages"}"
    else
      fail "mandoc -T lint ${page#"$pages"}:"
      echo "$out" >&2
    fi
  done < <(find "$pages/usr/share/man" -name '*.gz' | sort)
  rm -rf "$pages"
done

# Every file, and nothing else: a stray header, a test or a file under /usr/local would be a
# fault of the install rules, and a file in the wrong package would bring Qt to a server.
files() {  # DEB: the paths it holds, folders left out
  dpkg-deb --fsys-tarfile "$1" | tar -t | grep -v '/$' | sort
}
same_files() {  # DEB expected-path...
  local deb=$1 want have
  shift
  want=$(printf '%s\n' "$@" | sort)
  have=$(files "$deb")
  if [[ "$want" != "$have" ]]; then
    fail "the files of $(basename "$deb") differ from the expected ones:"
    diff <(echo "$want") <(echo "$have") >&2 || true
  fi
}
same_files "$watch_deb" \
  ./usr/bin/qzxwatch \
  "./usr/lib/systemd/system/qzxwatch@.service" \
  ./usr/lib/sysusers.d/qzxwatch.conf \
  ./usr/share/doc/qzxwatch/changelog.Debian.gz \
  ./usr/share/doc/qzxwatch/copyright \
  ./usr/share/man/man1/qzxwatch.1.gz
window=(
  ./usr/bin/qzxfile
  ./usr/libexec/qzxfile/qzxfile-helper
  ./usr/share/polkit-1/actions/org.qzxfile.helper.policy
  "./usr/share/applications/$id.desktop"
  "./usr/share/metainfo/$id.metainfo.xml"
  ./usr/share/doc/qzxfile/changelog.Debian.gz
  ./usr/share/doc/qzxfile/copyright
  ./usr/share/icons/hicolor/scalable/apps/qzxfile.svg
  ./usr/share/man/man1/qzxfile.1.gz
)
for n in 16 22 24 32 48 64 128 256; do
  window+=("./usr/share/icons/hicolor/${n}x${n}/apps/qzxfile.png")
done
same_files "$window_deb" "${window[@]}"

field() { dpkg-deb -f "$1" "$2"; }
for deb in "$watch_deb" "$window_deb"; do
  name=$(basename "$deb")
  [[ "$(field "$deb" Source)" == qzxfile ]] || fail "$name Source: $(field "$deb" Source)"
  [[ "$(field "$deb" Version)" == "$version" ]] || fail "$name Version: $(field "$deb" Version)"
  [[ "$(field "$deb" Section)" == utils ]] || fail "$name Section: $(field "$deb" Section)"
  [[ "$(field "$deb" Priority)" == optional ]] || fail "$name Priority: $(field "$deb" Priority)"
  [[ "$(field "$deb" Maintainer)" == *@* ]] || fail "$name Maintainer: $(field "$deb" Maintainer)"
  [[ "$(field "$deb" Homepage)" == http* ]] || fail "$name Homepage: $(field "$deb" Homepage)"
  [[ "$(field "$deb" Description | wc -l)" -gt 3 ]] || fail "$name has no long description"
  dpkg-deb --fsys-tarfile "$deb" | tar -xO "./usr/share/doc/$(field "$deb" Package)/copyright" |
    head -n1 | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
    fail "$name: the copyright file is not in the machine-readable format"
done
has_all() {  # DEB FIELD entry...: dpkg-shlibdeps or the rules put each entry in the field
  local deb=$1 name=$2 value
  value=", $(field "$deb" "$name"), "
  shift 2
  for entry in "$@"; do
    [[ "$value" == *", $entry"* ]] || fail "$(basename "$deb") $name lacks $entry: $value"
  done
}
has_all "$watch_deb" Depends "libc6 (>= " "libstdc++6 (>= " "systemd | systemd-sysusers"
has_all "$window_deb" Depends "libc6 (>= " "libstdc++6 (>= " "libqt6widgets6 (>= " \
  "libqt6gui6 (>= " "libqt6core6 (>= " "libcurl4 (>= "
has_all "$window_deb" Recommends qzxwatch pkexec qt6-translations-l10n
# The server's package: no Qt, nothing graphical.
if field "$watch_deb" Depends | grep -qiE 'qt|libx|libgl'; then
  fail "qzxwatch depends on a graphical library: $(field "$watch_deb" Depends)"
fi
# Its files came out of qzxfile up to 1.2.0-1: an upgrade may take them over.
has_all "$watch_deb" Breaks "qzxfile (<< 1.2.0-2~)"
has_all "$watch_deb" Replaces "qzxfile (<< 1.2.0-2~)"
for deb in "$watch_deb" "$window_deb"; do
  echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes"
  dpkg-deb -f "$deb"
done
exit $failed
