#pragma once

class UserDialogs;
class FileOperation;
class ShellOpen;
class DiskSpace;
class FileQueries;
class EventYield;
class DesktopNotifications;

// The platform seams the windows and the run work through.
struct Services
{
    UserDialogs *dialogs = nullptr;
    FileOperation *engine = nullptr;
    ShellOpen *shell = nullptr;
    DiskSpace *disk = nullptr;
    FileQueries *files = nullptr;
    EventYield *yield = nullptr;
    // May be missing: then the desktop hears nothing.
    DesktopNotifications *notifications = nullptr;
};
