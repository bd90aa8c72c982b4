#pragma once

#include <functional>

class QAction;
class QMenu;
class QWidget;

// The panel menu "面板控制器", popped up by the floating panel. The main
// window owns it (Form1::syswork) and handles its entries.
struct PanelMenu
{
    QMenu *menu = nullptr;
    QAction *ocmain = nullptr;
    QAction *allstart = nullptr;
    QAction *allpush = nullptr;
    QAction *updatedisk = nullptr;
    QMenu *updaterunmode = nullptr;
    QAction *upcopy = nullptr;
    QAction *upcut = nullptr;
    QAction *updele = nullptr;
    QAction *st_mode = nullptr;
    QAction *verify = nullptr; // "复制后校验"
    QAction *crnew = nullptr;
    QAction *crtxt = nullptr;
    QAction *about = nullptr;
    QAction *close = nullptr;
};

// What each entry of the panel menu does, in the menu's order.
struct PanelMenuHandlers
{
    std::function<void()> ocmain, allstart, allpush, updatedisk, upcopy, upcut, updele, st_mode, verify, crnew, crtxt,
        about, close;
};

// Builds the panel menu, with its captions and marks, as a child of parent.
PanelMenu buildPanelMenu(QWidget *parent, const PanelMenuHandlers &handlers);
