#include "program/session_end.h"

#include "app/app_context.h"
#include "panel/panel_window.h"

#include <QCoreApplication>
#include <QEvent>

SessionEnd::SessionEnd(AppContext &ctx, Form3 *panel, QObject *parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_panel(panel)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        app->installEventFilter(this);
}

bool SessionEnd::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::Quit || watched != QCoreApplication::instance() || !m_panel)
        return QObject::eventFilter(watched, event);
    // Once the exit is under way the program leaves by itself.
    if (!m_ctx.m.exitAllowed)
        m_panel->sys_exit();
    return true;
}
