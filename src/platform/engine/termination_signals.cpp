#include "platform/engine/termination_signals.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};
volatile sig_atomic_t g_received = 0;

void onSignal(int signalNumber)
{
    // Only async-signal-safe calls here: note it, and wake the event loop.
    const int savedErrno = errno;
    if (g_received == 0)
        g_received = signalNumber;
    const char byte = char(signalNumber);
    if (write(g_pipe[1], &byte, 1) < 0) {
        // The pipe is full: a wake-up is already pending.
    }
    errno = savedErrno;
}

} // namespace

TerminationSignals::TerminationSignals(QObject *parent)
    : QObject(parent)
{
    if (g_pipe[0] < 0 && pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return; // signals keep their default action
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, [this] {
        char buffer[16];
        ssize_t n;
        int last = 0;
        while ((n = read(g_pipe[0], buffer, sizeof buffer)) > 0)
            last = buffer[n - 1];
        if (last != 0)
            emit requested(last);
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

TerminationSignals::~TerminationSignals()
{
    signal(SIGINT, SIG_DFL);
    signal(SIGTERM, SIG_DFL);
}

int TerminationSignals::received()
{
    return g_received;
}
