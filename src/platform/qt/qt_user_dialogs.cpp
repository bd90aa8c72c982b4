#include "platform/qt/qt_user_dialogs.h"

#include "platform/qt/widget_helpers.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QWindow>

namespace {

QWidget *dialogParent()
{
    QWidget *w = QApplication::activeWindow();
    return (w && w->isVisible()) ? w : nullptr;
}

// A message box that opens on the panel's screen, clear of the panel. It
// takes its final size only while it is being shown, so it is placed then.
class PlacedMessageBox : public QMessageBox
{
public:
    PlacedMessageBox(const QString &title, const QString &text, StandardButtons buttons, const QWidget *anchor)
        : QMessageBox(NoIcon, title, text, buttons, dialogParent())
        , m_anchor(anchor)
    {
        // File names and remarks are shown as they are, never as markup.
        setTextFormat(Qt::PlainText);
        setTextInteractionFlags(Qt::TextSelectableByMouse);
    }

protected:
    void showEvent(QShowEvent *event) override
    {
        QMessageBox::showEvent(event);
        placeCentredBeside(this, m_anchor);
    }

private:
    const QWidget *m_anchor;
};

} // namespace

void QtUserDialogs::setAnchor(QWidget *panel)
{
    m_anchor = panel;
}

const QWidget *QtUserDialogs::visibleAnchor() const
{
    return m_anchor && m_anchor->isVisible() ? m_anchor.data() : nullptr;
}

void QtUserDialogs::stackAbovePanel(QWidget *dialog) const
{
    // A dialog with an owner window stacks above that; one without is made
    // the panel's transient, which window managers keep above the panel.
    const QWidget *panel = visibleAnchor();
    if (!panel || dialog->parentWidget())
        return;
    dialog->winId();
    if (QWindow *window = dialog->windowHandle())
        window->setTransientParent(panel->windowHandle());
}

UserDialogs::Answer QtUserDialogs::ask(const QString &text, const QString &title, QMessageBox::StandardButtons buttons,
                                       Answer onEscape)
{
    PlacedMessageBox box(title, text, buttons, visibleAnchor());
    stackAbovePanel(&box);
    switch (box.exec()) {
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Cancel: return Answer::Cancel;
    default: return onEscape;
    }
}

void QtUserDialogs::message(const QString &text, const QString &title)
{
    ask(text, title, QMessageBox::Ok, Answer::Cancel);
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
    QInputDialog box(dialogParent());
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setTextValue(preset);
    stackAbovePanel(&box);
    box.adjustSize();
    placeCentredBeside(&box, visibleAnchor());
    return box.exec() == QDialog::Accepted ? box.textValue() : QString();
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
    stackAbovePanel(dialog);
    // The program's own dialogs have fixed sizes, known before they show.
    dialog->adjustSize();
    placeCentredBeside(dialog, visibleAnchor());
    return dialog->exec();
}
