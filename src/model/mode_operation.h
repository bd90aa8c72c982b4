#pragma once

#include "platform/file_operation.h"

#include <QString>

// The one table from a mode word to the operation it performs: "复制"
// copies, "剪贴" moves, "删除" sends to the trash. Sets the operation, its
// flags and (for copy and move) the destination in op; a delete leaves the
// destination as the last operation had it. Returns false, with op
// unchanged, for a word that names no operation.
bool setOperationForMode(FileOpRecord &op, const QString &mode, const QString &destination);

// The word is one of the three mode words.
bool isModeWord(const QString &mode);
