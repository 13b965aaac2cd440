// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/net/Upgrader.h"

#include <glog/logging.h>
#include <QCoreApplication>
#include <QPointer>
#include <QWidget>
#include <exception>

#include "core/app/Language.h"
#include "core/app/ServiceAddress.h"
#include "core/net/PackageInstall.h"
#include "gui/net/DownloadDialog.h"
#include "gui/ui/MessageBoxDialog.h"
#include "gui/ui/PromptBoxDialog.h"
#include "gui/ui/WindowMessages.h"

namespace {

constexpr char kNewVersionText[] = QT_TRANSLATE_NOOP("LumoCompress", "发现新版本啦!");
constexpr char kNoNewVersionText[] = QT_TRANSLATE_NOOP("LumoCompress", "没有发现新版本!");

QString ThroughPackageManagerText(const std::string& version)
{
    return Texts::tr(
               "发现新版本 %1！本程序是通过系统的软件包管理器安装的，请用它来更新（例如 "
               "sudo apt update && sudo apt upgrade）。")
        .arg(QString::fromStdString(version));
}

}  // namespace

Upgrader::Upgrader(QWidget* mainWindow, std::function<void()> endProgram,
                   const QString& serviceAddress, std::function<bool()> mayEnd)
    : QObject(mainWindow),
      mainWindow_(mainWindow),
      endProgram_(std::move(endProgram)),
      serviceAddress_(serviceAddress),
      mayEnd_(std::move(mayEnd)),
      executable_(QCoreApplication::applicationFilePath())
{
}

void Upgrader::SetInstallation(const QString& executable, const QString& root)
{
    executable_ = executable;
    root_ = root;
}

Upgrader::~Upgrader()
{
    startupCheck_.request_stop();
    if (startupCheck_.joinable()) startupCheck_.join();
}

QString Upgrader::Address() const
{
    return serviceAddress_.isEmpty() ? ServiceAddress() : serviceAddress_;
}

void Upgrader::StartBackgroundCheck()
{
    if (startupCheck_.joinable()) return;
    startupCheck_ = std::jthread(
        [this, address = Address(), executable = executable_, root = root_](std::stop_token stop) {
            const UpgradeCheckResult result = CheckForUpgrade(address, stop);
            if (stop.stop_requested() || result.outcome != UpgradeCheckResult::Outcome::NewVersion)
                return;
            // A packaged program hears of new versions from its package manager; the menu's check
            // still tells how to update.
            if (!OwningPackage(executable, root).isEmpty()) {
                LOG(INFO) << "version " << result.offer.version << " offered to a packaged program";
                return;
            }
            // Queued to this object: dropped if it is gone before the UI thread gets to it.
            QMetaObject::invokeMethod(
                this, [this, offer = result.offer] { Prompt(offer); }, Qt::QueuedConnection);
        });
}

void Upgrader::CheckNow()
{
    if (prompting_) return;
    const UpgradeCheckResult result = CheckForUpgrade(Address());
    switch (result.outcome) {
        case UpgradeCheckResult::Outcome::NewVersion:
            Prompt(result.offer);
            break;
        case UpgradeCheckResult::Outcome::UpToDate:
            PromptBoxDialog::Show(mainWindow_, language::Tr(kNoNewVersionText));
            break;
        case UpgradeCheckResult::Outcome::Failed:
            break;
    }
}

void Upgrader::Prompt(const UpgradeOffer& offer)
{
    // One announcement at a time: the start-up check and the menu may both find the version.
    if (prompting_) return;
    prompting_ = true;
    const QPointer<Upgrader> self(this);
    if (const QString package = OwningPackage(executable_, root_); !package.isEmpty()) {
        LOG(INFO) << "version " << offer.version << " offered; installed by the package "
                  << package.toStdString() << ", so no installer is run";
        PromptBoxDialog::Show(mainWindow_, ThroughPackageManagerText(offer.version));
        if (self) prompting_ = false;
        return;
    }
    const int force = offer.force;
    bool agreed = true;
    if (force != 0) {
        PromptBoxDialog::Show(mainWindow_, language::Tr(kNewVersionText));
    } else {
        agreed = MessageBoxDialog::Ask(mainWindow_, language::Tr(kNewVersionText)) != 0;
    }
    if (!self) return;  // the main window went while the question was open
    if (!agreed) {
        prompting_ = false;
        return;
    }

    auto* dialog =
        new DownloadDialog(mainWindow_, QString::fromStdString(offer.downloadUrl), force,
                           QString::fromStdString(offer.sha256),
                           QString::fromStdString(offer.signatureUrl), endProgram_, mayEnd_);
    try {
        dialog->Create();
    } catch (const std::exception& error) {
        LOG(ERROR) << "download window: " << error.what();
        delete dialog;
        skin::PostMessage(mainWindow_, UM_UPGRADE_FAILED);
        prompting_ = false;
        return;
    }
    dialog->CenterWindow();
    dialog->ShowModal();
    if (self) prompting_ = false;
}
