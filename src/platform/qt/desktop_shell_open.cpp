#include "platform/qt/desktop_shell_open.h"

#include <QDesktopServices>

bool DesktopShellOpen::openPath(const QString &path)
{
    if (path.isEmpty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

bool DesktopShellOpen::openUrl(const QUrl &url)
{
    return QDesktopServices::openUrl(url);
}
