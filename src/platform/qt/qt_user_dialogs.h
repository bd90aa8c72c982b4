#pragma once

#include "platform/user_dialogs.h"

#include <QPointer>

class QWidget;

// The dialogs as Qt shows them; standard buttons are translated by Qt's own
// zh_CN catalogue loaded at start-up.
class QtUserDialogs : public UserDialogs
{
public:
    void message(const QString &text, const QString &title) override;
    Answer askYesNo(const QString &text, const QString &title) override;
    Answer askYesNoCancel(const QString &text, const QString &title) override;
    QString inputBox(const QString &prompt, const QString &title, const QString &preset) override;
    QString openFileName(const QString &title, const QString &initialDir, const QString &filter) override;
    QString saveFileName(const QString &title, const QString &presetPath, const QString &filter) override;
    int execModal(QDialog *dialog) override;

    // "desc|pattern|desc|pattern" into Qt's "desc (pattern);;desc (pattern)".
    static QString toQtFilter(const QString &filter);
};
