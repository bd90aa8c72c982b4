#include "platform/qt/qt_user_dialogs.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace {

QWidget *dialogParent()
{
    QWidget *w = QApplication::activeWindow();
    return (w && w->isVisible()) ? w : nullptr;
}

UserDialogs::Answer ask(const QString &text, const QString &title, QMessageBox::StandardButtons buttons,
                        UserDialogs::Answer onEscape)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, buttons, dialogParent());
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    switch (box.exec()) {
    case QMessageBox::Yes: return UserDialogs::Answer::Yes;
    case QMessageBox::No: return UserDialogs::Answer::No;
    case QMessageBox::Cancel: return UserDialogs::Answer::Cancel;
    default: return onEscape;
    }
}

} // namespace

void QtUserDialogs::message(const QString &text, const QString &title)
{
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, dialogParent());
    box.exec();
}

UserDialogs::Answer QtUserDialogs::askYesNo(const QString &text, const QString &title)
{
    return ask(text, title, QMessageBox::Yes | QMessageBox::No, Answer::No);
}

UserDialogs::Answer QtUserDialogs::askYesNoCancel(const QString &text, const QString &title)
{
    return ask(text, title, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, Answer::Cancel);
}

QString QtUserDialogs::inputBox(const QString &prompt, const QString &title, const QString &preset)
{
    bool ok = false;
    const QString text = QInputDialog::getText(dialogParent(), title, prompt, QLineEdit::Normal, preset, &ok);
    return ok ? text : QString();
}

QString QtUserDialogs::toQtFilter(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts.at(i);
        const QString pattern = parts.at(i + 1);
        QString patterns = pattern;
        patterns.replace(u';', u' ');
        // Qt reads the patterns from the parentheses that end the entry; a
        // description that already shows them is not given them twice.
        const QString shown = u'(' + pattern + u')';
        if (description.endsWith(shown))
            description.chop(shown.size());
        else
            description += u' ';
        out << description + u'(' + patterns + u')';
    }
    return out.join(QStringLiteral(";;"));
}

QString QtUserDialogs::openFileName(const QString &title, const QString &initialDir, const QString &filter)
{
    return QFileDialog::getOpenFileName(dialogParent(), title, initialDir, toQtFilter(filter));
}

QString QtUserDialogs::saveFileName(const QString &title, const QString &presetPath, const QString &filter)
{
    return QFileDialog::getSaveFileName(dialogParent(), title, presetPath, toQtFilter(filter), nullptr,
                                        QFileDialog::DontConfirmOverwrite);
}

int QtUserDialogs::execModal(QDialog *dialog)
{
    return dialog->exec();
}
