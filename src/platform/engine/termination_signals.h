#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a Qt signal delivered on the thread that
// made this object (a self-pipe read by a QSocketNotifier), so that the
// program can cancel its running file operation the safe way, with the same
// flag the cancel button sets, and leave once it has unwound, instead of
// dying in the middle of a file. One instance per process.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject *parent = nullptr);
    ~TerminationSignals() override;

    // The first termination signal that arrived, 0 while none has.
    static int received();

signals:
    void requested(int signalNumber);

private:
    QSocketNotifier *m_notifier = nullptr;
};
