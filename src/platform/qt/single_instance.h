#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// Keeps Korvan to one running instance per user and display: the first
// instance listens on a local socket; a later start finds it there, asks it
// to show its main window and leaves.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(const QString &key = defaultKey(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when another instance answered and was asked to show itself;
    // false when this process is now the running instance.
    bool handOverToRunningInstance();

    // Becomes the running instance. False when another instance holds the
    // socket (hand over to it) or the socket cannot be made.
    bool listen();

    // The socket name for this user and display.
    static QString defaultKey();

signals:
    // Another start asked the running instance to show its main window.
    void activationRequested();

private:
    QString m_key;
    QLocalServer *m_server = nullptr;
};
