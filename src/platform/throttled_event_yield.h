#pragma once

#include "platform/event_yield.h"

#include <QElapsedTimer>

// Lets the event loop run, but at most once every few milliseconds: loops
// over thousands of rows stay fast while input and painting stay live.
class ThrottledEventYield : public EventYield
{
public:
    explicit ThrottledEventYield(int intervalMs = 4);
    void yield() override;

private:
    QElapsedTimer m_sinceLast;
    int m_intervalMs;
};
