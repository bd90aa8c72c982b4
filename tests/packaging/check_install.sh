#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks that the program, its
# launcher, its file-manager entries and its icon in every size land in the
# standard places.
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
# Files handed over by "open with" or dropped on the launcher are queued;
# no MimeType, so Korvan never becomes the default program for a type.
grep -qx 'Exec=korvan %F' "$desktop" || { echo "launcher takes no files"; fail=1; }
if grep -q '^MimeType=' "$desktop"; then echo "claims file types"; fail=1; fi
# "用 Korvan 排队" in the file managers' context menus.
for action in share/kio/servicemenus/korvan-queue.desktop share/file-manager/actions/korvan-queue.desktop \
              share/nemo/actions/korvan-queue.nemo_action; do
  expect "$action"
  [ -e "$prefix/$action" ] || continue
  grep -q '用 Korvan 排队' "$prefix/$action" || { echo "no queue entry in $action"; fail=1; }
  grep -qx 'Exec=korvan %F' "$prefix/$action" || { echo "$action hands no files"; fail=1; }
done
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$desktop" || fail=1; fi
[ $fail -eq 0 ] && echo "install layout OK"
exit $fail
