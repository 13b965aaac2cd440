// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/MainWnd.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeySequence>
#include <QLabel>
#include <QMimeData>
#include <QRadioButton>
#include <QShortcut>
#include <QStackedWidget>
#include <QSystemTrayIcon>
#include <QThread>
#include <QTimer>
#include <QWindow>
#include <map>
#include <mutex>
#include <span>
#include <stdexcept>
#include <utility>

#include <QLineEdit>
#include <QSlider>
#include "core/app/AppConfig.h"
#include "core/app/Language.h"
#include "core/app/Paths.h"
#include "core/app/ServiceAddress.h"
#include "core/app/Settings.h"
#include "core/app/TextUtil.h"
#include "core/image/ImageEngine.h"
#include "core/image/ImageEngineSink.h"
#include "core/intake/MediaScan.h"
#include "core/video/VideoEngine.h"
#include "core/video/VideoEngineSink.h"
#include "gui/app/AccountArea.h"
#include "gui/app/BatchNotifier.h"
#include "gui/app/ElipsePhotoUI.h"
#include "gui/app/MainTaskMenu.h"
#include "gui/app/SetingDialog.h"
#include "gui/app/TrayPresence.h"
#include "gui/image/ImageRows.h"
#include "gui/intake/ImageIntake.h"
#include "gui/intake/MainPage.h"
#include "gui/intake/OpenPaths.h"
#include "gui/intake/RowBuilder.h"
#include "gui/intake/RowMenu.h"
#include "gui/intake/RowsContext.h"
#include "gui/intake/VideoIntake.h"
#include "gui/net/FeedbackDialog.h"
#include "gui/net/Upgrader.h"
#include "gui/platform/DesktopNotification.h"
#include "gui/platform/Shell.h"
#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinBuilder.h"
#include "gui/skinlib/SkinList.h"
#include "gui/ui/MessageBoxDialog.h"
#include "gui/ui/OpenOrTell.h"
#include "gui/ui/PromptBoxDialog.h"
#include "gui/ui/WindowMessages.h"
#include "gui/video/ParamDialog.h"
#include "gui/video/VideoRows.h"

namespace {

constexpr char kWindowTitle[] = QT_TRANSLATE_NOOP("LumoCompress", "LUMO视频压缩");

// Every control of the main page the window and its handlers rely on.
constexpr const char* kMainPageControls[] = {"compress-video",
                                             "compress-image",
                                             "main-tab",
                                             "add-video-file",
                                             "add-video-file-info",
                                             "add-video-dir",
                                             "add-video-dir-label",
                                             "videoList",
                                             "login",
                                             "separator",
                                             "register",
                                             "username",
                                             "usepic",
                                             "feedback",
                                             "help",
                                             "seting",
                                             "min-btn",
                                             "max-btn",
                                             "restore-btn",
                                             "close-btn",
                                             "compress-type-general",
                                             "compress-type-deep",
                                             "compress-type-limit",
                                             "radio-ori",
                                             "radio-mp4",
                                             "radio-flv",
                                             "radio-mov",
                                             "radio-mkv",
                                             "video-ratio",
                                             "video-compress-check",
                                             "video-compress-slider",
                                             "video-compress-label",
                                             "video-compress-balanced-check",
                                             "video-compress-compatible-check",
                                             "video-quality-check",
                                             "video-two-pass-check",
                                             "video-codec-h264",
                                             "video-codec-h265",
                                             "video-codec-av1",
                                             "image-compress-type-general",
                                             "image-compress-type-deep",
                                             "image-compress-type-limit",
                                             "image-format-original",
                                             "image-format-jpg",
                                             "image-format-webp",
                                             "image-format-avif",
                                             "image-ratio",
                                             "image-define-param",
                                             "image-width",
                                             "image-height",
                                             "gif-define-param",
                                             "gif-drop-frame",
                                             "video-look-check",
                                             "video-max-size",
                                             "video-max-size-unit",
                                             "image-look-check",
                                             "image-max-size",
                                             "image-max-size-unit",
                                             "add-image-file",
                                             "add-image-dir",
                                             "image-list"};

constexpr char kNetworkErrorText[] = QT_TRANSLATE_NOOP("LumoCompress", "网络异常,请稍后重试!");
constexpr char kUpgradeFailedText[] = QT_TRANSLATE_NOOP("LumoCompress", "升级失败,程序可能损坏!");
constexpr char kQuitQuestion[] = QT_TRANSLATE_NOOP("LumoCompress", "正在压缩中,确定要退出吗?");
constexpr char kUpgradeQuestion[] =
    QT_TRANSLATE_NOOP("LumoCompress", "正在压缩中,升级需要退出程序,确定要现在升级吗?");

}  // namespace

// Turns the engines' reports, made on their threads, into messages handled on the UI thread.
class CMainWnd::EngineSink : public VideoEngineSink {
public:
    explicit EngineSink(CMainWnd* window) : images(window), window_(window) {}

    void TaskStarted(int taskId) override { skin::PostMessage(window_, UM_VIDEO_STARTED, taskId); }
    void TaskProgress(int taskId, int percent) override
    {
        skin::PostMessage(window_, UM_TASK_PROGRESS, taskId, percent);
    }
    void TaskTimedSpan(int taskId, int fromPercent, int toPercent) override
    {
        skin::PostMessage(window_, skin::MakeMessage(UM_TASK_TIMED_SPAN,
                                                     std::pair{fromPercent, toPercent}, taskId));
    }
    void TaskDone(const VideoDoneRecord& record) override
    {
        skin::PostMessage(window_, skin::MakeMessage(UM_VIDEO_DONE, record, record.taskId));
    }
    void TaskFailed(const VideoFailRecord& record) override
    {
        skin::PostMessage(window_, skin::MakeMessage(UM_VIDEO_STATUS, record, record.taskId));
    }
    void TaskCancelled(int taskId) override
    {
        skin::PostMessage(window_, UM_VIDEO_CANCELLED, taskId);
    }
    void TaskNotes(int taskId, const QStringList& notes) override
    {
        skin::PostMessage(window_, skin::MakeMessage(UM_VIDEO_NOTES, notes, taskId));
    }
    void EncoderStarted(int taskId, qint64, const QString& program,
                        const QStringList& arguments) override
    {
        std::lock_guard guard(lock_);
        commands_[taskId] = QStringList{program} + arguments;
    }
    QStringList Command(int taskId) const
    {
        std::lock_guard guard(lock_);
        const auto it = commands_.find(taskId);
        return it == commands_.end() ? QStringList() : it->second;
    }

    // The image engine's reports (their names are the video engine's, so they live apart).
    struct Images : ImageEngineSink {
        explicit Images(CMainWnd* window) : window(window) {}
        void TaskStarted(int taskId) override
        {
            skin::PostMessage(window, UM_IMAGE_STARTED, taskId);
        }
        void TaskDone(int taskId, ImageDoneRecord record) override
        {
            skin::PostMessage(window, skin::MakeMessage(UM_IMAGE_DONE, std::move(record), taskId));
        }
        void TaskFailed(int taskId, const QString& reason) override
        {
            skin::PostMessage(window, skin::MakeMessage(UM_IMAGE_STATUS, reason, taskId));
        }
        void TaskCancelled(int taskId) override
        {
            skin::PostMessage(window, UM_IMAGE_CANCELLED, taskId);
        }
        CMainWnd* window;
    } images;

private:
    CMainWnd* window_;
    mutable std::mutex lock_;
    std::map<int, QStringList> commands_;  // the last encoder run of each task
};

// What the engines compress with: the settings store's keys, read when a task starts, and the
// main page's controls as the UI thread last copied them here (workers never touch a widget).
class CMainWnd::EngineSettings {
public:
    void SetVideoPage(const MainPageSnapshot& page)
    {
        std::lock_guard guard(lock_);
        videoPage_ = page;
    }
    void SetImagePage(const ImagePageFields& page)
    {
        std::lock_guard guard(lock_);
        imagePage_ = page;
    }
    VideoSettings ReadVideo() const
    {
        VideoSettings values;
        values.settings = ReadCompressSettings(AppConfig::Path());
        values.keepSmaller = ReadSettingFrom(AppConfig::Path(), settings::kKeepSmaller) != 0;
        values.keepDates = ReadSettingFrom(AppConfig::Path(), settings::kKeepDates) != 0;
        ReadSearchChoices(AppConfig::Path(), values);
        {
            std::lock_guard guard(lock_);
            values.page = videoPage_;
        }
        // A settings dialog choice, not the page's: read with the others.
        values.page.keepTracks = ReadSettingFrom(AppConfig::Path(), settings::kKeepTracks) != 0;
        values.outputFolder = GetOutputFolder();
        return values;
    }
    ImageSettings ReadImage() const
    {
        ImageSettings values = ReadImageSettings(AppConfig::Path());
        {
            std::lock_guard guard(lock_);
            values.page = imagePage_;
        }
        values.outputFolder = GetOutputFolder();
        return values;
    }

private:
    mutable std::mutex lock_;
    MainPageSnapshot videoPage_;
    ImagePageFields imagePage_;
};

CMainWnd::CMainWnd()
    : WindowImplBase(nullptr, Kind::Main),
      engineSink_(new EngineSink(this)),
      engineSettings_(new EngineSettings),
      videoEngine_(new VideoEngine(
          *engineSink_, [settings = engineSettings_.get()] { return settings->ReadVideo(); })),
      imageEngine_(new ImageEngine(
          engineSink_->images, [settings = engineSettings_.get()] { return settings->ReadImage(); },
          QThread::idealThreadCount())),
      mainPage_(new MainPage(*this)),
      accountArea_(new AccountArea(*this)),
      batchNotifier_(
          new BatchNotifier({[this] { return EnginesIdle(); }, [this] { return isActiveWindow(); },
                             [this](const QString& text) { ShowBatchSummary(text); }}))
{
    const RowsContext rows{
        *this,
        [this] { return accountArea_->RequireSignIn(); },
        [this] { return TakeTaskId(); },
        [this](const QString& className, QWidget* parent) {
            return CreateControl(className, parent);
        },
    };
    videoRows_ = std::make_unique<VideoRows>(
        rows, *videoEngine_, [settings = engineSettings_.get()] { return settings->ReadVideo(); });
    imageRows_ = std::make_unique<ImageRows>(rows, *imageEngine_,
                                             [this] { return mainPage_->CheckCustomImageSize(); });
    videoIntake_ = std::make_unique<VideoIntake>(
        this, [this](const VideoTask& task) { return videoRows_->Add(task); },
        [this](int pending) { ShowFilesBeingRead(pending); });
    imageIntake_ = std::make_unique<ImageIntake>(
        this, [this](const ImageTask& task) { return imageRows_->Add(task); });
    setWindowTitle(language::Tr(kWindowTitle));
}

CMainWnd::~CMainWnd()
{
    // The workers report to this window: they end before any of it goes.
    StopEngines();
}

void CMainWnd::StopEngines()
{
    videoEngine_->Stop();
    imageEngine_->Stop();
}

void CMainWnd::InitWindow()
{
    try {
        setWindowTitle(language::Tr(kWindowTitle));
        setWindowIcon(skin::AppIcon());
        AddTrayIcon();
        LookUpControls();
        AddShortcuts();

        const std::string channelWord = WideToAnsi(AppConfig::GetInstallString(
            settings::kChannelWord.key, QString(), settings::kChannelWord.capacity));
        DebugPrint("agent:%s\n", channelWord.c_str());

        RestoreMainPage();
        mainPage_->FollowSearchChoices();
        // A settings file that could not be read left the defaults in place: said once.
        if (const QString problem = TakeSettingsReadProblem(); !problem.isEmpty())
            PromptBoxDialog::ShowModeless(this, problem);
        accountArea_->Update();
        setAcceptDrops(true);
        GetOutputFolder();
        tempFolder_ = EnsureUserFolder(kTempFolder);

        // Background work, in this order: the upgrade check, then the engines' workers.
        upgrader_ = new Upgrader(
            this, [this] { Shutdown(); }, QString(), [this] { return MayEndForUpgrade(); });
        upgrader_->StartBackgroundCheck();
        KeepEnginesInformed();
        videoEngine_->Start();
        imageEngine_->Start();
    } catch (...) {
        throw std::runtime_error("CMainWnd::Init");
    }
}

void CMainWnd::LookUpControls()
{
    for (const char* name : kMainPageControls) {
        if (!FindControl(name)) throw std::runtime_error(std::string("missing control ") + name);
    }
    if (auto* avatar = FindControl<CElipsePhotoUI>("usepic")) avatar->SetOwner(this);
    FindControl("restore-btn")->hide();

    // Each list shows its "add files" box while it has no rows.
    const std::pair<const char*, const char*> lists[] = {{"videoList", "video-empty"},
                                                         {"image-list", "image-empty"}};
    for (const auto& [listName, emptyName] : lists) {
        auto* list = FindControl<SkinList>(listName);
        QWidget* empty = FindControl(emptyName);
        if (!list || !empty) continue;
        empty->setVisible(list->Count() == 0);
        connect(list, &SkinList::countChanged, empty,
                [empty](int count) { empty->setVisible(count == 0); });
    }
    mainPage_->FollowRows();
}

void CMainWnd::AddTrayIcon()
{
    if (!tray::Available()) return;
    trayIcon_ = new QSystemTrayIcon(skin::AppIcon(), this);
    trayIcon_->setToolTip(language::Tr(kWindowTitle));
    connect(trayIcon_, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    skin::PostMessage(this, UM_TRAY_NOTIFY, kTrayIconId, kTrayLeftButtonDown);
                else if (reason == QSystemTrayIcon::Context)
                    skin::PostMessage(this, UM_TRAY_NOTIFY, kTrayIconId, kTrayRightButtonDown);
            });
    trayIcon_->show();
}

namespace {

// Selects option number value of the group; a value outside the group selects none.
void SelectOption(WindowImplBase& window, std::span<const Choice> group, int value)
{
    if (value < 0 || value >= static_cast<int>(group.size())) return;
    if (auto* option = window.FindControl<QAbstractButton>(group[value].pageOption))
        option->setChecked(true);
}

void SelectRow(QComboBox* combo, int row)
{
    if (!combo) return;
    combo->setCurrentIndex(row >= 0 && row < combo->count() ? row : -1);
}

void SetChecked(QAbstractButton* check, bool checked)
{
    if (check) check->setChecked(checked);
}

// A click that queues rows: a size typed into the page is written before it acts. A row's own
// button cancels a row that waits or runs, which a bad size must not stop.
bool QueuesRows(const skin::Notification& msg)
{
    const QString& name = msg.senderName;
    if (name == QLatin1String("all-compress") || name == QLatin1String("all-image-compress"))
        return true;
    if (name != QLatin1String("compressBtn") && name != QLatin1String("imageCompressBtn"))
        return false;
    for (QWidget* row = msg.sender; row; row = row->parentWidget())
        if (row->objectName() == RowName(static_cast<int>(skin::GetTag(msg.sender))))
            return !IsRowQueued(row);
    return true;
}

}  // namespace

void CMainWnd::RestoreMainPage()
{
    // Each key with default 0, whatever the table's default, as the page has always restored.
    const auto read = [](const IntSetting& setting) {
        return AppConfig::GetInt(settings::kSection, setting.key, 0);
    };
    for (const ChoiceSetting& group : choices::kPageOptionGroups)
        SelectOption(*this, group.rows, read(*group.setting));
    SelectRow(FindControl<QComboBox>("video-ratio"), read(settings::kVideoRatioIndex));
    SelectRow(FindControl<QComboBox>("image-ratio"), read(settings::kImageRatioIndex));
    SetChecked(FindControl<QAbstractButton>("image-define-param"),
               read(settings::kImageDefineParam) != 0);
    SetChecked(FindControl<QAbstractButton>("gif-define-param"),
               read(settings::kGifDefineParam) != 0);
    SelectRow(FindControl<QComboBox>("gif-drop-frame"), read(settings::kGifDropFrameIndex));
    SetChecked(FindControl<QAbstractButton>("compress-video"), true);
    if (auto* tab = FindControl<QStackedWidget>("main-tab")) tab->setCurrentIndex(0);
}

void CMainWnd::Notify(skin::Notification& msg)
{
    if (mainPage_->Notify(msg)) return;
    const QString& name = msg.senderName;
    if (msg.type == QLatin1String(skin::kClick)) {
        if (name == QLatin1String("min-btn")) {
            showMinimized();
        } else if (name == QLatin1String("max-btn")) {
            FindControl("restore-btn")->show();
            FindControl("max-btn")->hide();
            showMaximized();
        } else if (name == QLatin1String("restore-btn")) {
            FindControl("restore-btn")->hide();
            FindControl("max-btn")->show();
            showNormal();
        } else if (name == QLatin1String("close-btn")) {
            QTimer::singleShot(0, this, [this] { Close(0); });
        } else if (name == QLatin1String("help")) {
            OpenHelpPage();
        } else if (name == QLatin1String("seting")) {
            SetingDialog::Open(this);
        } else if (name == QLatin1String("main-menu")) {
            CMainTaskMenu::PopupUnder(this, msg.sender);
        } else if (name == QLatin1String("feedback")) {
            FeedbackDialog::Run(this);
        } else if (name == QLatin1String("login") || name == QLatin1String("register") ||
                   name == QLatin1String("username")) {
            accountArea_->OnClick();
        } else if (name == QLatin1String("add-video-file") ||
                   name == QLatin1String("add-video-file-info")) {
            videoIntake_->AddFromFileDialog();
        } else if (name == QLatin1String("add-video-dir") ||
                   name == QLatin1String("add-video-dir-info")) {
            videoIntake_->AddFromFolder();
        } else if (name == QLatin1String("add-image-file") ||
                   name == QLatin1String("add-image-file-info")) {
            imageIntake_->AddFromFileDialog();
        } else if (name == QLatin1String("add-image-dir") ||
                   name == QLatin1String("add-image-dir-info")) {
            imageIntake_->AddFromFolder();
        } else if (QueuesRows(msg) && !mainPage_->CommitSizeLimits()) {
            // A size that is no size starts nothing: the notice said why.
        } else if (name == QLatin1String("compressBtn")) {
            videoRows_->Start(msg.sender);
            batchNotifier_->TaskCancelled();  // the button cancels a row that waits or runs
        } else if (name == QLatin1String("all-compress")) {
            StartAllVideos();
        } else if (name == QLatin1String("videoMenuBtn")) {
            PopMenu::Popup(this, msg.sender, msg.mouse);
        } else if (name == QLatin1String("imageMenuBtn")) {
            ImagePopMenu::Popup(this, msg.sender, msg.mouse);
        } else if (name == QLatin1String("imageCompressBtn")) {
            imageRows_->Start(msg.sender);
            batchNotifier_->TaskCancelled();
        } else if (name == QLatin1String("all-image-compress")) {
            imageRows_->StartAll();
        } else if (name == QLatin1String("all-cancel")) {
            videoRows_->CancelAll();
            batchNotifier_->TaskCancelled();
        } else if (name == QLatin1String("all-image-cancel")) {
            imageRows_->CancelAll();
            batchNotifier_->TaskCancelled();
        }
    } else if (msg.type == QLatin1String(skin::kSelectChanged)) {
        auto* tab = FindControl<QStackedWidget>("main-tab");
        if (name == QLatin1String("compress-video")) tab->setCurrentIndex(0);
        if (name == QLatin1String("compress-image")) tab->setCurrentIndex(1);
    }
}

void CMainWnd::KeepEnginesInformed()
{
    // What the workers read of the main page reaches them as a copy kept current from here.
    auto* bitRate = FindControl<QAbstractButton>("video-compress-check");
    auto* slider = FindControl<QSlider>("video-compress-slider");
    auto* balanced = FindControl<QAbstractButton>("video-compress-balanced-check");
    auto* compatible = FindControl<QAbstractButton>("video-compress-compatible-check");
    auto* quality = FindControl<QAbstractButton>("video-quality-check");
    auto* twoPass = FindControl<QAbstractButton>("video-two-pass-check");
    const auto videoPage = [=, this] {
        MainPageSnapshot page;
        page.bitRateChecked = bitRate->isChecked();
        page.bitRateSlider = slider->value();
        page.balancedChecked = balanced->isChecked();
        page.compatibleChecked = compatible->isChecked();
        page.qualityMode = quality->isChecked();
        page.twoPass = twoPass->isChecked();
        engineSettings_->SetVideoPage(page);
    };
    for (QAbstractButton* check : {bitRate, balanced, compatible, quality, twoPass})
        connect(check, &QAbstractButton::toggled, this, videoPage);
    connect(slider, &QSlider::valueChanged, this, videoPage);
    videoPage();

    auto* width = FindControl<QLineEdit>("image-width");
    auto* height = FindControl<QLineEdit>("image-height");
    auto* custom = FindControl<QAbstractButton>("image-define-param");
    const auto imagePage = [=, this] {
        engineSettings_->SetImagePage({width->text(), height->text(), custom->isChecked()});
    };
    connect(width, &QLineEdit::textChanged, this, imagePage);
    connect(height, &QLineEdit::textChanged, this, imagePage);
    connect(custom, &QAbstractButton::toggled, this, imagePage);
    imagePage();
}

QStringList CMainWnd::EncoderCommand(int taskId) const
{
    return engineSink_->Command(taskId);
}

int CMainWnd::AddVideoRow(const VideoTask& task)
{
    return videoRows_->Add(task);
}

int CMainWnd::AddImageRow(const VideoTask& task)
{
    return imageRows_->Add(task);
}

qintptr CMainWnd::Dispatch(skin::Message& msg, bool& handled)
{
    return HandleCustomMessage(msg, handled);
}

qintptr CMainWnd::HandleCustomMessage(skin::Message& msg, bool& handled)
{
    handled = false;
    switch (msg.id) {
        case UM_MENU_QUIT:
            QTimer::singleShot(0, this, [this] { Close(kQuitCloseParam); });
            return 0;
        case UM_MENU_HOME:
            BringToFront();
            return 0;
        case UM_MENU_HELP:
            OpenHelpPage();
            return 0;
        case UM_MENU_SETTINGS:
            BringToFront();
            SetingDialog::Open(this);
            return 0;
        case UM_MENU_FEEDBACK:
            BringToFront();
            FeedbackDialog::Run(this);
            return 0;
        case UM_MENU_UPGRADE:
            BringToFront();
            upgrader_->CheckNow();
            return 0;
        case UM_TRAY_NOTIFY:
            if (msg.lParam == kTrayLeftButtonDown) BringToFront();
            if (msg.lParam == kTrayRightButtonDown) CMainTaskMenu::Popup(this, QCursor::pos());
            return 0;
        case UM_VIDEO_STARTED:
            videoRows_->OnStarted(static_cast<int>(msg.wParam));
            return 0;
        case UM_TASK_PROGRESS:
            videoRows_->OnProgress(static_cast<int>(msg.wParam), static_cast<int>(msg.lParam));
            return 0;
        case UM_TASK_TIMED_SPAN:
            if (const auto* span = msg.Value<std::pair<int, int>>())
                videoRows_->OnTimedSpan(static_cast<int>(msg.wParam), span->first, span->second);
            return 0;
        case UM_VIDEO_NOTES:
            if (const auto* notes = msg.Value<QStringList>())
                videoRows_->OnNotes(static_cast<int>(msg.wParam), *notes);
            return 0;
        case UM_VIDEO_DONE:
            if (const auto* record = msg.Value<VideoDoneRecord>()) {
                videoRows_->OnDone(*record);
                batchNotifier_->TaskDone(record->sourceSize, record->outputSize,
                                         record->replacedSource ? record->freedBytes : 0);
            }
            return 0;
        case UM_VIDEO_STATUS:
            if (const auto* record = msg.Value<VideoFailRecord>()) {
                videoRows_->OnFailed(*record);
                batchNotifier_->TaskFailed();
            }
            return 0;
        case UM_VIDEO_PARAM: {
            const int id = static_cast<int>(msg.wParam);
            if (const auto task = videoEngine_->FindTask(id))
                ParamDialog::Open(this, id, videoEngine_->FindParams(id), task,
                                  engineSettings_->ReadVideo().page,
                                  videoEngine_->FindMaxBytes(id).value_or(0));
            return 0;
        }
        case UM_VIDEO_PARAM_SAVE:
            if (const auto* params = msg.Value<CompressParams>())
                videoRows_->SaveParams(*params, msg.lParam);
            return 0;
        case UM_VIDEO_PARAM_RESET:
            videoRows_->ResetParams(static_cast<int>(msg.wParam));
            return 0;
        case UM_VIDEO_RECOMPRESS:
            videoRows_->Recompress(static_cast<int>(msg.wParam));
            return 0;
        case UM_VIDEO_DELETE:
            videoRows_->Delete(static_cast<int>(msg.wParam));
            return 0;
        case UM_VIDEO_OPEN_DIR:
            videoRows_->OpenFolder(static_cast<int>(msg.wParam));
            return 0;
        case UM_IMAGE_OPEN_DIR:
            imageRows_->OpenFolder(static_cast<int>(msg.wParam));
            return 0;
        case UM_IMAGE_STARTED:
            imageRows_->OnStarted(static_cast<int>(msg.wParam));
            return 0;
        case UM_IMAGE_DONE:
            if (const auto* record = msg.Value<ImageDoneRecord>()) {
                imageRows_->OnDone(*record);
                batchNotifier_->TaskDone(record->sourceSize, record->outputSize,
                                         record->replacedSource ? record->freedBytes : 0);
            }
            return 0;
        case UM_IMAGE_STATUS:
            imageRows_->OnFailed(static_cast<int>(msg.wParam),
                                 msg.Value<QString>() ? *msg.Value<QString>() : QString());
            batchNotifier_->TaskFailed();
            return 0;
        case UM_VIDEO_CANCEL:
            videoRows_->Cancel(static_cast<int>(msg.wParam));
            batchNotifier_->TaskCancelled();
            return 0;
        case UM_VIDEO_CANCELLED:
            videoRows_->OnCancelled(static_cast<int>(msg.wParam));
            batchNotifier_->TaskCancelled();
            return 0;
        case UM_IMAGE_CANCEL:
            imageRows_->Cancel(static_cast<int>(msg.wParam));
            batchNotifier_->TaskCancelled();
            return 0;
        case UM_IMAGE_CANCELLED:
            imageRows_->OnCancelled(static_cast<int>(msg.wParam));
            batchNotifier_->TaskCancelled();
            return 0;
        case UM_IMAGE_RECOMPRESS:
            imageRows_->Recompress(static_cast<int>(msg.wParam));
            return 0;
        case UM_IMAGE_DELETE:
            imageRows_->Delete(static_cast<int>(msg.wParam));
            return 0;
        case UM_NETWORK_ERROR:
            PromptBoxDialog::ShowModeless(this, language::Tr(kNetworkErrorText));
            return 0;
        case UM_UPGRADE_FAILED:
            // An installer that would not start comes with its own words.
            PromptBoxDialog::ShowModeless(
                this, msg.Value<QString>() ? *msg.Value<QString>() : QString(kUpgradeFailedText));
            return 0;
        default:
            return 0;
    }
}

void CMainWnd::OpenHelpPage()
{
    OpenOrTell(this, ServiceUrl("/help"));
}

void CMainWnd::BringToFront()
{
    if (isMinimized()) setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    raise();
    activateWindow();
    if (QWidget* modal = QApplication::activeModalWidget(); modal && modal != this) {
        modal->raise();
        modal->activateWindow();
    }
}

bool CMainWnd::OnClose(qintptr wParam)
{
    const tray::CloseAction action =
        tray::DecideClose(wParam == kQuitCloseParam, ReadSetting(settings::kWindowClose) != 0,
                          trayIcon_ && tray::Available());
    if (action == tray::CloseAction::HideToTray) {
        // The tray icon's click brings it back (BringToFront).
        hide();
        return true;
    }
    if (videoEngine_->HasBusyTasks() &&
        MessageBoxDialog::Ask(this, language::Tr(kQuitQuestion)) == 0)
        return true;
    return false;
}

bool CMainWnd::MayEndForUpgrade()
{
    const bool working = videoEngine_->HasBusyTasks() || !videoEngine_->IdleTasks().empty() ||
                         !imageEngine_->BusyTasks().empty() || !imageEngine_->IdleTasks().empty();
    return !working || MessageBoxDialog::Ask(this, language::Tr(kUpgradeQuestion)) != 0;
}

void CMainWnd::Shutdown()
{
    // Modal dialogs end first, so their loops do not outlive the window.
    while (QWidget* modal = QApplication::activeModalWidget()) {
        if (modal == this) break;
        modal->close();
    }
    DestroyWindow();
}

void CMainWnd::OnDestroy()
{
    if (trayIcon_) trayIcon_->hide();
    // Files still being read are dropped: their probers are killed, no row comes any more.
    videoIntake_->Stop();
    // A running ffmpeg is stopped and its partial output removed; an image run is given up.
    StopEngines();
}

void CMainWnd::OnFinalMessage()
{
    QCoreApplication::postEvent(qApp, new QEvent(QEvent::Quit));
    deleteLater();
}

QWidget* CMainWnd::CreateControl(const QString& className, QWidget* parent)
{
    if (className.compare(QLatin1String("ElipsePhoto"), Qt::CaseInsensitive) == 0)
        return new CElipsePhotoUI(parent);
    return nullptr;
}

void CMainWnd::showEvent(QShowEvent* event)
{
    WindowImplBase::showEvent(event);
    if (shown_) return;
    shown_ = true;
    DebugPrint("mainWindow shown\n");
    fflush(stdout);
}

void CMainWnd::dragEnterEvent(QDragEnterEvent* event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        event->acceptProposedAction();
}

void CMainWnd::dropEvent(QDropEvent* event)
{
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        if (url.isLocalFile()) paths << url.toLocalFile();
    }
    event->acceptProposedAction();
    // Probing takes a while; the program that dragged must not wait for it.
    QTimer::singleShot(0, this, [this, paths] { AddDropped(paths); });
}

void CMainWnd::AddDropped(const QStringList& paths)
{
    // Files go to the list of their kind, whatever the page; a folder gives what the page shows.
    auto* tab = FindControl<QStackedWidget>("main-tab");
    const bool onImagePage = tab->currentIndex() == 1;
    // Files by their content and type; what is not taken is named with the reason.
    QStringList videos, images, folders;
    std::vector<NotTaken> notTaken;
    for (const QString& path : paths) {
        OpenedPath opened = ClassifyOpenedPath(path);
        if (opened.kind == OpenedPath::Kind::Folder)
            folders << opened.path;
        else if (opened.kind == OpenedPath::Kind::Video)
            videos << opened.path;
        else if (opened.kind == OpenedPath::Kind::Image)
            images << opened.path;
        else
            notTaken.push_back(std::move(opened.refused));
    }
    if (!videos.isEmpty()) videoIntake_->AddFiles(videos);
    if (!images.isEmpty()) imageIntake_->AddFiles(images);
    if (!notTaken.empty()) videoIntake_->ReportNotTaken(notTaken);
    for (const QString& folder : folders) {
        if (onImagePage)
            imageIntake_->AddFolder(folder);
        else
            videoIntake_->AddFolder(folder);
    }
    // Show what was added when none of it belongs to the page on show.
    const bool addedHere = !(onImagePage ? images : videos).isEmpty();
    const bool addedThere = !(onImagePage ? videos : images).isEmpty();
    if (folders.isEmpty() && !addedHere && addedThere)
        FindControl<QAbstractButton>(onImagePage ? "compress-video" : "compress-image")->click();
}

void CMainWnd::OpenPaths(const QStringList& paths)
{
    const MediaKind first = AddOpenedPaths(paths, *videoIntake_, *imageIntake_);
    if (first == MediaKind::None) return;
    FindControl<QAbstractButton>(first == MediaKind::Image ? "compress-image" : "compress-video")
        ->click();
}

void CMainWnd::ShowFilesBeingRead(int pending)
{
    auto* label = FindControl<QLabel>("video-reading");
    if (!label) return;
    label->setText(Texts::tr("正在读取 %1 个文件…").arg(pending));
    label->setVisible(pending > 0);
    // The count reaches 0 just before the last row is added: the batch starts after it.
    if (pending == 0 && std::exchange(startVideosWhenRead_, false))
        QTimer::singleShot(0, this, [this] { videoRows_->StartAll(); });
}

void CMainWnd::StartAllVideos()
{
    if (videoIntake_->Pending() > 0) {
        // Files still being read become rows in a moment: they join the batch once they are
        // in, rather than the user being told that the list is empty.
        startVideosWhenRead_ = true;
        auto* list = FindControl<SkinList>("videoList");
        if (!list || list->Count() == 0) return;
    }
    videoRows_->StartAll();
}

void CMainWnd::changeEvent(QEvent* event)
{
    WindowImplBase::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) SyncMaximiseButtons();
}

void CMainWnd::SyncMaximiseButtons()
{
    QWidget* maxButton = FindControl("max-btn");
    QWidget* restoreButton = FindControl("restore-btn");
    if (!maxButton || !restoreButton) return;
    maxButton->setVisible(!isMaximized());
    restoreButton->setVisible(isMaximized());
}

void CMainWnd::AddShortcuts()
{
    const auto add = [this](const QKeySequence& keys, auto action) {
        auto* shortcut = new QShortcut(keys, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, action);
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_O), [this] {
        if (OnImagePage())
            imageIntake_->AddFromFileDialog();
        else
            videoIntake_->AddFromFileDialog();
    });
    add(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_O), [this] {
        if (OnImagePage())
            imageIntake_->AddFromFolder();
        else
            videoIntake_->AddFromFolder();
    });
    const auto startAll = [this] {
        if (!mainPage_->CommitSizeLimits()) return;
        if (OnImagePage())
            imageRows_->StartAll();
        else
            StartAllVideos();
    };
    add(QKeySequence(Qt::CTRL | Qt::Key_Return), startAll);
    add(QKeySequence(Qt::CTRL | Qt::Key_Enter), startAll);
    add(QKeySequence(QKeyCombination(Qt::ControlModifier | Qt::KeypadModifier, Qt::Key_Enter)),
        startAll);
    // An edit that has the focus keeps Delete for its text (it takes the shortcut override).
    add(QKeySequence(Qt::Key_Delete), [this] { DeleteCheckedRows(); });
    add(QKeySequence(Qt::CTRL | Qt::Key_Q), [this] { skin::PostMessage(this, UM_MENU_QUIT); });
}

bool CMainWnd::OnImagePage()
{
    auto* tab = FindControl<QStackedWidget>("main-tab");
    return tab && tab->currentIndex() == 1;
}

void CMainWnd::DeleteCheckedRows()
{
    const bool images = OnImagePage();
    auto* list = FindControl<SkinList>(images ? "image-list" : "videoList");
    if (!list) return;
    const char* checkName = images ? "imagecheckBox" : "videocheckBox";
    std::vector<int> deletable, queued;
    for (int i = 0; i < list->Count(); ++i) {
        auto* check = list->RowAt(i)->findChild<QAbstractButton*>(checkName);
        if (!check || !check->isChecked()) continue;
        const int id = static_cast<int>(skin::GetTag(check));
        const bool busy = images ? imageEngine_->IsQueued(id) : videoEngine_->IsQueued(id);
        (busy ? queued : deletable).push_back(id);
    }
    for (int id : deletable) {
        if (images)
            imageRows_->Delete(id);
        else
            videoRows_->Delete(id);
    }
    // The rows' own refusal, shown once however many ticked rows wait or run.
    if (!queued.empty()) {
        if (images)
            imageRows_->Delete(queued.front());
        else
            videoRows_->Delete(queued.front());
    }
}

bool CMainWnd::EnginesIdle() const
{
    return videoEngine_->IdleTasks().empty() && videoEngine_->BusyTasks().empty() &&
           imageEngine_->IdleTasks().empty() && imageEngine_->BusyTasks().empty();
}

void CMainWnd::ShowBatchSummary(const QString& text)
{
    desktopnotify::Send(desktopnotify::SessionBus(), language::Tr(kWindowTitle), text, trayIcon_);
}
