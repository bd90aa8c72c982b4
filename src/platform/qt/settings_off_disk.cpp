// Sends what Qt's own widgets would keep between runs (QSettings in the
// user's scope) nowhere.
#include "platform/qt/settings_off_disk.h"

#include <QSettings>

void keepQtSettingsOffDisk()
{
    // QFileDialog opens QSettings(UserScope, "QtProject") in the default
    // format and saves into it when it goes. The user's settings folder is
    // pointed below /dev/null, a path that is no folder for anyone (root
    // included): nothing there can be read, made or written, so a dialog
    // starts with Qt's defaults every time and leaves no file behind.
    const QString nowhere = QStringLiteral("/dev/null/korvan-keeps-no-settings");
    for (const QSettings::Format format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, nowhere);
    QSettings::setDefaultFormat(QSettings::NativeFormat);
}
