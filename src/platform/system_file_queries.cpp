#include "platform/system_file_queries.h"

#include <QFileInfo>

bool SystemFileQueries::isPlainFile(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    // QFileInfo follows links for isFile(); a name starting with "." is hidden.
    return info.isFile() && !info.fileName().startsWith(u'.') && !info.isHidden();
}

std::optional<qint64> SystemFileQueries::length(const QString &path)
{
    QFileInfo info(path);
    if (!info.exists() || !info.isFile())
        return std::nullopt;
    return info.size();
}
