#!/usr/bin/env bash
# The Debian package as Debian's tools see it: lintian finds no error (its whole report is
# printed), the package holds exactly the files a user expects, and its control fields are
# filled in, with the dependencies computed from the programs.
#   DebTest.sh PACKAGE.deb APP_ID
set -euo pipefail
deb=$1
id=$2
failed=0
fail() { echo "FAIL: $*" >&2; failed=1; }

echo "== lintian $(basename "$deb")"
if lintian --fail-on error --display-info "$deb"; then
  echo "== lintian: no error"
else
  fail "lintian reports errors"
fi

# Every file, and nothing else: a stray header, a test or a file under /usr/local would be a
# fault of the install rules.
expected=(
  ./usr/bin/qzxfile
  ./usr/bin/qzxwatch
  ./usr/libexec/qzxfile/qzxfile-helper
  "./usr/lib/systemd/system/qzxwatch@.service"
  ./usr/share/polkit-1/actions/org.qzxfile.helper.policy
  "./usr/share/applications/$id.desktop"
  "./usr/share/metainfo/$id.metainfo.xml"
  ./usr/share/doc/qzxfile/changelog.Debian.gz
  ./usr/share/doc/qzxfile/copyright
  ./usr/share/icons/hicolor/scalable/apps/qzxfile.svg
  ./usr/share/man/man1/qzxfile.1.gz
  ./usr/share/man/man1/qzxwatch.1.gz
)
for n in 16 22 24 32 48 64 128 256; do
  expected+=("./usr/share/icons/hicolor/${n}x${n}/apps/qzxfile.png")
done
want=$(printf '%s\n' "${expected[@]}" | sort)
have=$(dpkg-deb --fsys-tarfile "$deb" | tar -t | grep -v '/$' | sort)
if [[ "$want" != "$have" ]]; then
  fail "the package's files differ from the expected ones:"
  diff <(echo "$want") <(echo "$have") >&2 || true
fi

field() { dpkg-deb -f "$deb" "$1"; }
[[ "$(field Package)" == qzxfile ]] || fail "Package: $(field Package)"
[[ "$(field Section)" == utils ]] || fail "Section: $(field Section)"
[[ "$(field Priority)" == optional ]] || fail "Priority: $(field Priority)"
[[ "$(field Maintainer)" == *@* ]] || fail "Maintainer: $(field Maintainer)"
[[ "$(field Homepage)" == http* ]] || fail "Homepage: $(field Homepage)"
[[ "$(field Description | wc -l)" -gt 3 ]] || fail "no long description"
# dpkg-shlibdeps has been at work: the libraries of both programs are there with versions.
depends=$(field Depends)
for lib in libc6 libstdc++6 libqt6widgets6 libqt6gui6 libqt6core6 libcurl4; do
  [[ ", $depends" == *", $lib (>= "* ]] || fail "Depends lacks $lib: $depends"
done
[[ "$(field Recommends)" == *qt6-translations-l10n* ]] || fail "Recommends: $(field Recommends)"
dpkg-deb --fsys-tarfile "$deb" | tar -xO ./usr/share/doc/qzxfile/copyright |
  head -n1 | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' ||
  fail "the copyright file is not in the machine-readable format"
echo "== control fields"
dpkg-deb -f "$deb"
exit $failed
