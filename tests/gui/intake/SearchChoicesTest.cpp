// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QLineEdit>
#include <QPointer>

#include "core/app/Settings.h"
#include "core/app/UserAccount.h"
#include "core/video/VideoEngine.h"
#include "gui/app/MainWnd.h"
#include "gui/intake/SizeLimit.h"
#include "support/GuiTestEnv.h"

// The main page's "same look, smallest file" boxes and "fit under a size" fields: how a size is
// read and shown, what each control writes, what a fresh window shows, what is refused.
namespace {

constexpr qint64 kKiB = 1024;
constexpr qint64 kMiB = 1024 * kKiB;
constexpr qint64 kGiB = 1024 * kMiB;

struct ReadCase {
    const char* text;
    int unit;
    std::optional<qint64> bytes;
};

TEST(SizeLimitText, TextAndUnitGiveBytesOrAReason)
{
    using namespace sizelimit;
    const ReadCase cases[] = {
        {"", kMb, 0},
        {"  ", kGb, 0},
        {"0", kMb, 0},
        {"0.0", kKb, 0},
        {"8", kMb, 8 * kMiB},
        {" 1.5 ", kGb, kGiB + kGiB / 2},
        {".5", kMb, kMiB / 2},
        {"500k", kMb, 500 * kKiB},  // a unit typed takes the list's place
        {"25 MB", kKb, 25 * kMiB},
        {"1GiB", kKb, kGiB},
        {"0.1", kMb, 104857},  // a fraction of a byte rounds down: the file must fit under
        {"1.99", kGb, 2136746229},
        {"1", kKb, kKiB},
        {"2", kGb, std::nullopt},  // the store holds less than 2 GiB
        {"2048", kMb, std::nullopt},
        {"0.5", kKb, std::nullopt},  // below 1 KB
        {"abc", kMb, std::nullopt},
        {"-5", kMb, std::nullopt},
        {"1,5", kMb, std::nullopt},
        {"1.5.2", kMb, std::nullopt},
        {"8 TB", kMb, std::nullopt},
        {"８", kMb, std::nullopt},  // a full-width digit is no ASCII number
        {"1e3", kKb, std::nullopt},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.text);
        QString error;
        EXPECT_EQ(Parse(QString::fromUtf8(c.text), c.unit, &error), c.bytes);
        EXPECT_EQ(error.isEmpty(), c.bytes.has_value()) << error.toStdString();
    }
    QString error;
    Parse("2", kGb, &error);
    EXPECT_EQ(error, "大小上限须小于 2 GB。");
    Parse("x", kGb, &error);
    EXPECT_TRUE(error.startsWith("大小上限请填写数字")) << error.toStdString();
}

TEST(SizeLimitText, BytesAreShownExactlyInTheLargestUnitThatShowsThem)
{
    using namespace sizelimit;
    EXPECT_EQ(Show(0).text, "");
    EXPECT_EQ(Show(8 * kMiB).text, "8");
    EXPECT_EQ(Show(8 * kMiB).unit, kMb);
    EXPECT_EQ(Show(kGiB + kGiB / 2).text, "1.5");
    EXPECT_EQ(Show(kGiB + kGiB / 2).unit, kGb);
    EXPECT_EQ(Show(kGiB + kGiB / 4).text, "1.25");
    EXPECT_EQ(Show(500 * kKiB).unit, kKb);
    // The command line's decimal sizes show in kilobytes, every digit kept.
    EXPECT_EQ(Show(1000000).text, "976.5625");
    EXPECT_EQ(Show(1000000).unit, kKb);
    // Whatever is shown reads back as the same bytes.
    for (qint64 bytes : {kKiB, 1000000LL, 104857LL, 3 * kMiB + 1, 2136746229LL, kMaxBytes}) {
        const Shown shown = Show(bytes);
        EXPECT_EQ(Parse(shown.text, shown.unit), bytes) << shown.text.toStdString();
    }
}

class SearchChoicesTest : public ::testing::Test {
protected:
    void SetUp() override { Open(); }
    void TearDown() override { delete window.data(); }

    void Open()
    {
        delete window.data();
        window = new CMainWnd;
        window->Create();
        window->videoEngine().SetPaused(true);
        window->show();
    }
    template <class T = QWidget>
    T* Control(const char* name) const
    {
        return window->FindControl<T>(name);
    }
    // Types into the field and ends the editing as Enter does.
    void Type(const char* field, const QString& text)
    {
        auto* edit = Control<QLineEdit>(field);
        edit->setFocus();
        edit->selectAll();
        edit->insert(text);
        Q_EMIT edit->editingFinished();
        QCoreApplication::processEvents();
    }
    void ChooseUnit(const char* list, int row)
    {
        auto* combo = Control<QComboBox>(list);
        combo->setCurrentIndex(row);
        Q_EMIT combo->activated(row);
    }
    QPointer<CMainWnd> window;
};

TEST_F(SearchChoicesTest, AFreshInstallationShowsNoLookAndNoLimit)
{
    for (const char* box : {"video-look-check", "image-look-check"})
        EXPECT_FALSE(Control<QAbstractButton>(box)->isChecked()) << box;
    for (const char* field : {"video-max-size", "image-max-size"})
        EXPECT_EQ(Control<QLineEdit>(field)->text(), "") << field;
    EXPECT_EQ(Control<QComboBox>("video-max-size-unit")->currentText(), "MB");
    EXPECT_EQ(ReadSetting(settings::kLook), 0);
    EXPECT_EQ(ReadSetting(settings::kMaxSize), 0);
}

TEST_F(SearchChoicesTest, EachPageWritesTheOneSettingBothPagesShowAndAFreshWindowShowsIt)
{
    Control<QAbstractButton>("video-quality-check")->click();
    Control<QAbstractButton>("radio-mp4")->click();
    Control<QAbstractButton>("video-look-check")->click();
    EXPECT_EQ(ReadSetting(settings::kLook), 1);
    EXPECT_TRUE(Control<QAbstractButton>("image-look-check")->isChecked());

    Type("image-max-size", "750");
    ChooseUnit("image-max-size-unit", sizelimit::kKb);
    EXPECT_EQ(ReadSetting(settings::kMaxSize), 750 * kKiB);
    EXPECT_EQ(Control<QLineEdit>("video-max-size")->text(), "750");
    EXPECT_EQ(Control<QComboBox>("video-max-size-unit")->currentIndex(), sizelimit::kKb);

    // A unit typed with the number is taken and shown in the list.
    Type("video-max-size", "1.5g");
    EXPECT_EQ(ReadSetting(settings::kMaxSize), kGiB + kGiB / 2);
    EXPECT_EQ(Control<QLineEdit>("image-max-size")->text(), "1.5");
    EXPECT_EQ(Control<QComboBox>("image-max-size-unit")->currentText(), "GB");

    Open();
    EXPECT_TRUE(Control<QAbstractButton>("video-look-check")->isChecked());
    EXPECT_TRUE(Control<QAbstractButton>("image-look-check")->isChecked());
    EXPECT_EQ(Control<QLineEdit>("video-max-size")->text(), "1.5");
    EXPECT_EQ(Control<QComboBox>("video-max-size-unit")->currentText(), "GB");

    // Emptying the field lifts the limit.
    Type("video-max-size", "");
    EXPECT_EQ(ReadSetting(settings::kMaxSize), 0);
    Control<QAbstractButton>("image-look-check")->click();
    EXPECT_EQ(ReadSetting(settings::kLook), 0);
    EXPECT_FALSE(Control<QAbstractButton>("video-look-check")->isChecked());
}

TEST_F(SearchChoicesTest, ASizeThatIsNoSizeIsRefusedWithANoticeAndWritesNothing)
{
    Type("video-max-size", "20");
    ASSERT_EQ(ReadSetting(settings::kMaxSize), 20 * kMiB);
    for (const char* bad : {"twenty", "3 GB", "0.2k"}) {
        SCOPED_TRACE(bad);
        QString notice;
        testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &notice);
        Type("video-max-size", bad);
        EXPECT_TRUE(notice.startsWith("大小上限")) << notice.toStdString();
        EXPECT_EQ(ReadSetting(settings::kMaxSize), 20 * kMiB);
        EXPECT_EQ(Control<QLineEdit>("video-max-size")->text(), "20") << "the stored size again";
    }
}

TEST_F(SearchChoicesTest, ASizeTypedButNotConfirmedIsCheckedBeforeAnythingIsQueued)
{
    ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
    VideoTask task;
    task.fileName = "clip.mp4";
    task.filePath = "/nonexistent/clip.mp4";
    window->AddVideoRow(task);
    // Typed, and the start button clicked at once (it does not take the focus).
    auto* edit = Control<QLineEdit>("video-max-size");
    edit->insert("lots");
    QString notice;
    testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &notice);
    Control<QAbstractButton>("all-compress")->click();
    EXPECT_TRUE(notice.startsWith("大小上限请填写数字")) << notice.toStdString();
    EXPECT_TRUE(window->videoEngine().IdleTasks().empty()) << "nothing was queued";

    edit->selectAll();
    edit->insert("12");
    Control<QAbstractButton>("all-compress")->click();
    EXPECT_EQ(ReadSetting(settings::kMaxSize), 12 * kMiB) << "written as the batch starts";
    EXPECT_EQ(window->videoEngine().IdleTasks(), std::vector<int>{0});
}

TEST_F(SearchChoicesTest, ASizeWrittenElsewhereIsNotOverwrittenByAFieldNobodyTouched)
{
    ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
    // The command line (or another window) stores a size while this window shows none.
    ASSERT_TRUE(WriteSetting(settings::kMaxSize, 5 * kMiB));
    VideoTask task;
    task.fileName = "clip.mp4";
    task.filePath = "/nonexistent/clip.mp4";
    window->AddVideoRow(task);
    Control<QAbstractButton>("all-compress")->click();
    EXPECT_EQ(ReadSetting(settings::kMaxSize), 5 * kMiB);
    Q_EMIT Control<QLineEdit>("image-max-size")->editingFinished();
    EXPECT_EQ(ReadSetting(settings::kMaxSize), 5 * kMiB);
}

TEST_F(SearchChoicesTest, TheVideoLookIsGreyedWithTheReasonWhereThePageGivesItNoSearch)
{
    auto* look = Control<QAbstractButton>("video-look-check");
    auto* imageLook = Control<QAbstractButton>("image-look-check");
    // The source's container is kept by default: its own codec, no CRF.
    EXPECT_FALSE(look->isEnabled());
    EXPECT_TRUE(look->toolTip().contains("保留原格式时")) << look->toolTip().toStdString();
    EXPECT_TRUE(imageLook->isEnabled());

    // Bit-rate encodes (no quality mode) have no CRF to search either.
    Control<QAbstractButton>("radio-mkv")->click();
    EXPECT_FALSE(look->isEnabled());
    EXPECT_TRUE(look->toolTip().contains("画质优先")) << look->toolTip().toStdString();

    Control<QAbstractButton>("video-quality-check")->click();
    EXPECT_TRUE(look->isEnabled());
    EXPECT_TRUE(look->toolTip().contains("SSIM")) << "its own explanation again";

    // Compatible mode writes MP4 with MPEG-4 at a bit rate; MKV stays H.264.
    Control<QAbstractButton>("video-compress-compatible-check")->click();
    EXPECT_TRUE(look->isEnabled());
    Control<QAbstractButton>("radio-mp4")->click();
    EXPECT_FALSE(look->isEnabled());
    EXPECT_TRUE(look->toolTip().contains("兼容模式下")) << look->toolTip().toStdString();
    Control<QAbstractButton>("video-compress-compatible-check")->click();
    EXPECT_TRUE(look->isEnabled());

    // A size limit rules over the look on both pages.
    Type("image-max-size", "5");
    EXPECT_FALSE(look->isEnabled());
    EXPECT_FALSE(imageLook->isEnabled());
    EXPECT_TRUE(imageLook->toolTip().contains("大小上限")) << imageLook->toolTip().toStdString();
    Type("image-max-size", "");
    EXPECT_TRUE(look->isEnabled());
    EXPECT_TRUE(imageLook->isEnabled());
}

}  // namespace
