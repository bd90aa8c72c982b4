#include "platform/throttled_event_yield.h"

#include <QCoreApplication>

ThrottledEventYield::ThrottledEventYield(int intervalMs)
    : m_intervalMs(intervalMs)
{ }

void ThrottledEventYield::yield()
{
    if (m_sinceLast.isValid() && m_sinceLast.elapsed() < m_intervalMs)
        return;
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_sinceLast.start();
}
