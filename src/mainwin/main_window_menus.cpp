// The main window's two popup menus: the queue menu "队列操作" over the
// queue list, and the handlers of the panel menu "面板控制器" (built in
// panel/panel_menu.cpp) that the panel pops up.
#include "mainwin/main_window.h"

#include "app/app_context.h"
#include "app/busy_scope.h"
#include "dialogs/about_box.h"
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

namespace {

// Queue menu captions.
const QString kQueueMenu = QStringLiteral("队列操作");
const QString kChangeDest = QStringLiteral("修改目地地址");
const QString kChangeMode = QStringLiteral("修改移动方式");
const QString kAddRemark = QStringLiteral("添加备份..");
const QString kRemoveRow = QStringLiteral("移除当前记录？");
const QString kClearAll = QStringLiteral("全部清空？");
const QString kTryOut = QStringLiteral("试运行？");
const QString kNoDefaultDest = QStringLiteral("没有默认的目地地址 请输入目地地址！");
const QString kNoDefaultMode = QStringLiteral("没有默认的移动方式 请输入移动方式！");
const QString kRemarkPrompt = QStringLiteral("请输入备注:");

} // namespace

void Form1::buildMenus()
{
    use.menu = new QMenu(kQueueMenu, this);
    use.newfile = addPlainAction(use.menu, Texts::MenuNewTask, [this] { form4show(); });
    use.menu->addSeparator();
    use.readd = addPlainAction(use.menu, kChangeDest, [this] { readd(); });
    use.rerunmode = use.menu->addMenu(kChangeMode);
    use.copy = addMarkAction(use.rerunmode, Texts::ModeCopy, [this] { changeMode(Texts::ModeCopy); });
    use.cut = addMarkAction(use.rerunmode, Texts::ModeCut, [this] { changeMode(Texts::ModeCut); });
    use.redele = addMarkAction(use.rerunmode, Texts::ModeDelete, [this] { changeMode(Texts::ModeDelete); });
    use.ADDMEMO = addPlainAction(use.menu, kAddRemark, [this] { ADDMEMO(); });
    use.menu->addSeparator();
    use.main_strat = addMarkAction(use.menu, Texts::MenuStartAll, [this] { main_strat(); });
    use.main_push = addPlainAction(use.menu, Texts::MenuPauseAll, [this] { main_push(); });
    use.menu->addSeparator();
    use.move = addPlainAction(use.menu, kRemoveRow, [this] { moveRow(); });
    use.allclear = addPlainAction(use.menu, kClearAll, [this] { allclear(); });
    use.menu->addSeparator();
    use.TRYUSE = addPlainAction(use.menu, kTryOut, [this] { TRYUSE(); });

    syswork = buildPanelMenu(this,
                             {[this] { toggleShown(); }, [this] { allstart(); }, [this] { allpush(); },
                              [this] { updatedisk(); }, [this] { setDefaultMode(Texts::ModeCopy); },
                              [this] { setDefaultMode(Texts::ModeCut); }, [this] { setDefaultMode(Texts::ModeDelete); },
                              [this] { st_mode(); }, [this] { verifyAfterCopy(); }, [this] { form4show(); },
                              [this] { crtxt(); }, [this] { about(); }, [this] { closeProgram(); }});
}

void Form1::showNoRecord()
{
    m_ctx.svc.dialogs->message(Texts::NoRecord, Texts::TitleKorvan);
}

int Form1::currentRowOrMessage()
{
    const int pos = m_ctx.queue.positionOf(m_ctx.m.currentRow);
    if (m_ctx.queue.isEmpty() || pos < 0) {
        showNoRecord();
        return -1;
    }
    return pos;
}

void Form1::rshow(const QPoint &globalPos)
{
    use.menu->exec(globalPos);
}

void Form1::form4show()
{
    emit addTaskRequested();
}

void Form1::ListView1_ItemClick(int row)
{
    if (m_ctx.queue.isEmpty() || row < 0 || row >= m_ctx.queue.count())
        return;
    m_ctx.m.currentRow = m_ctx.queue.refAt(row);
    const QString mode = m_ctx.queue.task(row).mode;
    if (isModeWord(mode))
        setModeMarks({use.copy, use.cut, use.redele}, mode);
}

void Form1::readd()
{
    const RowRef ref = m_ctx.m.currentRow;
    if (currentRowOrMessage() < 0)
        return;
    BusyScope busy(m_ctx);
    // A cancelled picker leaves the row's destination as it was.
    const std::optional<QString> chosen = showForm5(m_ctx);
    if (!chosen || m_ctx.m.exitAllowed)
        return;
    // The picker ran its own loop: the row may have gone meanwhile.
    const int pos = m_ctx.queue.positionOf(ref);
    if (pos >= 0)
        m_ctx.queue.setDestination(pos, *chosen);
}

void Form1::changeMode(const QString &mode)
{
    const int pos = currentRowOrMessage();
    if (pos < 0)
        return;
    m_ctx.queue.pd_run_mode(pos);
    setModeMarks({use.copy, use.cut, use.redele}, mode);
    m_ctx.queue.setMode(pos, mode);
    m_ctx.queue.pd2over_run_mode(pos);
}

void Form1::main_strat()
{
    setMark(syswork.allstart, true);
    setMark(use.main_strat, true);
    emit runRequested();
}

void Form1::main_push()
{
    setMark(use.main_strat, false);
    setMark(syswork.allstart, false);
    m_ctx.m.pauseFlag = true;
}

void Form1::moveRow()
{
    const int pos = currentRowOrMessage();
    if (pos < 0)
        return;
    m_ctx.queue.removeTask(pos);
    // The list moved its highlight to a neighbour, which nobody clicked: the
    // removed row was the current one, so no row is current now, and none is
    // shown as such.
    m_ctx.m.currentRow = NoRow;
    ListView1->selectionModel()->clear();
}

void Form1::allclear()
{
    m_ctx.queue.clearQueue();
}

void Form1::ADDMEMO()
{
    const RowRef ref = m_ctx.m.currentRow;
    if (currentRowOrMessage() < 0)
        return;
    BusyScope busy(m_ctx);
    // Cancel keeps the remark; an empty text accepted clears it.
    const std::optional<QString> remark = m_ctx.svc.dialogs->inputBox(kRemarkPrompt, Texts::TitleKorvan, QString());
    if (!remark || m_ctx.m.exitAllowed)
        return;
    const int pos = m_ctx.queue.positionOf(ref);
    if (pos >= 0)
        m_ctx.queue.setRemark(pos, *remark);
}

void Form1::TRYUSE()
{
    const QModelIndexList selected = ListView1->selectionModel()->selectedRows();
    if (m_ctx.queue.isEmpty() || selected.isEmpty() || selected.first().row() >= m_ctx.queue.count()) {
        showNoRecord();
        return;
    }
    m_ctx.svc.shell->openPath(m_ctx.queue.task(selected.first().row()).sourcePath);
}

void Form1::allstart()
{
    setMark(use.main_strat, true);
    emit runRequested();
}

void Form1::allpush()
{
    // The panel menu's "全部暂停" is the queue menu's.
    main_push();
}

void Form1::updatedisk()
{
    showForm5(m_ctx);
}

void Form1::setDefaultMode(const QString &mode)
{
    setDefaultModeMarks(mode);
    m_ctx.m.setDefaultMode(mode);
}

void Form1::setDefaultModeMarks(const QString &mode)
{
    setModeMarks({syswork.upcopy, syswork.upcut, syswork.updele}, mode);
}

void Form1::st_mode()
{
    if (m_ctx.m.defaultDest.isEmpty()) {
        m_ctx.svc.dialogs->message(kNoDefaultDest, Texts::TitleKorvan);
        return;
    }
    if (m_ctx.m.defaultMode.isEmpty()) {
        m_ctx.svc.dialogs->message(kNoDefaultMode, Texts::TitleKorvan);
        return;
    }
    setMark(syswork.st_mode, !syswork.st_mode->isChecked());
    // One switch, two faces: the add-task dialog's default box follows the
    // mark, so switching the defaults off here ends them wherever they came from.
    emit defaultsSwitched(syswork.st_mode->isChecked());
}

void Form1::verifyAfterCopy()
{
    // Off at start; holds for every copy and move started from now on.
    setMark(syswork.verify, !syswork.verify->isChecked());
    m_ctx.svc.engine->setVerifyAfterCopy(syswork.verify->isChecked());
}

void Form1::about()
{
    showForm6(m_ctx);
}

void Form1::closeProgram()
{
    emit exitRequested();
}
