// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <thread>

#include "core/net/UpgradeCheck.h"

class QWidget;

// The upgrade as the user meets it: the silent check at start-up, the check of the menu's
// upgrade entry, the announcement "发现新版本啦!" and the download window. Every window opens on
// the UI thread; the start-up check runs on its own thread and hands an announcement over.
// Lives as a child of the main window.
class Upgrader : public QObject {
    Q_OBJECT
public:
    // mainWindow: the parent of the windows and the receiver of UM_NETWORK_ERROR and
    // UM_UPGRADE_FAILED. endProgram: ends the program after the installer has been started, or
    // when a forced upgrade is cancelled. serviceAddress: the service's web server; empty means
    // ServiceAddress() at each check. mayEnd: asked before the installer runs (it may ask the
    // user); false leaves the program running and the installer unrun. None: always true.
    Upgrader(QWidget* mainWindow, std::function<void()> endProgram,
             const QString& serviceAddress = QString(), std::function<bool()> mayEnd = nullptr);
    // Stops a running start-up check and waits for its thread (about a second at most).
    ~Upgrader() override;

    // The start-up check: on its own thread; says nothing unless a newer version exists, nor
    // when the system's package manager installed the program.
    void StartBackgroundCheck();
    // The menu's check, on the UI thread (blocks it for the request); also tells the user when
    // there is no newer version.
    void CheckNow();
    // Announces the offer and, when the user agrees (or the upgrade is forced), downloads it.
    // A program installed by the system's package manager is never replaced by an installer:
    // the announcement says to update through the package manager, and nothing is downloaded.
    void Prompt(const UpgradeOffer& offer);

    // Where the program is installed, for the package manager's check: its executable, and the
    // root the package database is under. By default this executable and "/"; tests point it
    // into a made-up tree. Set it before StartBackgroundCheck.
    void SetInstallation(const QString& executable, const QString& root);

private:
    QString Address() const;

    QWidget* mainWindow_;
    std::function<void()> endProgram_;
    QString serviceAddress_;
    std::function<bool()> mayEnd_;
    QString executable_;
    QString root_ = QStringLiteral("/");
    bool prompting_ = false;
    std::jthread startupCheck_;
};
