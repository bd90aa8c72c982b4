#pragma once

#include "app/app_context.h"
#include "mainwin/main_window.h"
#include "program/window_setup.h"
#include "support/fakes.h"
#include "support/scripted_dialogs.h"

// The whole program on scripted seams: dialogs, engine, shell, disk, file
// queries and yields are doubles; the windows are the real ones.
struct TestApp
{
    ScriptedDialogs dialogs;
    ScriptedFileOperation engine;
    RecordingShellOpen shell;
    FakeDiskSpace disk;
    FakeFileQueries files;
    HookYield yield;
    RecordingNotifications notifications;
    AppContext ctx {Services {&dialogs, &engine, &shell, &disk, &files, &yield, &notifications}};
    // Every window, made and wired as the program does.
    AppWindows windows {ctx};
    Form1 *const form1 = windows.form1();
    Form3 *const form3 = windows.form3();
    Form4 *const form4 = windows.form4();
    Form7 *const form7 = windows.form7();
};
