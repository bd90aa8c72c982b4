#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

class FileQueries
{
public:
    virtual ~FileQueries() = default;

    // True for an existing regular file (after following a link) whose name
    // does not start with "."; folders, hidden files and missing paths are false.
    virtual bool isPlainFile(const QString &path) = 0;

    // The file's length in bytes, nullopt when it cannot be read.
    virtual std::optional<qint64> length(const QString &path) = 0;
};
