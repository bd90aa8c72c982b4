#include "platform/qt/qt_user_dialogs.h"

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
    return chosenFile(fileDialog(QFileDialog::AcceptOpen, title, initialDir, filter));
}

QString QtUserDialogs::saveFileName(const QString &title, const QString &presetPath, const QString &filter)
{
    return chosenFile(fileDialog(QFileDialog::AcceptSave, title, presetPath, filter));
}

int QtUserDialogs::execModal(QDialog *dialog)
{
    return dialog->exec();
}
