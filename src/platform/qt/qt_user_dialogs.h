#pragma once

#include "platform/user_dialogs.h"

#include <QMessageBox>
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

    // The floating panel: every dialog opens centred on the screen that
    // holds it, clear of it, and stacked above it.
    void setAnchor(QWidget *panel);

    // "desc|pattern|desc|pattern" into Qt's "desc (pattern);;desc (pattern)".
    static QString toQtFilter(const QString &filter);

private:
    Answer ask(const QString &text, const QString &title, QMessageBox::StandardButtons buttons, Answer onEscape);
    const QWidget *visibleAnchor() const;
    void stackAbovePanel(QWidget *dialog) const;

    QPointer<QWidget> m_anchor;
};
