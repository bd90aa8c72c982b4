#include "platform/qt/single_instance.h"

#include <QCryptographicHash>
#include <QLocalServer>
#include <QLocalSocket>

namespace {
const QByteArray kShowRequest = "show\n";
constexpr int kTimeoutMs = 1000;
} // namespace

SingleInstance::SingleInstance(const QString &key, QObject *parent)
    : QObject(parent)
    , m_key(key)
{ }

SingleInstance::~SingleInstance() = default;

QString SingleInstance::defaultKey()
{
    // One instance per user and display: a second desktop session of the
    // same user gets its own panel.
    const QByteArray who = qgetenv("USER") + '@' + qgetenv("DISPLAY") + '@' + qgetenv("WAYLAND_DISPLAY");
    return QStringLiteral("korvan-")
        + QString::fromLatin1(QCryptographicHash::hash(who, QCryptographicHash::Sha1).toHex().left(16));
}

bool SingleInstance::handOverToRunningInstance()
{
    QLocalSocket socket;
    socket.connectToServer(m_key);
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    socket.write(kShowRequest);
    if (!socket.waitForBytesWritten(kTimeoutMs))
        return false;
    // Wait for the answer, so the request is known to have arrived.
    return socket.waitForReadyRead(kTimeoutMs) && socket.readAll().startsWith("ok");
}

bool SingleInstance::listen()
{
    // A live instance (perhaps started at the same moment) keeps the name;
    // a socket left behind by one that crashed answers nobody and goes.
    // Probe first: listening with access options would replace a live socket.
    {
        QLocalSocket probe;
        probe.connectToServer(m_key);
        if (probe.waitForConnected(kTimeoutMs))
            return false;
    }
    QLocalServer::removeServer(m_key);
    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!m_server->listen(m_key))
        return false;
    connect(m_server, &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket *client = m_server->nextPendingConnection()) {
            connect(client, &QLocalSocket::disconnected, client, &QObject::deleteLater);
            connect(client, &QLocalSocket::readyRead, this, [this, client] {
                if (!client->canReadLine())
                    return;
                const QByteArray line = client->readLine();
                if (line == kShowRequest) {
                    client->write("ok\n");
                    client->flush();
                    emit activationRequested();
                }
                client->disconnectFromServer();
            });
        }
    });
    return true;
}
