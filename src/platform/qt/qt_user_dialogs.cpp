#include "platform/qt/qt_user_dialogs.h"

#include "gui/widget_helpers.h"
#include "model/texts.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QIdentityProxyModel>
#include <QInputDialog>
#include <QLocale>
#include <QMessageBox>
#include <QRegularExpression>
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

std::optional<QString> QtUserDialogs::inputBox(const QString &prompt, const QString &title, const QString &preset)
{
    QInputDialog box(dialogParent());
    box.setWindowTitle(title);
    box.setLabelText(prompt);
    box.setTextValue(preset);
    stackAbovePanel(&box);
    box.adjustSize();
    placeCentredBeside(&box, visibleAnchor());
    if (box.exec() != QDialog::Accepted)
        return std::nullopt;
    return box.textValue();
}

namespace {

// One filter's patterns as Qt matches them; "*.*" means every file here,
// also "README" without a dot.
QStringList qtPatterns(const QString &patternText)
{
    QStringList patterns;
    for (QString p : patternText.split(u';', Qt::SkipEmptyParts)) {
        p = p.trimmed();
        if (p == QStringLiteral("*.*"))
            p = QStringLiteral("*");
        if (!p.isEmpty() && !patterns.contains(p))
            patterns << p;
    }
    if (patterns.isEmpty())
        patterns << QStringLiteral("*");
    return patterns;
}

} // namespace

QStringList QtUserDialogs::toQtFilters(const QString &filter)
{
    const QStringList parts = filter.split(u'|');
    QStringList out;
    // Qt takes the patterns from the last parentheses and, with the details
    // hidden, shows what stands before them.
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2)
        out << parts.at(i) + QStringLiteral(" (") + qtPatterns(parts.at(i + 1)).join(u' ') + u')';
    return out;
}

namespace {

// The dialog's file list, with its sizes, dates and folder type in the
// program's locale (Qt's own list takes them from the environment's).
class ChineseFileList : public QIdentityProxyModel
{
public:
    using QIdentityProxyModel::QIdentityProxyModel;

    QVariant data(const QModelIndex &index, int role) const override
    {
        const auto *files = qobject_cast<const QFileSystemModel *>(sourceModel());
        if (role != Qt::DisplayRole || !files || !index.isValid())
            return QIdentityProxyModel::data(index, role);
        const QModelIndex source = mapToSource(index);
        const QLocale locale;
        switch (index.column()) {
        case 1:
            if (!files->isDir(source))
                return locale.formattedDataSize(files->size(source), 1, QLocale::DataSizeTraditionalFormat);
            break;
        case 2:
            if (files->isDir(source))
                return Texts::FileDialogFolder;
            break;
        case 3: return locale.toString(files->lastModified(source), QLocale::ShortFormat);
        default: break;
        }
        return QIdentityProxyModel::data(index, role);
    }
};

} // namespace

std::unique_ptr<QFileDialog> QtUserDialogs::fileDialog(QFileDialog::AcceptMode mode, const QString &title,
                                                       const QString &startPath, const QString &filter)
{
    auto dialog = std::make_unique<QFileDialog>(dialogParent(), title, startPath);
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setOption(QFileDialog::HideNameFilterDetails);
    dialog->setAcceptMode(mode);
    dialog->setFileMode(mode == QFileDialog::AcceptOpen ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    if (mode == QFileDialog::AcceptSave)
        dialog->setOption(QFileDialog::DontConfirmOverwrite);
    dialog->setViewMode(QFileDialog::Detail);
    dialog->setProxyModel(new ChineseFileList(dialog.get()));
    const QStringList filters = toQtFilters(filter);
    if (!filters.isEmpty())
        dialog->setNameFilters(filters);
    // A report saved as "report" means "report.txt" when the only choice is *.txt.
    const QStringList firstPatterns = qtPatterns(filter.section(u'|', 1, 1));
    if (mode == QFileDialog::AcceptSave && !filters.isEmpty() && firstPatterns.size() == 1) {
        static const QRegularExpression oneExtension(QStringLiteral(R"(^\*\.([^*?.\[\]]+)$)"));
        const QRegularExpressionMatch m = oneExtension.match(firstPatterns.first());
        if (m.hasMatch())
            dialog->setDefaultSuffix(m.captured(1));
    }
    return dialog;
}

namespace {

// The chosen file, or empty when cancelled. A dialog that went with its
// parent while it was open (the program ending) is no longer ours to delete.
QString chosenFile(std::unique_ptr<QFileDialog> owned)
{
    const QPointer<QFileDialog> dialog(owned.get());
    const int result = dialog->exec();
    if (!dialog) {
        (void)owned.release();
        return QString();
    }
    return result == QDialog::Accepted ? dialog->selectedFiles().value(0) : QString();
}

} // namespace

QString QtUserDialogs::openFileName(const QString &title, const QString &initialDir, const QString &filter)
{
    return chosenFile(placed(fileDialog(QFileDialog::AcceptOpen, title, initialDir, filter)));
}

QString QtUserDialogs::saveFileName(const QString &title, const QString &presetPath, const QString &filter)
{
    return chosenFile(placed(fileDialog(QFileDialog::AcceptSave, title, presetPath, filter)));
}

std::unique_ptr<QFileDialog> QtUserDialogs::placed(std::unique_ptr<QFileDialog> dialog) const
{
    // File dialogs open where every other dialog does: above the panel,
    // centred on its screen, clear of it.
    stackAbovePanel(dialog.get());
    dialog->adjustSize();
    placeCentredBeside(dialog.get(), visibleAnchor());
    return dialog;
}

int QtUserDialogs::execModal(QDialog *dialog)
{
    stackAbovePanel(dialog);
    // The program's own dialogs have fixed sizes, known before they show.
    dialog->adjustSize();
    placeCentredBeside(dialog, visibleAnchor());
    return dialog->exec();
}
