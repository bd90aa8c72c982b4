#include "app/app_context.h"
#include "mainwin/main_window.h"
#include "panel/panel_window.h"
#include "platform/engine/termination_signals.h"
#include "platform/qt/chinese_translations.h"
#include "platform/qt/dbus_notifications.h"
#include "platform/qt/desktop_file_operation.h"
#include "platform/qt/desktop_shell_open.h"
#include "platform/qt/engine_dialogs.h"
#include "platform/qt/qt_user_dialogs.h"
#include "platform/qt/settings_off_disk.h"
#include "platform/qt/single_instance.h"
#include "platform/system_disk_space.h"
#include "platform/system_file_queries.h"
#include "platform/throttled_event_yield.h"
#include "program/command_line.h"
#include "program/session_end.h"
#include "program/window_setup.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QLocale>

namespace {

// On a Wayland session the panel can only stay on top through X11.
void preferX11OnWayland()
{
    if (qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    if (qgetenv("XDG_SESSION_TYPE") == "wayland" && qEnvironmentVariableIsSet("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "xcb");
}

} // namespace

int main(int argc, char *argv[])
{
    preferX11OnWayland();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Korvan"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    QGuiApplication::setDesktopFileName(QStringLiteral("korvan"));
    // Only the panel menu's "关闭" ends the program.
    QApplication::setQuitOnLastWindowClosed(false);
    QLocale::setDefault(QLocale(QLocale::Chinese, QLocale::China));
    installChineseTranslations(app);
    keepQtSettingsOffDisk();

    // "korvan PATH…" takes the paths in as a drop of them on the panel.
    const QStringList startPaths = pathsFromArguments(QCoreApplication::arguments().mid(1), QDir::currentPath());

    // A second start shows the running instance's main window instead, or
    // hands it the paths.
    SingleInstance instance;
    if (instance.handOverToRunningInstance(startPaths))
        return 0;
    if (!instance.listen() && instance.handOverToRunningInstance(startPaths))
        return 0;

    QtUserDialogs dialogs;
    DesktopFileOperation engine(nullptr, &dialogs);
    DesktopShellOpen shell;
    SystemDiskSpace disk;
    SystemFileQueries files;
    ThrottledEventYield yield;
    DBusNotifications notifications;
    AppContext ctx(Services {&dialogs, &engine, &shell, &disk, &files, &yield, &notifications});

    AppWindows windows(ctx);
    Form1 &form1 = *windows.form1();
    dialogs.setAnchor(windows.form3());
    // The end of the desktop session ends the program the safe way.
    SessionEnd sessionEnd(ctx, windows.form3());
    QObject::connect(&instance, &SingleInstance::activationRequested, &form1, [&form1] {
        form1.setWindowState(form1.windowState() & ~Qt::WindowMinimized);
        form1.show();
        form1.raise();
        form1.activateWindow();
    });
    // SIGINT/SIGTERM: leave as "关闭" does, cancelling a running operation
    // the safe way first; an open question is answered with its cancel.
    TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::requested, &app, [&windows] {
        if (auto *modal = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
            modal->reject();
        windows.form3()->sys_exit();
    });
    form1.show();
    takePathsAsDrops(instance, *windows.form3(), startPaths);
    return app.exec();
}
