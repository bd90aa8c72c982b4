#pragma once

#include <QString>
#include <QUrl>

// Opens a file with the desktop's default action, or a link (mailto:) with
// the desktop's handler. Results are best effort: the program shows nothing
// when the desktop cannot open it.
class ShellOpen
{
public:
    virtual ~ShellOpen() = default;
    virtual bool openPath(const QString &path) = 0;
    virtual bool openUrl(const QUrl &url) = 0;
};
