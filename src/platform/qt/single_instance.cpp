#include "platform/qt/single_instance.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QVariant>

#include <algorithm>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Both lines name the program, so a socket of some other program that
// happens to answer (an echo, a greeting) is never taken for ours.
const QByteArray kShowRequest = "korvan show\n";
const QByteArray kShownAnswer = "korvan shown\n";
// Paths follow this line, one per line as the bytes of the file name in
// Base64 (a name may hold any byte but "/" and NUL, a line break included),
// up to an empty line.
const QByteArray kTakeRequest = "korvan take\n";
const QByteArray kTakenAnswer = "korvan taken\n";
constexpr int kTimeoutMs = 1000;
// Tens of thousands of long paths fit; a peer sending more is cut off.
constexpr qint64 kMaxRequestBytes = 64 * 1024 * 1024;
// The longest answer either request gets.
const qsizetype kLongestAnswer = std::max(kShownAnswer.size(), kTakenAnswer.size());

QByteArray takeRequest(const QStringList &paths)
{
    QByteArray request = kTakeRequest;
    for (const QString &path : paths)
        request += QFile::encodeName(path).toBase64() + '\n';
    return request + '\n';
}

// A directory (not a link to one) owned by us that nobody else may enter.
bool isPrivateDir(const QString &path)
{
    struct stat st
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() && (st.st_mode & 077) == 0;
}

// Reads one line within the time left; empty when none came.
QByteArray readAnswer(QLocalSocket &socket)
{
    const QDeadlineTimer deadline(kTimeoutMs);
    while (!socket.canReadLine()) {
        if (socket.bytesAvailable() > kLongestAnswer || deadline.hasExpired()
            || !socket.waitForReadyRead(int(deadline.remainingTime())))
            return QByteArray();
    }
    return socket.readLine(kLongestAnswer + 1);
}

} // namespace

SingleInstance::SingleInstance(const QString &key, QObject *parent)
    : QObject(parent)
    , m_key(key)
{ }

SingleInstance::~SingleInstance() = default;

QString SingleInstance::privateSocketDir(const QString &runtimeDir, const QString &tmpDir)
{
    if (!runtimeDir.isEmpty() && QDir::isAbsolutePath(runtimeDir) && isPrivateDir(runtimeDir))
        return QDir::cleanPath(runtimeDir);
    // No usable runtime folder: one of our own under the temp folder. mkdir
    // never follows a link, and whatever was there before us must prove to
    // be ours and closed to others.
    const QString dir = QDir::cleanPath(tmpDir) + QStringLiteral("/korvan-") + QString::number(::geteuid());
    if (::mkdir(QFile::encodeName(dir).constData(), 0700) != 0 && errno != EEXIST)
        return QString();
    return isPrivateDir(dir) ? dir : QString();
}

QString SingleInstance::defaultKey()
{
    const QString dir = privateSocketDir(qEnvironmentVariable("XDG_RUNTIME_DIR"), QDir::tempPath());
    if (dir.isEmpty())
        return QString();
    // One instance per display: a second desktop session of the same user
    // gets its own panel.
    const QByteArray display = qgetenv("DISPLAY") + '@' + qgetenv("WAYLAND_DISPLAY");
    return dir + QStringLiteral("/korvan-")
        + QString::fromLatin1(QCryptographicHash::hash(display, QCryptographicHash::Sha1).toHex().left(16));
}

bool SingleInstance::handOverToRunningInstance(const QStringList &paths)
{
    if (m_key.isEmpty())
        return false;
    QLocalSocket socket;
    socket.connectToServer(m_key);
    if (!socket.waitForConnected(kTimeoutMs))
        return false;
    const QByteArray request = paths.isEmpty() ? kShowRequest : takeRequest(paths);
    socket.write(request);
    // A long list takes several rounds to go out.
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(kTimeoutMs))
            return false;
    }
    // Only the answer of a running Korvan tells that the request arrived.
    return readAnswer(socket) == (paths.isEmpty() ? kShownAnswer : kTakenAnswer);
}

bool SingleInstance::listen()
{
    if (m_key.isEmpty())
        return false;
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
            connect(client, &QLocalSocket::readyRead, this, [this, client] { serve(client); });
        }
    });
    return true;
}

void SingleInstance::serve(QLocalSocket *client)
{
    const qsizetype requestLength = std::max(kShowRequest.size(), kTakeRequest.size());
    if (client->property("korvanTaking").toBool()) {
        // The paths come until an empty line; the request is read whole
        // before anything is taken, so a start that breaks off hands nothing.
        if (client->bytesAvailable() > kMaxRequestBytes) {
            client->abort();
            return;
        }
        const QByteArray pending = client->peek(client->bytesAvailable());
        const qsizetype end = pending.startsWith('\n') ? 0 : pending.indexOf("\n\n");
        if (end < 0)
            return;
        const QByteArray body = client->read(end + (end == 0 ? 1 : 2));
        QStringList paths;
        for (const QByteArray &line : body.split('\n')) {
            if (line.isEmpty())
                continue;
            const auto decoded = QByteArray::fromBase64Encoding(line, QByteArray::AbortOnBase64DecodingErrors);
            if (!decoded || decoded.decoded.isEmpty() || decoded.decoded.contains('\0')) {
                client->abort();
                return;
            }
            paths << QFile::decodeName(decoded.decoded);
        }
        client->write(kTakenAnswer);
        client->flush();
        client->disconnectFromServer();
        if (!paths.isEmpty())
            emit pathsHandedOver(paths);
        return;
    }
    if (!client->canReadLine() && client->bytesAvailable() <= requestLength)
        return;
    const QByteArray line = client->readLine(requestLength + 1);
    if (line == kTakeRequest) {
        client->setProperty("korvanTaking", true);
        serve(client);
        return;
    }
    if (line == kShowRequest) {
        client->write(kShownAnswer);
        client->flush();
        emit activationRequested();
    }
    client->disconnectFromServer();
}
