// The candidate list's popup menu "候选操作" and the list's mouse handling.
#include "candidates/candidate_window.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "candidates/candidate_texts.h"
#include "dialogs/directory_pickers.h"
#include "gui/mode_marks.h"
#include "gui/widget_helpers.h"
#include "model/mode_operation.h"
#include "model/texts.h"
#include "platform/shell_open.h"
#include "platform/user_dialogs.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QMenu>
#include <QTreeView>

void Form7::buildMenu()
{
    using namespace CandidateTexts;
    CandidateMenu &m = BLACKWORK;
    m.menu = new QMenu(Menu, this);
    m.rddisk = addPlainAction(m.menu, MenuChangeDest, [this] { rddisk(); });
    m.rdrunmode = m.menu->addMenu(MenuChangeMode);
    m.copy = addMarkAction(m.rdrunmode, Texts::ModeCopy, [this] { changeMode(Texts::ModeCopy); });
    m.cut = addMarkAction(m.rdrunmode, Texts::ModeCut, [this] { changeMode(Texts::ModeCut); });
    m.redele = addMarkAction(m.rdrunmode, Texts::ModeDelete, [this] { changeMode(Texts::ModeDelete); });
    m.rememo = addPlainAction(m.menu, MenuChangeRemark, [this] { rememo(); });
    m.f1 = m.menu->addSeparator();
    m.recls = addPlainAction(m.menu, MenuRemoveRow, [this] { recls(); });
    m.reclose = addPlainAction(m.menu, MenuClearAll, [this] { reclose(); });
    m.f2 = m.menu->addSeparator();
    m.TRYUSE = addPlainAction(m.menu, MenuTryOut, [this] { TRYUSE(); });
}

void Form7::setMarks(const QString &mode)
{
    if (isModeWord(mode))
        setModeMarks({BLACKWORK.copy, BLACKWORK.cut, BLACKWORK.redele}, mode);
}

bool Form7::haveCandidatesOrMessage()
{
    if (!m_ctx.candidates.isEmpty())
        return true;
    showNoRecord();
    return false;
}

int Form7::selectedRow() const
{
    const QModelIndexList rows = ListView1->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return -1;
    const int pos = rows.first().row();
    return pos < m_ctx.candidates.count() ? pos : -1;
}

void Form7::ListView1_ItemClick(int row)
{
    if (row < 0 || row >= m_ctx.candidates.count())
        return;
    m_ctx.m.currentCandidate = m_ctx.candidates.refAt(row);
    setMarks(m_ctx.candidates.at(row).mode);
}

void Form7::ListView1_MouseDown(Qt::MouseButton button, const QPoint &viewportPos)
{
    if (m_ctx.candidates.isEmpty()) {
        showNoRecord();
        return;
    }
    if (button != Qt::RightButton)
        return;
    // The menu acts on the row under the pointer.
    const QModelIndex index = ListView1->indexAt(viewportPos);
    if (index.isValid()) {
        ListView1->setCurrentIndex(index);
        ListView1_ItemClick(index.row());
    }
    showMenu(ListView1->viewport()->mapToGlobal(viewportPos));
}

void Form7::showMenu(const QPoint &globalPos)
{
    BLACKWORK.menu->popup(globalPos);
}

void Form7::rddisk()
{
    if (!haveCandidatesOrMessage())
        return;
    if (m_ctx.candidates.positionOf(m_ctx.m.currentCandidate) < 0) {
        showNoRecord();
        return;
    }
    BusyScope busy(m_ctx);
    // A cancelled picker leaves the candidate's destination as it was.
    const std::optional<QString> chosen = showForm5(m_ctx);
    if (!chosen || m_ctx.m.exitAllowed)
        return;
    const int pos = m_ctx.candidates.positionOf(m_ctx.m.currentCandidate);
    if (pos >= 0)
        m_ctx.candidates.setField(pos, MoveTask::Destination, *chosen);
}

void Form7::changeMode(const QString &mode)
{
    if (!haveCandidatesOrMessage())
        return;
    const int pos = selectedRow();
    if (pos < 0) {
        showNoRecord();
        return;
    }
    setMarks(mode);
    m_ctx.candidates.setField(pos, MoveTask::Mode, mode);
    // Copy and cut need a new destination; a delete keeps whatever it had.
    if (mode != Texts::ModeDelete)
        m_ctx.candidates.setField(pos, MoveTask::Destination, QString());
}

void Form7::rememo()
{
    if (!haveCandidatesOrMessage())
        return;
    if (m_ctx.candidates.positionOf(m_ctx.m.currentCandidate) < 0) {
        showNoRecord();
        return;
    }
    BusyScope busy(m_ctx);
    // Cancel keeps the remark; an empty text accepted clears it.
    const std::optional<QString> remark = m_ctx.svc.dialogs->inputBox(CandidateTexts::RemarkPrompt, Texts::TitleKorvan,
                                                                      QString());
    if (!remark || m_ctx.m.exitAllowed)
        return;
    const int pos = m_ctx.candidates.positionOf(m_ctx.m.currentCandidate);
    if (pos >= 0)
        m_ctx.candidates.setField(pos, MoveTask::Remark, *remark);
}

void Form7::recls()
{
    if (!haveCandidatesOrMessage())
        return;
    const int pos = selectedRow();
    if (pos < 0) {
        showNoRecord();
        return;
    }
    m_ctx.candidates.removeAt(pos);
}

void Form7::reclose()
{
    m_ctx.candidates.clear();
}

void Form7::TRYUSE()
{
    if (!haveCandidatesOrMessage())
        return;
    const int pos = selectedRow();
    if (pos < 0) {
        showNoRecord();
        return;
    }
    m_ctx.svc.shell->openPath(m_ctx.candidates.at(pos).sourcePath);
}
