#pragma once

#include "platform/file_queries.h"

// File queries against the real file system.
class SystemFileQueries : public FileQueries
{
public:
    bool isPlainFile(const QString &path) override;
    std::optional<qint64> length(const QString &path) override;
};
