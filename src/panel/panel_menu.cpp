#include "panel/panel_menu.h"

#include "gui/widget_helpers.h"
#include "model/texts.h"

#include <QMenu>

namespace {

const QString kPanelMenu = QStringLiteral("面板控制器");
const QString kToggleMain = QStringLiteral("(打开/关闭)主窗口");
const QString kSetDest = QStringLiteral("重新设置目地地址");
const QString kSetMode = QStringLiteral("重新设置运行方式");
const QString kUseDefaults = QStringLiteral("开启默认设置");
const QString kVerify = QStringLiteral("复制后校验");
const QString kReport = QStringLiteral("生成报表");
const QString kAbout = QStringLiteral("关于...");
const QString kClose = QStringLiteral("关闭");

} // namespace

PanelMenu buildPanelMenu(QWidget *parent, const PanelMenuHandlers &h)
{
    PanelMenu m;
    m.menu = new QMenu(kPanelMenu, parent);
    m.ocmain = addPlainAction(m.menu, kToggleMain, h.ocmain);
    m.menu->addSeparator();
    m.allstart = addMarkAction(m.menu, Texts::MenuStartAll, h.allstart);
    m.allpush = addPlainAction(m.menu, Texts::MenuPauseAll, h.allpush);
    m.menu->addSeparator();
    m.updatedisk = addPlainAction(m.menu, kSetDest, h.updatedisk);
    m.updaterunmode = m.menu->addMenu(kSetMode);
    m.upcopy = addMarkAction(m.updaterunmode, Texts::ModeCopy, h.upcopy);
    m.upcut = addMarkAction(m.updaterunmode, Texts::ModeCut, h.upcut);
    m.updele = addMarkAction(m.updaterunmode, Texts::ModeDelete, h.updele);
    m.st_mode = addMarkAction(m.menu, kUseDefaults, h.st_mode);
    m.verify = addMarkAction(m.menu, kVerify, h.verify);
    m.menu->addSeparator();
    m.crnew = addPlainAction(m.menu, Texts::MenuNewTask, h.crnew);
    m.crtxt = addPlainAction(m.menu, kReport, h.crtxt);
    m.menu->addSeparator();
    m.about = addPlainAction(m.menu, kAbout, h.about);
    m.menu->addSeparator();
    m.close = addPlainAction(m.menu, kClose, h.close);
    return m;
}
