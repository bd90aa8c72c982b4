#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QtGlobal>

// One side of an overwrite conflict, as the user is shown it.
struct ConflictSide
{
    QString path;
    qint64 size = -1;
    QDateTime modified;
};

struct OverwriteQuestion
{
    ConflictSide source;
    ConflictSide target;
};

enum class OverwriteAnswer { Overwrite, OverwriteAll, Skip, Cancel };

// An item that could not be handled; reason is the user's text (FsUtil::errorText).
struct ErrorQuestion
{
    QString path;
    QString action; // what was being done, e.g. "复制"
    QString reason;
    int errorCode = 0;
    bool canRetry = true;
    bool canSkip = true; // false: the whole operation is refused, any answer ends it
};

enum class ErrorAnswer { Retry, Skip, Cancel };

// Items of a copy or move that the target volume cannot hold, found before
// anything is written: all of them at once, each with its reason.
struct PreflightItem
{
    QString path; // the source item
    QString reason;
};

struct PreflightQuestion
{
    QList<PreflightItem> items; // the first FileOpResult::MaxRecorded
    int itemCount = 0; // all of them
};

// SkipItems: the operation goes on without them; Cancel: nothing is written.
enum class PreflightAnswer { SkipItems, Cancel };

// Everything the engine needs to ask the user. The engine never opens a
// window itself: the UI answers with dialogs, tests answer from a script.
// The calls arrive on the thread that started the operation.
class EngineQuestions
{
public:
    virtual ~EngineQuestions() = default;

    // The target of a copy (or an asking move) exists.
    virtual OverwriteAnswer askOverwrite(const OverwriteQuestion &question) = 0;

    // One item failed; Retry tries the same step again.
    virtual ErrorAnswer askOnError(const ErrorQuestion &question) = 0;

    // Only asked when the record lacks FOF_NOCONFIRMMKDIR. true = create it.
    virtual bool confirmCreateFolder(const QString &folder) = 0;

    // Only asked when a delete lacks FOF_NOCONFIRMATION. true = trash it.
    virtual bool confirmTrash(const QString &path) = 0;

    // Before the first write of a copy or move: items the target cannot hold.
    virtual PreflightAnswer askPreflight(const PreflightQuestion &question) = 0;
};
