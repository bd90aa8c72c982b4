// The paths given on the command line, made into what a drop would carry.
#include "program/command_line.h"

#include "panel/panel_window.h"
#include "platform/qt/single_instance.h"

#include <QDir>
#include <QUrl>

QStringList pathsFromArguments(const QStringList &arguments, const QString &workingDir)
{
    QStringList paths;
    const QDir base(workingDir);
    for (const QString &argument : arguments) {
        if (argument.isEmpty())
            continue;
        QString path = argument;
        if (argument.startsWith(QStringLiteral("file://"))) {
            const QUrl url(argument);
            if (!url.isLocalFile() || url.toLocalFile().isEmpty())
                continue;
            path = url.toLocalFile();
        }
        paths << QDir::cleanPath(base.absoluteFilePath(path));
    }
    return paths;
}

void takePathsAsDrops(SingleInstance &instance, Form3 &panel, const QStringList &startPaths)
{
    QObject::connect(&instance, &SingleInstance::pathsHandedOver, &panel, &Form3::takeDrop, Qt::QueuedConnection);
    if (!startPaths.isEmpty())
        QMetaObject::invokeMethod(
            &panel, [&panel, startPaths] { panel.takeDrop(startPaths); }, Qt::QueuedConnection);
}
