#include "core/platform/SingleInstance.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>
#include <QThread>

namespace {

constexpr char kActivate[] = "activate\n";
constexpr char kAnswer[] = "ok\n";

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
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        QLocalSocket socket;
        socket.connectToServer(SocketPath());
        if (socket.waitForConnected(static_cast<int>(deadline.remainingTime()))) {
            socket.write(kActivate);
            socket.waitForBytesWritten(static_cast<int>(deadline.remainingTime()));
            while (!socket.canReadLine() &&
                   socket.waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
            }
            return socket.readLine() == kAnswer;
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
            if (!socket->canReadLine()) return;
            if (socket->readLine() == kActivate) {
                emit activationRequested();
                socket->write(kAnswer);
                socket->flush();
            }
            socket->disconnectFromServer();
        });
    }
}
