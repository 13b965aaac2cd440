// SPDX-License-Identifier: GPL-3.0-or-later
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
    // The same, handing over files for the running instance to open: absolute paths as the
    // system's bytes, which need not be UTF-8 (any byte but NUL may appear in them). A running
    // instance of the previous version, which reads only UTF-8 text, is handed the paths as text.
    bool HandOver(const QList<QByteArray>& nativePaths, int timeoutMs = 1500);

    QString LockPath() const;
    QString SocketPath() const;

signals:
    // A later start handed over these files (their bytes); activationRequested follows.
    void filesHanded(const QList<QByteArray>& nativePaths);
    // A later start asked this instance to come forward.
    void activationRequested();

private:
    void OnNewConnection();

    QString name_;
    QLockFile lock_;
    QLocalServer server_;
};
