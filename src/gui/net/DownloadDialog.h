// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <atomic>
#include <functional>
#include <thread>

#include "core/net/HttpDownload.h"
#include "gui/skinlib/WindowImplBase.h"

class QLabel;
class QProgressBar;

// The progress window of an installer download ("download.xml": "cancel", "download-text",
// "download-slider"). The download runs on its own thread from InitWindow on; when it ends, the
// window (on the UI thread) closes and, when the program may end (mayEnd, which asks the user
// while work is under way), runs the installer and ends the program; otherwise the downloaded
// installer stays where it is and nothing else happens. A failure is reported to the owner with
// UM_NETWORK_ERROR or UM_UPGRADE_FAILED (carrying the text to show when the installer would not
// start or had no valid signature: then it was never made executable and is gone). Closing the
// window in any way before the end cancels the download; cancelling a forced upgrade ends the
// program. The object outlives its window until the download thread has ended.
class DownloadDialog : public WindowImplBase, private DownloadObserver {
    Q_OBJECT
public:
    // owner: the main window, which receives the notices; endProgram ends the program; mayEnd
    // (none: always) says whether it may end now.
    // signatureAddress: where the installer's signature is (empty: its address + ".sig").
    DownloadDialog(QWidget* owner, const QString& address, int force, const QString& sha256,
                   const QString& signatureAddress, std::function<void()> endProgram,
                   std::function<bool()> mayEnd = nullptr);
    ~DownloadDialog() override;

    QString GetWindowClassName() const override { return QStringLiteral("升级下载"); }
    QString GetSkinFile() const override { return QStringLiteral("download.xml"); }

protected:
    void InitWindow() override;
    void Notify(skin::Notification& msg) override;
    void OnDestroy() override;
    void OnFinalMessage() override;

private:
    void OnProgress(int percent) override;
    bool IsCancelled() const override { return cancelled_.load(); }

    void ShowPercent(int percent);
    void Finish(HttpDownload::Result result, const QString& path, signature::Verdict trust);
    // Static: it runs after the window (and this object) may be gone.
    static void RunInstaller(QPointer<QWidget> owner, const QString& path,
                             const std::function<bool()>& mayEnd, const std::function<void()>& end);

    QWidget* owner_;
    QString address_;
    int force_;
    QString sha256_;
    QString signatureAddress_;
    std::function<void()> endProgram_;
    std::function<bool()> mayEnd_;

    QLabel* text_ = nullptr;
    QProgressBar* slider_ = nullptr;

    std::atomic<bool> cancelled_{false};
    bool finished_ = false;    // the download thread has ended
    bool windowGone_ = false;  // OnFinalMessage ran; delete once finished
    std::jthread thread_;
};

// The notice when a downloaded installer would not start: why, and where the file stays.
QString InstallerNotStartedText(const QString& reason, const QString& path);
// The notice when an installer was refused for its signature (verdict is not Valid).
QString UntrustedInstallerText(signature::Verdict verdict);
