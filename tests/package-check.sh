#!/usr/bin/env bash
# Checks the Debian package: its control file (name, version, the libraries the programs use
# among its dependencies) and its contents, then unpacks it into a throwaway root and runs
# the unpacked mp3cut.
#   tests/package-check.sh PACKAGE.deb VERSION
set -euo pipefail
deb="$1"
version="$2"
info="$(dpkg-deb --info "$deb")"
grep -q "^ Package: mp3cutter$" <<<"$info"
grep -q "^ Version: $version$" <<<"$info"
depends="$(grep "^ Depends:" <<<"$info")"
for lib in libqt6widgets6 libmpg123-0 libtag1v5 libcue2 libebur128-1 libsdl2; do
    grep -q "$lib" <<<"$depends" || { echo "no $lib in$depends"; exit 1; }
done
contents="$(dpkg-deb --contents "$deb")"
for f in usr/bin/mp3cut usr/bin/mp3cutter usr/share/applications/net.mp3cut.Mp3Cutter.desktop \
    usr/share/metainfo/net.mp3cut.Mp3Cutter.metainfo.xml usr/share/man/man1/mp3cut.1; do
    grep -q " \./$f$" <<<"$contents" || { echo "not in the package: $f"; exit 1; }
done
root="$(mktemp -d)"
trap 'rm -rf "$root"' EXIT
dpkg-deb --extract "$deb" "$root"
[ "$("$root/usr/bin/mp3cut" --version)" = "mp3cut $version" ]
echo "$deb: checked"
