#pragma once

#include "mainwin/app_context.h"
#include "mainwin/main_window.h"
#include "support/fakes.h"
#include "support/scripted_dialogs.h"

#include <memory>

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
    AppContext ctx {Services {&dialogs, &engine, &shell, &disk, &files, &yield}};
    std::unique_ptr<Form1> form1;

    // Starts the main window (and with it the panel and the add-task dialog).
    TestApp()
        : form1(std::make_unique<Form1>(ctx))
    { }
};
