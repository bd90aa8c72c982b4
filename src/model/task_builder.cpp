#include "model/task_builder.h"

#include "model/size_text.h"
#include "model/texts.h"
#include "platform/file_queries.h"

QString sizeTextFor(FileQueries &files, const QString &path)
{
    if (!files.isPlainFile(path))
        return QString();
    const std::optional<qint64> length = files.length(path);
    return length ? sizeInK(*length) : QString();
}

MoveTask taskWithDefaults(FileQueries &files, const QString &path, const QString &defaultDest,
                          const QString &defaultMode)
{
    MoveTask t;
    t.name = pathName(path);
    t.sizeK = sizeTextFor(files, path);
    t.sourcePath = path;
    t.destination = defaultDest;
    t.mode = defaultMode;
    return t;
}

CandidateRow candidateWithDefaults(FileQueries &files, const QString &path, const QString &defaultDest,
                                   const QString &defaultMode)
{
    CandidateRow c;
    c.name = pathName(path);
    c.sizeK = sizeTextFor(files, path);
    c.ticked = true;
    c.sourcePath = path;
    c.mode = defaultMode;
    c.destination = defaultMode == Texts::ModeDelete ? Texts::RecycleBin : defaultDest;
    return c;
}
