// The window half of ScriptedDialogs::execModal, linked into every test
// that has Qt Widgets (the GUI part of the test support is an object
// library, so this always runs before main).
#include "support/scripted_dialogs.h"

#include <QDialog>

namespace {

const bool installed = [] {
    ScriptedDialogs::modalWindowTitle = [](QDialog *dialog) { return dialog->windowTitle(); };
    ScriptedDialogs::rejectModalWindow = [](QDialog *dialog) { dialog->reject(); };
    return true;
}();

} // namespace
