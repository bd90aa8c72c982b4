#include "app/app_context.h"

#include "app/busy_scope.h"
#include "platform/file_operation.h"

#include <QCoreApplication>
#include <QTimer>

AppContext::AppContext(const Services &services)
    : svc(services)
{ }

AppContext::~AppContext() = default;

bool AppContext::fileOperationBusy() const
{
    return (svc.engine && svc.engine->isRunning()) || queueRunning();
}

bool AppContext::queueRunning() const
{
    return runner.isRunning();
}

void AppContext::quitNowOrWhenIdle()
{
    if (busyDepth > 0) {
        quitWhenIdle = true;
        return;
    }
    // Leave through the main loop, never from inside a handler's own loop.
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
}

BusyScope::BusyScope(AppContext &ctx)
    : m_ctx(ctx)
{
    ++m_ctx.busyDepth;
}

BusyScope::~BusyScope()
{
    if (--m_ctx.busyDepth == 0 && m_ctx.quitWhenIdle) {
        m_ctx.quitWhenIdle = false;
        m_ctx.quitNowOrWhenIdle();
    }
}
