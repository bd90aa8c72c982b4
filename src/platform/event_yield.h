#pragma once

// Lets the event loop run in the middle of a long handler. Implementations
// may skip a call when the last real yield was only moments ago, so that
// loops over many rows stay fast while the UI stays responsive.
// After a yield, callers re-check what they rely on: rows may be gone.
class EventYield
{
public:
    virtual ~EventYield() = default;
    virtual void yield() = 0;
};
