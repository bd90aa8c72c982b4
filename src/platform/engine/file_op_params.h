#pragma once

#include "platform/file_operation.h"

#include <QMetaType>
#include <QString>
#include <QtGlobal>

// One operation, decoded from the shell record into what the engine does.
struct FileOpParams
{
    enum class Mode { Copy, Move, Trash };

    Mode mode = Mode::Copy;
    QString source; // absolute path of the one item
    QString destinationDir; // copy/move: the folder the item goes into
    bool askBeforeOverwrite = true;
    bool askBeforeCreatingDestination = true;
    bool askBeforeTrash = true;
    // Copy/move: every file written is read back from the medium and
    // compared with its source before it is named.
    bool verify = false;

    // Decodes wFunc/fFlags/pFrom/pTo. Returns false and sets *error for a
    // record that must not be run (unknown wFunc, empty paths, permanent delete).
    static bool fromRecord(const FileOpRecord &record, FileOpParams *params, QString *error);
};

// Progress of one operation; sent at most about ten times a second.
struct FileOpProgress
{
    QString currentPath;
    qint64 filesDone = 0;
    qint64 filesTotal = 0;
    qint64 bytesDone = 0;
    qint64 bytesTotal = 0;
    // The totals are still growing: they are counted beside the copy, so no
    // share of them is known yet.
    bool counting = false;
    qint64 elapsedMs = 0;
    bool storing = false; // all is written; waiting for the device to store it
    bool verifying = false; // a copy is being read back from the medium
    qint64 bytesVerified = 0; // read back and found equal to the source so far
};

Q_DECLARE_METATYPE(FileOpParams)
Q_DECLARE_METATYPE(FileOpProgress)
Q_DECLARE_METATYPE(FileOpResult)
