// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QLabel>
#include <QPointer>
#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "core/image/ImageEngine.h"
#include "core/image/ImageEngineSink.h"
#include "gui/image/ImageRows.h"
#include "gui/intake/RowBuilder.h"
#include "gui/intake/RowsContext.h"
#include "gui/skinlib/SkinList.h"
#include "gui/skinlib/WindowImplBase.h"
#include "support/GuiTestEnv.h"

// The image rows on a window of the main layout that is not the main window: what they do
// depends only on what their context hands them.
namespace {

class ListsWindow : public WindowImplBase {
public:
    ListsWindow() : WindowImplBase(nullptr, Kind::Main) {}
    QString GetWindowClassName() const override { return QStringLiteral("ListsWindow"); }
    QString GetSkinFile() const override { return QStringLiteral("MainWindow.xml"); }

protected:
    QWidget* CreateControl(const QString& className, QWidget* parent) override
    {
        return className == QLatin1String("ElipsePhoto") ? new QLabel(parent) : nullptr;
    }
};

// The engine is never started: queued rows stay in its waiting list.
struct NoReports : ImageEngineSink {
    void TaskStarted(int) override {}
    void TaskDone(int, ImageDoneRecord) override {}
    void TaskFailed(int, const QString&) override {}
    void TaskCancelled(int) override {}
};

class ImageRowsGateTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        window = new ListsWindow;
        window->Create();
        window->show();
        const RowsContext context{
            *window,
            [this] {
                calls.push_back("sign-in");
                return signedIn;
            },
            [this] { return nextId++; },
            nullptr,
        };
        rows = std::make_unique<ImageRows>(context, engine, [this] {
            calls.push_back("size");
            return sizeAccepted;
        });
    }
    void TearDown() override
    {
        rows.reset();
        delete window.data();
    }

    int AddImage(const QString& name)
    {
        ImageTask task;
        task.fileName = name;
        task.filePath = "/nonexistent/" + name;
        return rows->Add(task);
    }
    QWidget* Row(int id) const
    {
        return window->FindControl<SkinList>("image-list")->FindRow(RowName(id));
    }

    QPointer<ListsWindow> window;
    NoReports reports;
    ImageEngine engine{reports, [] { return ImageSettings{}; }};
    std::unique_ptr<ImageRows> rows;
    std::vector<std::string> calls;
    bool signedIn = false;
    bool sizeAccepted = false;
    int nextId = 40;
};

TEST_F(ImageRowsGateTest, RowsTakeTheirIdsFromTheContextsSource)
{
    EXPECT_EQ(AddImage("a.jpg"), 40);
    EXPECT_EQ(AddImage("b.png"), 41);
    EXPECT_EQ(window->FindControl<SkinList>("image-list")->Count(), 2);
    ASSERT_NE(Row(41), nullptr);
    EXPECT_EQ(engine.FindTask(41)->filePath, "/nonexistent/b.png");
    EXPECT_TRUE(calls.empty()) << "adding a row asks nothing";
}

TEST_F(ImageRowsGateTest, StartAllOnAnEmptyListSaysSoBeforeAskingForASignIn)
{
    QString shown;
    testenv::ClickWhenShown("PromptBoxDialog", "msgConfirm", &shown);
    rows->StartAll();
    EXPECT_EQ(shown, "请先添加要压缩的文件!");
    EXPECT_TRUE(calls.empty());
}

// Each way of starting a row passes the sign-in check and then the size check, in that order,
// before anything is queued.
struct StartWay {
    const char* name;
    std::function<void(ImageRows&, QWidget* row, int id)> start;
};

void PrintTo(const StartWay& way, std::ostream* os)
{
    *os << way.name;
}

class ImageRowsStartTest : public ImageRowsGateTest,
                           public ::testing::WithParamInterface<StartWay> {};

TEST_P(ImageRowsStartTest, QueuesOnlyWhenTheSignInAndThenTheSizeCheckPass)
{
    const int id = AddImage("a.jpg");
    const auto start = [&] { GetParam().start(*rows, Row(id), id); };

    start();
    EXPECT_EQ(calls, std::vector<std::string>{"sign-in"}) << "no size check without a user";
    EXPECT_TRUE(engine.IdleTasks().empty());

    calls.clear();
    signedIn = true;
    start();
    EXPECT_EQ(calls, (std::vector<std::string>{"sign-in", "size"}));
    EXPECT_TRUE(engine.IdleTasks().empty());

    sizeAccepted = true;
    start();
    EXPECT_EQ(engine.IdleTasks(), std::vector<int>{id});
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ImageRowsStartTest,
    ::testing::Values(StartWay{"RowButton",
                               [](ImageRows& rows, QWidget* row, int) {
                                   rows.Start(row->findChild<QWidget*>("imageCompressBtn"));
                               }},
                      StartWay{"StartAll", [](ImageRows& rows, QWidget*, int) { rows.StartAll(); }},
                      StartWay{"Recompress",
                               [](ImageRows& rows, QWidget*, int id) { rows.Recompress(id); }}),
    [](const ::testing::TestParamInfo<StartWay>& info) { return info.param.name; });

}  // namespace
