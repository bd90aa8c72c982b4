#!/usr/bin/env bash
# Fails when a source file reaches into the controls of a window that lives
# in another folder. Windows talk through named operations (Form1::setRunProgress,
# Form4::offerSource, ...); only the files of a window's own folder touch its
# controls and menu entries.
set -euo pipefail
cd "$(dirname "$0")/../src"

# window folder | names other code calls the window by | its controls
windows=(
  "mainwin|form1|main|mainWindow|form1()|ProgressBar1|Label1|Drive1|ListView1|ListView2|Frame1|Frame2|Frame3|syswork|use"
  "panel|form3|panel|form3()"
  "dialogs|form4|dialog|addTask|form4()|Text1|Text3|Text4|Combo1|Check1|Option1|Option2|Option3|Option4|Option5|Label1|Command1|Command2|Command3|Command4|Command5|Command6|TabStrip1"
  "candidates|form7|candidates|candidateWindow()|form7()|ListView1|Combo1|Text2|Option1|Option2|Option3|Option6|Command1|Command2|Command3|Command4|Command5|BLACKWORK|Frame1"
)

status=0
for entry in "${windows[@]}"; do
  IFS='|' read -r -a parts <<<"$entry"
  folder=${parts[0]}
  names=() controls=()
  for p in "${parts[@]:1}"; do
    if [[ $p =~ ^[a-z] ]]; then names+=("$p"); else controls+=("$p"); fi
  done
  [ ${#controls[@]} -eq 0 ] && continue
  name_re=$(IFS='|'; echo "${names[*]}" | sed 's/()/\\(\\)/g')
  control_re=$(IFS='|'; echo "${controls[*]}")
  # "main->Label1", "m_ctx.form4->Check1", "ctx.candidateWindow()->Combo1", "form1.syswork"
  pattern="\\b(${name_re})\\s*(->|\\.)\\s*(${control_re})\\b"
  while IFS= read -r file; do
    case "$file" in "$folder"/*) continue ;; esac
    if hits=$(grep -nE "$pattern" "$file"); then
      echo "$file reaches into the controls of the window in $folder/:"
      echo "$hits" | sed 's/^/  /'
      status=1
    fi
  done < <(find . \( -name '*.cpp' -o -name '*.h' \) | sed 's|^\./||' | sort)
done
# The main window's menus are reached through its operations only.
if hits=$(grep -nE '(->|\.)\s*(syswork|use)\s*\.' $(find . \( -name '*.cpp' -o -name '*.h' \) ! -path './mainwin/*')); then
  echo "files outside mainwin/ reach into the main window's menus:"
  echo "$hits" | sed 's/^/  /'
  status=1
fi
[ $status -eq 0 ] && echo "window boundaries kept"
exit $status
