#pragma once

#include "model/candidate_list.h"
#include "model/move_task.h"

class FileQueries;

// The size column of a path: sizeInK of its length when it names an
// existing plain file whose length can be read, otherwise empty.
QString sizeTextFor(FileQueries &files, const QString &path);

// A task for a dropped path entering with the defaults.
MoveTask taskWithDefaults(FileQueries &files, const QString &path, const QString &defaultDest,
                          const QString &defaultMode);

// A ticked candidate for a dropped path: the default mode and destination,
// with "回收站" in place of the destination when the mode is "删除".
CandidateRow candidateWithDefaults(FileQueries &files, const QString &path, const QString &defaultDest,
                                   const QString &defaultMode);
