#pragma once

#include "platform/user_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPointer>

#include <memory>

class QWidget;

// The dialogs as Qt shows them; standard buttons are translated by Qt's own
// zh_CN catalogue loaded at start-up.
class QtUserDialogs : public UserDialogs
{
public:
    void message(const QString &text, const QString &title) override;
    Answer askYesNo(const QString &text, const QString &title) override;
    Answer askYesNoCancel(const QString &text, const QString &title) override;
    std::optional<QString> inputBox(const QString &prompt, const QString &title, const QString &preset) override;
    QString openFileName(const QString &title, const QString &initialDir, const QString &filter) override;
    QString saveFileName(const QString &title, const QString &presetPath, const QString &filter) override;
    int execModal(QDialog *dialog) override;

    // The floating panel: every dialog opens centred on the screen that
    // holds it, clear of it, and stacked above it.
    void setAnchor(QWidget *panel);

    // "desc|pattern|desc|pattern" into the entries Qt's file dialog takes:
    // each keeps its description exactly as written, for the dialog to
    // show, and ends in the patterns as Qt matches them: blank-separated,
    // with "*.*" as "*" so that names without an extension count too.
    static QStringList toQtFilters(const QString &filter);

    // The open or save dialog as shown: drawn by Qt (so it speaks the
    // program's Chinese, dates and sizes included), in detail view, showing
    // the filters' descriptions; a save dialog whose first filter is one
    // "*.ext" adds that extension to a name typed without one.
    static std::unique_ptr<QFileDialog> fileDialog(QFileDialog::AcceptMode mode, const QString &title,
                                                   const QString &startPath, const QString &filter);

private:
    Answer ask(const QString &text, const QString &title, QMessageBox::StandardButtons buttons, Answer onEscape);
    const QWidget *visibleAnchor() const;
    void stackAbovePanel(QWidget *dialog) const;
    std::unique_ptr<QFileDialog> placed(std::unique_ptr<QFileDialog> dialog) const;

    QPointer<QWidget> m_anchor;
};
