#!/usr/bin/env bash
# Checks the Debian package that `make package` wrote: lintian finds no error and no warning,
# the AppStream file and the manual page pass their validators, the versions agree, and the
# package unpacks to exactly the files below.
#
#   packaging/check.sh [build folder]      (`make package-check` builds the package and runs it)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "${1:-$root/build}" && pwd)
version=$(sed -n 's/^project(pelmora VERSION \([^ ]*\) .*/\1/p' "$root/CMakeLists.txt")
deb=$build/pelmora_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { echo "check: no $deb; run make package" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check: $*" >&2; exit 1; }

echo "== lintian $deb"
report=$(lintian --fail-on error,warning "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ "${status:-0}" = 0 ] || fail "lintian found errors or warnings"

echo "== files"
dpkg-deb -x "$deb" "$scratch/root"
(cd "$scratch/root" && find . ! -type d | sort) >"$scratch/list"
diff -u - "$scratch/list" <<'EOF'
./usr/bin/pelmora
./usr/share/applications/org.pelmora.Pelmora.desktop
./usr/share/doc/pelmora/changelog.gz
./usr/share/doc/pelmora/copyright
./usr/share/icons/hicolor/128x128/apps/pelmora.png
./usr/share/icons/hicolor/16x16/apps/pelmora.png
./usr/share/icons/hicolor/32x32/apps/pelmora.png
./usr/share/icons/hicolor/64x64/apps/pelmora.png
./usr/share/man/man1/pelmora.1.gz
./usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml
EOF
depends=$(dpkg-deb -f "$deb" Depends)
for dependency in libqt6widgets6 libjpeg62-turbo qt6-qpa-plugins fonts-ipafont-gothic qt6-translations-l10n; do
    grep -q "\b$dependency\b" <<<"$depends" || fail "Depends lacks $dependency"
done
grep -q "\bqt6-wayland\b" <<<"$(dpkg-deb -f "$deb" Recommends)" || fail "Recommends lacks qt6-wayland"

echo "== appstreamcli validate --strict --no-net"
# --no-net: the screenshot and home page addresses are not checked for being reachable.
appstreamcli validate --strict --no-net "$scratch/root/usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml"
desktop-file-validate "$scratch/root/usr/share/applications/org.pelmora.Pelmora.desktop"

echo "== manual page"
man_page=$scratch/root/usr/share/man/man1/pelmora.1.gz
zcat "$man_page" | mandoc -T lint -W warning
lexgrog "$man_page"
warnings=$(MANWIDTH=80 man --warnings -l "$man_page" 2>&1 >/dev/null)
[ -z "$warnings" ] || fail "man: $warnings"

echo "== version $version in the changelog, the AppStream release and the manual page"
zcat "$scratch/root/usr/share/doc/pelmora/changelog.gz" | head -n1 | grep -q "^pelmora ($version) " &&
    grep -q "<release version=\"$version\"" "$scratch/root/usr/share/metainfo/org.pelmora.Pelmora.metainfo.xml" &&
    zcat "$man_page" | grep -q "^\.TH PELMORA 1 [^ ]* \"Pelmora $version\"" ||
    fail "a version other than $version"
echo "check: $deb is fine"
