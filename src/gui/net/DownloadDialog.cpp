// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/net/DownloadDialog.h"

#include <glog/logging.h>
#include <QLabel>
#include <QProgressBar>
#include <QUrl>
#include <stdexcept>

#include "core/app/Language.h"
#include "core/net/InstallerLaunch.h"
#include "gui/ui/WindowMessages.h"

DownloadDialog::DownloadDialog(QWidget* owner, const QString& address, int force,
                               const QString& sha256, const QString& signatureAddress,
                               std::function<void()> endProgram, std::function<bool()> mayEnd)
    : WindowImplBase(owner, Kind::Dialog),
      owner_(owner),
      address_(address),
      force_(force),
      sha256_(sha256),
      signatureAddress_(signatureAddress),
      endProgram_(std::move(endProgram)),
      mayEnd_(std::move(mayEnd))
{
}

DownloadDialog::~DownloadDialog()
{
    // Normally the thread has ended before the object goes (see OnFinalMessage); when the owner
    // deletes the dialog earlier, the download is stopped and waited for, as it uses this object.
    cancelled_ = true;
    if (thread_.joinable()) thread_.join();
}

void DownloadDialog::InitWindow()
{
    text_ = FindControl<QLabel>("download-text");
    slider_ = FindControl<QProgressBar>("download-slider");
    if (!FindControl("cancel") || !text_ || !slider_)
        throw std::runtime_error("DownloadDialog::Init");
    slider_->setRange(0, 100);

    thread_ = std::jthread([this] {
        HttpDownload download;
        const HttpDownload::Result result =
            download.Download(address_, sha256_, signatureAddress_, *this);
        const QString path = download.FilePath();
        const signature::Verdict trust = download.Trust();
        QMetaObject::invokeMethod(
            this, [this, result, path, trust] { Finish(result, path, trust); },
            Qt::QueuedConnection);
    });
}

void DownloadDialog::OnProgress(int percent)
{
    QMetaObject::invokeMethod(
        this, [this, percent] { ShowPercent(percent); }, Qt::QueuedConnection);
}

void DownloadDialog::ShowPercent(int percent)
{
    text_->setText(QString::asprintf("%d%%", percent));
    slider_->setValue(percent);
}

void DownloadDialog::Notify(skin::Notification& msg)
{
    if (msg.type == QLatin1String(skin::kClick) && msg.senderName == QLatin1String("cancel")) {
        cancelled_ = true;
        Close(1);
    }
    WindowImplBase::Notify(msg);
}

void DownloadDialog::OnDestroy()
{
    // The title bar's close button and Escape cancel as "cancel" does.
    if (!finished_) cancelled_ = true;
}

void DownloadDialog::OnFinalMessage()
{
    windowGone_ = true;
    if (finished_) deleteLater();
}

void DownloadDialog::Finish(HttpDownload::Result result, const QString& path,
                            signature::Verdict trust)
{
    if (thread_.joinable()) thread_.join();
    finished_ = true;

    bool endProgram = false;
    int notice = 0;
    switch (result) {
        case HttpDownload::kComplete:
            break;
        case HttpDownload::kCancelled:
            endProgram = force_ != 0;
            break;
        case HttpDownload::kNetworkError:
            notice = UM_NETWORK_ERROR;
            break;
        case HttpDownload::kFailed:
            notice = UM_UPGRADE_FAILED;
            break;
        case HttpDownload::kUntrusted:
            if (owner_)
                skin::PostMessage(
                    owner_, skin::MakeMessage(UM_UPGRADE_FAILED, UntrustedInstallerText(trust)));
            break;
    }
    if (notice != 0 && owner_) skin::PostMessage(owner_, notice);

    // What the rest needs, taken before the window goes: the object goes with it.
    const QPointer<QWidget> owner(owner_);
    const std::function<void()> end = endProgram_;
    const std::function<bool()> mayEnd = mayEnd_;
    if (windowGone_) {
        deleteLater();
    } else {
        Close(1);  // OnFinalMessage deletes the object
    }
    if (result == HttpDownload::kComplete)
        RunInstaller(owner, path, mayEnd, end);
    else if (endProgram && end)
        end();
}

void DownloadDialog::RunInstaller(QPointer<QWidget> owner, const QString& path,
                                  const std::function<bool()>& mayEnd,
                                  const std::function<void()>& end)
{
    // The installer replaces this program, so it runs only when the program may end now.
    if (mayEnd && !mayEnd()) {
        LOG(INFO) << "upgrade put off; the installer stays at " << path.toStdString();
        return;
    }
    const InstallerLaunchResult launch = LaunchInstaller(path);
    if (!launch.started) {
        HttpDownload::LogUpgradeFailure(path);
        LOG(ERROR) << "installer not started: " << launch.reason.toStdString();
        if (owner)
            skin::PostMessage(
                owner,
                skin::MakeMessage(UM_UPGRADE_FAILED, InstallerNotStartedText(launch.reason, path)));
        return;
    }
    LOG(INFO) << "installer started, pid " << launch.pid;
    if (end) end();
}

QString InstallerNotStartedText(const QString& reason, const QString& path)
{
    return Texts::tr("无法启动安装程序：%1。安装包已保存在 %2。").arg(reason, path);
}

QString UntrustedInstallerText(signature::Verdict verdict)
{
    if (verdict == signature::Verdict::NoTrustedKey)
        return Texts::tr("这个版本的程序无法验证安装包，不能自动升级。请从官网下载新版本。");
    QString reason;
    switch (verdict) {
        case signature::Verdict::Missing:
            reason = Texts::tr("安装包没有签名");
            break;
        case signature::Verdict::Malformed:
            reason = Texts::tr("安装包的签名格式不对");
            break;
        case signature::Verdict::Unreadable:
            reason = Texts::tr("下载的安装包无法读取");
            break;
        default:
            reason = Texts::tr("安装包的签名与文件不符，它可能被改动过");
            break;
    }
    return Texts::tr("无法验证安装包：%1。安装包没有保留，也没有运行。").arg(reason);
}
