#pragma once

class AppContext;

// Held by every handler that lets the event loop run: the program's exit
// waits until the last one has unwound.
class BusyScope
{
public:
    explicit BusyScope(AppContext &ctx);
    ~BusyScope();
    BusyScope(const BusyScope &) = delete;
    BusyScope &operator=(const BusyScope &) = delete;

private:
    AppContext &m_ctx;
};
