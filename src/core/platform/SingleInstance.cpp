// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

#include <optional>

namespace {

// One line per request: "activate", or a word that opens and each path as base64, so that
// blanks and line breaks in names travel intact. "open2" carries each path's own bytes; "open",
// from the previous version, the UTF-8 of its text (a name that is not UTF-8 arrives with
// replacement characters, as that version sent it).
constexpr char kActivate[] = "activate\n";
constexpr char kOpenBytes[] = "open2";
constexpr char kOpenText[] = "open";
constexpr char kAnswer[] = "ok\n";
// A request line longer than this is refused (thousands of long paths fit).
constexpr qint64 kMaxRequestBytes = 16 * 1024 * 1024;

QByteArray Request(const QList<QByteArray>& paths, bool asText)
{
    if (paths.isEmpty()) return kActivate;
    QByteArray line = asText ? kOpenText : kOpenBytes;
    for (const QByteArray& path : paths)
        line += ' ' + (asText ? QFile::decodeName(path).toUtf8() : path).toBase64();
    return line + '\n';
}

// The paths of an "open" line as bytes; nullopt when the line is no request.
std::optional<QList<QByteArray>> ParseRequest(QByteArray line)
{
    if (line == kActivate) return QList<QByteArray>();
    if (!line.endsWith('\n')) return std::nullopt;
    line.chop(1);
    const QList<QByteArray> words = line.split(' ');
    const bool bytes = words.first() == kOpenBytes;
    if (!bytes && words.first() != kOpenText) return std::nullopt;
    QList<QByteArray> paths;
    for (qsizetype i = 1; i < words.size(); ++i) {
        const QByteArray::FromBase64Result decoded =
            QByteArray::fromBase64Encoding(words[i], QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded || decoded.decoded.isEmpty() || decoded.decoded.contains('\0'))
            return std::nullopt;
        paths << (bytes ? decoded.decoded : QFile::encodeName(QString::fromUtf8(decoded.decoded)));
    }
    return paths;
}

QString RuntimeFolder()
{
    QString folder = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (folder.isEmpty()) folder = QDir::tempPath();
    QDir().mkpath(folder);
    return folder;
}

}  // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), name_(name), lock_(RuntimeFolder() + "/" + name + ".lock")
{
    lock_.setStaleLockTime(0);  // a lock is stale only when its process is gone
    connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::OnNewConnection);
}

SingleInstance::~SingleInstance()
{
    server_.close();
    if (lock_.isLocked()) lock_.unlock();
}

QString SingleInstance::LockPath() const
{
    return RuntimeFolder() + "/" + name_ + ".lock";
}

QString SingleInstance::SocketPath() const
{
    return RuntimeFolder() + "/" + name_ + ".socket";
}

bool SingleInstance::Acquire()
{
    if (!lock_.tryLock(0)) return false;
    // Holding the lock, any socket left behind belongs to a copy that died.
    QLocalServer::removeServer(SocketPath());
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(SocketPath());
    return true;
}

bool SingleInstance::ActivateRunning(int timeoutMs)
{
    return HandOver(QList<QByteArray>(), timeoutMs);
}

bool SingleInstance::HandOver(const QList<QByteArray>& nativePaths, int timeoutMs)
{
    const QDeadlineTimer deadline(timeoutMs);
    bool asText = false;
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            socket.write(Request(nativePaths, asText));
            socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
            while (!socket.canReadLine() &&
                   socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            }
            if (socket.readLine() == kAnswer) return true;
            // The previous version closes on a line it does not know, unanswered: it is asked
            // once more in its own words.
            if (asText || nativePaths.isEmpty() || deadline.hasExpired()) return false;
            asText = true;
            continue;
        }
        // The first copy may hold the lock but not listen yet.
        QThread::msleep(50);
    }
    return false;
}

void SingleInstance::OnNewConnection()
{
    while (QLocalSocket* socket = server_.nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
            if (!socket->canReadLine()) {
                if (socket->bytesAvailable() > kMaxRequestBytes) socket->disconnectFromServer();
                return;
            }
            const auto paths = ParseRequest(socket->readLine());
            // The later start is answered first: it need not wait for the files to be taken in.
            if (paths) {
                socket->write(kAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
            if (!paths) return;
            if (!paths->isEmpty()) emit filesHanded(*paths);
            emit activationRequested();
        });
    }
}
