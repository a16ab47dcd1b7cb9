#!/usr/bin/env bash
# Installs a build into a throwaway prefix and checks what a desktop, a distribution and a user
# find there: every file in its place, the desktop entry and the AppStream metainfo valid, the
# man page formatting without a warning, the completion loading, both programs' version.
#   tests/install-check.sh BUILD_DIR VERSION
set -euo pipefail
build="$1"
version="$2"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
id=net.mp3cut.Mp3Cutter
for f in bin/mp3cut bin/mp3cutter "share/applications/$id.desktop" \
    "share/icons/hicolor/scalable/apps/$id.svg" "share/metainfo/$id.metainfo.xml" \
    share/man/man1/mp3cut.1 share/bash-completion/completions/mp3cut \
    share/mp3cutter/translations/mp3cutter_en.qm; do
    [ -e "$prefix/$f" ] || { echo "not installed: $f"; exit 1; }
done
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null
grep -q "<release version=\"$version\"" "$prefix/share/metainfo/$id.metainfo.xml"
warnings="$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/mp3cut.1" 2>&1 >/dev/null)"
[ -z "$warnings" ] || { echo "man page: $warnings"; exit 1; }
MANWIDTH=80 man -l "$prefix/share/man/man1/mp3cut.1" | grep -q "EXIT STATUS"
bash -c "source '$prefix/share/bash-completion/completions/mp3cut'
    COMP_WORDS=(mp3cut spl); COMP_CWORD=1; _mp3cut; [ \"\${COMPREPLY[*]}\" = split ]"
[ "$("$prefix/bin/mp3cut" --version)" = "mp3cut $version" ]
[ "$(QT_QPA_PLATFORM=offscreen "$prefix/bin/mp3cutter" --version)" = "mp3cutter $version" ]
echo "installed and checked under $prefix"
