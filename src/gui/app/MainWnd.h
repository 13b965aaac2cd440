// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QStringList>
#include <memory>

#include "gui/skinlib/WindowImplBase.h"

class AccountArea;
class BatchNotifier;
class ImageEngine;
class ImageIntake;
class ImageRows;
class QSystemTrayIcon;
class VideoEngine;
class VideoRows;
class MainPage;
class Upgrader;
class VideoIntake;
struct VideoTask;

// The program's one top-level window: owns the engines, the handlers of the page, the rows and
// intake, and the tray icon; hands each handler what it works with, restores the main page from
// the settings, dispatches the notifications and the custom messages to the handlers, and
// decides what closing means (minimise, ask while videos are compressing, or end the program).
class CMainWnd : public WindowImplBase {
    Q_OBJECT
public:
    CMainWnd();
    ~CMainWnd() override;

    QString GetWindowClassName() const override { return QStringLiteral("视频压缩"); }
    QString GetSkinFile() const override { return QStringLiteral("MainWindow.xml"); }

    // Restores a minimised window, shows and raises it, and brings an open modal dialog of the
    // program to the front.
    void BringToFront();
    // Ends the program as the quit entry does, without asking: workers stop, the window goes.
    void Shutdown();

    // Adds files and folders named outside the window (see AddOpenedPaths) and shows the page
    // of the first kind they brought.
    void OpenPaths(const QStringList& paths);

    // Handles one custom message as a posted one would be handled; returns the handler's result.
    qintptr Dispatch(skin::Message& msg, bool& handled);

    // Enters the record under a fresh task id and appends its row to "videoList"; returns the id.
    int AddVideoRow(const VideoTask& task);
    // The same for "image-list".
    int AddImageRow(const VideoTask& task);

    // The program and arguments of the last encoder run started for the video row (empty before
    // its first), as the engine handed them to the child process.
    QStringList EncoderCommand(int taskId) const;

    VideoEngine& videoEngine() { return *videoEngine_; }
    ImageEngine& imageEngine() { return *imageEngine_; }
    MainPage& mainPage() { return *mainPage_; }
    AccountArea& accountArea() { return *accountArea_; }
    BatchNotifier& batchNotifier() { return *batchNotifier_; }
    const QString& tempFolder() const { return tempFolder_; }

protected:
    void InitWindow() override;
    void Notify(skin::Notification& msg) override;
    qintptr HandleCustomMessage(skin::Message& msg, bool& handled) override;
    bool OnClose(qintptr wParam) override;
    void OnDestroy() override;
    void OnFinalMessage() override;
    QWidget* CreateControl(const QString& className, QWidget* parent) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void LookUpControls();
    void AddTrayIcon();
    void RestoreMainPage();
    void SyncMaximiseButtons();
    void OpenHelpPage();
    void KeepEnginesInformed();
    void AddDropped(const QStringList& paths);
    // The main page's note of how many files are still being read; hidden at 0.
    void ShowFilesBeingRead(int pending);
    // Starts every ticked video row; with files still being read, those rows too once they are in.
    void StartAllVideos();
    void StopEngines();
    // True when nothing is queued or compressing, or the user agrees to end it for the upgrade.
    bool MayEndForUpgrade();
    // The keyboard's ways to the main actions: add files or a folder to the page shown, start
    // it, delete its ticked rows, quit.
    void AddShortcuts();
    bool OnImagePage();
    void DeleteCheckedRows();
    bool EnginesIdle() const;
    void ShowBatchSummary(const QString& text);
    // Task ids number the rows of both lists; they are never reused.
    int TakeTaskId() { return nextTaskId_++; }

    // The engines report from their threads through this; it posts to the window.
    class EngineSink;
    std::unique_ptr<EngineSink> engineSink_;
    // What the engines' settings readers hand them; outlives the engines.
    class EngineSettings;
    std::unique_ptr<EngineSettings> engineSettings_;
    std::unique_ptr<VideoEngine> videoEngine_;
    std::unique_ptr<ImageEngine> imageEngine_;
    // The handlers, in the order they are made: the later ones call the earlier ones.
    std::unique_ptr<MainPage> mainPage_;
    std::unique_ptr<AccountArea> accountArea_;
    std::unique_ptr<VideoRows> videoRows_;
    std::unique_ptr<ImageRows> imageRows_;
    std::unique_ptr<VideoIntake> videoIntake_;
    // "全部压缩" came while videos were being read: the batch takes them in when the reading ends.
    bool startVideosWhenRead_ = false;
    std::unique_ptr<ImageIntake> imageIntake_;
    std::unique_ptr<BatchNotifier> batchNotifier_;
    int nextTaskId_ = 0;
    QSystemTrayIcon* trayIcon_ = nullptr;
    Upgrader* upgrader_ = nullptr;
    QString tempFolder_;
    bool shown_ = false;
};
