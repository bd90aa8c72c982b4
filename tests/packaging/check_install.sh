#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that the program, its
# launcher and its icon in every size land in the standard places.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
fail=0
expect() { [ -e "$prefix/$1" ] || { echo "missing: $1"; fail=1; }; }
expect bin/korvan
expect share/applications/korvan.desktop
expect share/icons/hicolor/scalable/apps/korvan.svg
for s in 16 22 24 32 48 64 128 256; do expect "share/icons/hicolor/${s}x${s}/apps/korvan.png"; done
desktop=$prefix/share/applications/korvan.desktop
grep -q '^Name\[zh_CN\]=' "$desktop" || { echo "no Chinese name"; fail=1; }
grep -q '^Categories=Utility;' "$desktop" || { echo "not in Utility"; fail=1; }
# There is no command line, so no "open with" entry.
if grep -qE '^(MimeType=|Exec=.*%[fFuU])' "$desktop"; then echo "offers open-with"; fail=1; fi
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop" || fail=1; fi
[ $fail -eq 0 ] && echo "install layout OK"
exit $fail
