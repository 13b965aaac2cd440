#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>

// One running copy per user. The first start holds a lock file in the user's runtime folder and
// listens on a local socket beside it; a later start finds the lock taken, asks the first
// through the socket to come forward (handing over the files it was given), and exits.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& name = QStringLiteral("LumoCompress"),
                            QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this process is the first: it then holds the lock and listens for later starts.
    bool Acquire();

    // Asks the running instance to come forward, retrying while it is still starting; true when
    // it confirmed within timeoutMs.
    bool ActivateRunning(int timeoutMs = 1500);
    // The same, handing over files for the running instance to open (absolute paths; any
    // character may appear in them).
    bool HandOver(const QStringList& paths, int timeoutMs = 1500);

    QString LockPath() const;
    QString SocketPath() const;

signals:
    // A later start handed over these files; activationRequested follows.
    void filesHanded(const QStringList& paths);
    // A later start asked this instance to come forward.
    void activationRequested();

private:
    void OnNewConnection();

    QString name_;
    QLockFile lock_;
    QLocalServer server_;
};
