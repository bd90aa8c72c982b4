#pragma once

#include "platform/shell_open.h"

// Opens paths and links with the desktop's handlers.
class DesktopShellOpen : public ShellOpen
{
public:
    bool openPath(const QString &path) override;
    bool openUrl(const QUrl &url) override;
};
