// The row editor (Frame1): opening a candidate, the mode options, "...",
// "完成" and the commit itself.
#include "candidates/candidate_window.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "candidates/candidate_texts.h"
#include "dialogs/directory_pickers.h"
#include "gui/mode_marks.h"
#include "gui/widget_helpers.h"
#include "model/mode_operation.h"
#include "model/texts.h"
#include "platform/user_dialogs.h"

#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QRadioButton>

int Form7::editedRow() const
{
    if (!Frame1->isEnabled())
        return -1;
    return m_ctx.candidates.positionOf(m_ctx.m.newRow);
}

bool Form7::nextpath()
{
    const QString destination = Combo1->currentText();
    if (destination.isEmpty())
        return false;
    const int pos = editedRow();
    if (pos >= 0) {
        // The mode follows the options shown: "复制" for Option1, "剪贴" for
        // the other two, "删除" for the recycle bin; with no option shown the
        // candidate keeps the mode it has (none), rather than a move nobody saw.
        const bool optionShown = Option1->isChecked() || Option2->isChecked() || Option3->isChecked();
        QString mode = m_ctx.candidates.at(pos).mode;
        if (optionShown)
            mode = Option1->isChecked() ? Texts::ModeCopy : Texts::ModeCut;
        if (destination == Texts::RecycleBin)
            mode = Texts::ModeDelete;
        m_ctx.candidates.setField(pos, MoveTask::Destination, destination);
        m_ctx.candidates.setField(pos, MoveTask::Mode, mode);
        m_ctx.candidates.setField(pos, MoveTask::Remark, Text2->text());
    }
    closeEditor();
    return true;
}

void Form7::closeEditor()
{
    Frame1->setTitle(CandidateTexts::EditorIdle);
    Frame1->setEnabled(false);
}

void Form7::openInEditor(int pos, bool offerDestination)
{
    const CandidateRow &c = m_ctx.candidates.at(pos);
    m_ctx.m.newRow = m_ctx.candidates.refAt(pos);
    // The caption shows the name as it is: an "&" in it is no shortcut.
    Frame1->setTitle(escapeMnemonics(c.name));
    Frame1->setEnabled(true);
    if (offerDestination) {
        if (!c.destination.isEmpty())
            offerToCombo(c.destination);
    } else {
        // An empty entry to choose, leaving whatever the box shows.
        const QString shown = Combo1->currentText();
        Combo1->addItem(QString());
        Combo1->setEditText(shown);
    }
    Text2->setText(c.remark);
    selectModeOption(c.mode);
}

void Form7::offerToCombo(const QString &dest)
{
    if (Combo1->count() == 0)
        Combo1->addItem(dest);
    else if (Combo1->itemText(0).isEmpty())
        Combo1->setItemText(0, dest);
    else
        Combo1->addItem(dest);
    Combo1->setEditText(dest);
}

void Form7::selectModeOption(const QString &mode)
{
    // A candidate with a mode shows it (the row already carries the word,
    // so nothing needs writing back). One without keeps the option shown
    // before, which the commit then gives it: what "完成" writes is what the
    // options show.
    if (isModeWord(mode))
        setModeOptions({Option1, Option2, Option3}, mode);
}

void Form7::clearModeOptions()
{
    ::clearModeOptions({Option1, Option2, Option3});
}

void Form7::closeEditorIfItsRowIsGone()
{
    if (!Frame1->isEnabled() || m_ctx.candidates.positionOf(m_ctx.m.newRow) >= 0)
        return;
    // Nothing is left to commit into: the editor goes idle and keeps nothing
    // of the removed candidate but the destination list.
    closeEditor();
    Text2->clear();
    clearModeOptions();
}

void Form7::writeEditedMode(const QString &mode)
{
    const int pos = editedRow();
    if (pos >= 0)
        m_ctx.candidates.setField(pos, MoveTask::Mode, mode);
}

void Form7::Option1_Click()
{
    writeEditedMode(Texts::ModeCopy);
}

void Form7::Option2_Click()
{
    writeEditedMode(Texts::ModeCut);
}

void Form7::Option3_Click()
{
    writeEditedMode(Texts::ModeDelete);
}

void Form7::Command5_Click()
{
    if (!nextpath()) {
        m_ctx.svc.dialogs->message(CandidateTexts::NoDestinationTyped, Texts::TitleKorvan);
        return;
    }
    Combo1->clear();
    Combo1->clearEditText();
}

void Form7::Command4_Click()
{
    BusyScope busy(m_ctx);
    // A cancelled picker leaves the box as it was.
    const std::optional<QString> chosen = showForm5(m_ctx);
    if (!chosen || m_ctx.m.exitAllowed)
        return;
    offerToCombo(*chosen);
}

void Form7::ListView1_DblClick()
{
    const int pos = selectedRow();
    if (pos < 0)
        return;
    if (Frame1->isEnabled() && !nextpath()) {
        m_ctx.svc.dialogs->message(CandidateTexts::NoDestinationTyped, Texts::TitleKorvan);
        return;
    }
    openInEditor(pos, true);
}
