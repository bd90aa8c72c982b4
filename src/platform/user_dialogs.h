#pragma once

#include <QString>

#include <optional>

class QDialog;

// Every modal thing a window asks of the user goes through here, so that
// tests can script the answers and check the exact questions.
class UserDialogs
{
public:
    enum class Answer { Yes, No, Cancel };

    virtual ~UserDialogs() = default;

    // A message box with one OK button and no icon.
    virtual void message(const QString &text, const QString &title) = 0;

    // Yes/No without icon; closing the box counts as No.
    virtual Answer askYesNo(const QString &text, const QString &title) = 0;

    // Yes/No/Cancel without icon; closing the box counts as Cancel.
    virtual Answer askYesNoCancel(const QString &text, const QString &title) = 0;

    // A one-line input box. Returns the text accepted (which may be empty),
    // or none when the user cancelled or closed the box.
    virtual std::optional<QString>
    inputBox(const QString &prompt, const QString &title, const QString &preset = QString()) = 0;

    // Open-file dialog. filter uses the "description|pattern|description|pattern"
    // form. Returns the chosen path, empty when cancelled.
    virtual QString openFileName(const QString &title, const QString &initialDir, const QString &filter) = 0;

    // Save-file dialog that does not ask before an existing file is chosen.
    // presetPath is the name shown when the dialog opens. A name typed
    // without an extension gets the first filter's, when that filter is a
    // single "*.ext". Empty when cancelled.
    virtual QString saveFileName(const QString &title, const QString &presetPath, const QString &filter) = 0;

    // Runs one of the program's own modal windows (the directory pickers,
    // the about box) and returns its QDialog result code.
    virtual int execModal(QDialog *dialog) = 0;
};
