#!/usr/bin/env bash
# Prints, for each folder under src/, the other src/ folders its files include.
set -euo pipefail
cd "$(dirname "$0")/../src"
for f in $(find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||' | sort); do
  from=$(dirname "$f")
  { grep -oE '^#include "[^"]+"' "$f" || true; } | sed -E 's/#include "(.*)"/\1/' | while read -r inc; do
    if [ -f "$inc" ]; then to=$(dirname "$inc"); elif [ -f "$from/$inc" ]; then to=$from; else continue; fi
    if [ "$to" != "$from" ]; then echo "$from $to"; fi
  done
done | sort | uniq -c | awk '{ edges[$2] = edges[$2] " " $3 "(" $1 ")" } END { for (k in edges) print k ":" edges[k] }' | sort
