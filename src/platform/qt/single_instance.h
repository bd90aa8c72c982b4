#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

// Keeps Korvan to one running instance per user and display: the first
// instance listens on a local socket; a later start finds it there, asks it
// to show its main window (or hands it the paths it was started with) and
// leaves.
//
// The socket lives in a folder only its user can enter, so no other user
// can listen on the name first and send our starts away, nor talk to us.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    // key is the socket's full path (or a bare name for the temp folder);
    // an empty key keeps this start to itself: it neither hands over nor
    // listens.
    explicit SingleInstance(const QString &key = defaultKey(), QObject *parent = nullptr);
    ~SingleInstance() override;

    // True when another instance gave the expected answer and was asked to
    // show itself, or to take paths in as a drop when there are any; false
    // when this process should run (nobody answered, or whoever answered
    // does not speak our protocol).
    bool handOverToRunningInstance(const QStringList &paths = QStringList());

    // Becomes the running instance. False when another instance holds the
    // socket (hand over to it) or the socket cannot be made.
    bool listen();

    // The socket path for this user and display, in privateSocketDir();
    // empty when there is no private folder to put it in.
    static QString defaultKey();

    // A folder that only the current user can enter: runtimeDir (the
    // session's $XDG_RUNTIME_DIR) when it is a real directory of ours with
    // mode 0700, otherwise tmpDir/korvan-<uid>, made with mode 0700 when
    // missing. A folder there that is a symbolic link, belongs to someone
    // else or lets others in is refused: the result is then empty.
    static QString privateSocketDir(const QString &runtimeDir, const QString &tmpDir);

signals:
    // Another start asked the running instance to show its main window.
    void activationRequested();
    // Another start handed over the paths it was started with.
    void pathsHandedOver(const QStringList &paths);

private:
    void serve(QLocalSocket *client);

    QString m_key;
    QLocalServer *m_server = nullptr;
};
