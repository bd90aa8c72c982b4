#pragma once

class AppContext;

// Shows the destination picker "保存到的目录" modally. On confirmation it
// stores the chosen directory in defaultDest and offers it to the add-task
// dialog's destination box; a cancel changes nothing.
void showForm5(AppContext &ctx);

// Shows the directory picker "要移动的正个目录" modally; on confirmation it
// writes the directory into the add-task dialog's source boxes.
void showForm2(AppContext &ctx);
