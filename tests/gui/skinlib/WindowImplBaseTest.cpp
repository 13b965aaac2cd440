// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <thread>

#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinBuilder.h"
#include "gui/skinlib/SkinList.h"
#include "gui/skinlib/WindowImplBase.h"
#include "support/GuiTestEnv.h"

namespace {

// A layout with one control of every kind the program's windows use.
const char kLayout[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <class>Probe</class>
 <widget class="QWidget" name="Probe">
  <property name="geometry"><rect><x>0</x><y>0</y><width>320</width><height>200</height></rect></property>
  <property name="windowTitle"><string>探针</string></property>
  <layout class="QVBoxLayout">
   <item><widget class="QWidget" name="caption"/></item>
   <item><widget class="QPushButton" name="go"/></item>
   <item><widget class="QPushButton" name="closebtn"/></item>
   <item><widget class="QWidget" name="group">
     <layout class="QHBoxLayout">
      <item><widget class="QRadioButton" name="optA"/></item>
      <item><widget class="QRadioButton" name="optB"/></item>
     </layout></widget></item>
   <item><widget class="QCheckBox" name="check"/></item>
   <item><widget class="QComboBox" name="combo">
     <item><property name="text"><string>a</string></property></item>
     <item><property name="text"><string>b</string></property></item>
   </widget></item>
   <item><widget class="QSlider" name="slider"><property name="orientation"><enum>Qt::Horizontal</enum></property></widget></item>
   <item><widget class="SkinList" name="rows"/></item>
   <item><widget class="Avatar" name="avatar"/></item>
  </layout>
 </widget>
 <customwidgets>
  <customwidget><class>SkinList</class><extends>QScrollArea</extends><header>skinlib/SkinList.h</header></customwidget>
  <customwidget><class>Avatar</class><extends>QLabel</extends><header>avatar.h</header></customwidget>
 </customwidgets>
</ui>
)";

const char kRow[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<ui version="4.0">
 <widget class="QWidget" name="row">
  <layout class="QHBoxLayout"><item><widget class="QPushButton" name="rowBtn"/></item></layout>
 </widget>
</ui>
)";

struct Seen {
    QString type;
    QString name;
    qintptr wParam;
};

struct Payload : skin::MessageRecord {
    explicit Payload(bool* freed) : freed(freed) {}
    ~Payload() override { *freed = true; }
    bool* freed;
};

class ProbeWindow : public WindowImplBase {
public:
    explicit ProbeWindow(QWidget* parent = nullptr) : WindowImplBase(parent, Kind::Dialog) {}
    QString GetWindowClassName() const override { return "ProbeWindow"; }
    QString GetSkinFile() const override { return file; }

    QString file = "Probe.xml";
    std::vector<Seen> seen;
    std::vector<std::pair<int, Qt::HANDLE>> messages;
    bool keepOpen = false;
    bool* destroyedFlag = nullptr;
    bool initRan = false;

protected:
    void InitWindow() override
    {
        initRan = true;
        // Changes made while the window is built are not notifications.
        FindControl<QRadioButton>("optA")->setChecked(true);
    }
    void Notify(skin::Notification& msg) override
    {
        seen.push_back({msg.type, msg.senderName, msg.wParam});
        WindowImplBase::Notify(msg);
    }
    qintptr HandleCustomMessage(skin::Message& msg, bool& handled) override
    {
        messages.emplace_back(msg.id, QThread::currentThreadId());
        handled = true;
        return 0;
    }
    bool OnClose(qintptr) override { return keepOpen; }
    void OnFinalMessage() override
    {
        if (destroyedFlag) *destroyedFlag = true;
        WindowImplBase::OnFinalMessage();
    }
    QWidget* CreateControl(const QString& className, QWidget* parent) override
    {
        if (className != "Avatar") return nullptr;
        auto* label = new QLabel(parent);
        label->setProperty("madeByWindow", true);
        return label;
    }
};

class WindowImplBaseTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(testenv::WriteFile(dir.path() + "/Probe.xml", kLayout));
        ASSERT_TRUE(testenv::WriteFile(dir.path() + "/Row.xml", kRow));
        skin::SetSkinFolder(dir.path());
        window = new ProbeWindow;
        window->Create();
        window->show();
    }
    void TearDown() override { delete window.data(); }

    std::vector<::Seen> SeenOf(const QString& type) const
    {
        std::vector<::Seen> out;
        for (const auto& s : window->seen)
            if (s.type == type) out.push_back(s);
        return out;
    }

    QTemporaryDir dir;
    QPointer<ProbeWindow> window;
};

TEST_F(WindowImplBaseTest, BuildsFromTheLayoutAndMakesCustomControlsThroughTheWindow)
{
    EXPECT_TRUE(window->initRan);
    EXPECT_EQ(window->windowTitle(), "探针");
    EXPECT_NE(window->FindControl<QPushButton>("go"), nullptr);
    EXPECT_EQ(window->FindControl("missing"), nullptr);
    EXPECT_NE(window->FindControl<SkinList>("rows"), nullptr);
    ASSERT_NE(window->FindControl("avatar"), nullptr);
    EXPECT_TRUE(window->FindControl("avatar")->property("madeByWindow").toBool());
    EXPECT_TRUE(window->seen.empty()) << "InitWindow's own changes must not notify";
}

TEST_F(WindowImplBaseTest, ControlsReportTheirNotifications)
{
    window->FindControl<QPushButton>("go")->click();
    window->FindControl<QRadioButton>("optB")->click();
    window->FindControl<QCheckBox>("check")->click();
    window->FindControl<QCheckBox>("check")->click();
    QComboBox* combo = window->FindControl<QComboBox>("combo");
    emit combo->activated(1);
    combo->setCurrentIndex(0);  // a change by the program itself is no user selection
    window->FindControl<QSlider>("slider")->setValue(35);

    const auto clicks = SeenOf(skin::kClick);
    ASSERT_EQ(clicks.size(), 4u);
    EXPECT_EQ(clicks[0].name, "go");

    // An option reports being selected, not the deselection of its neighbour; a check box
    // reports both states.
    const auto selects = SeenOf(skin::kSelectChanged);
    ASSERT_EQ(selects.size(), 3u);
    EXPECT_EQ(selects[0].name, "optB");
    EXPECT_EQ(selects[0].wParam, 1);
    EXPECT_EQ(selects[1].name, "check");
    EXPECT_EQ(selects[1].wParam, 1);
    EXPECT_EQ(selects[2].wParam, 0);

    const auto items = SeenOf(skin::kItemSelect);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].wParam, 1);

    const auto values = SeenOf(skin::kValueChanged);
    ASSERT_EQ(values.size(), 1u);
    EXPECT_EQ(values[0].wParam, 35);
}

TEST_F(WindowImplBaseTest, AControlWithItsMouseOffKeepsItsLookButDoesNotAct)
{
    QPushButton* go = window->FindControl<QPushButton>("go");
    skin::SetMouseEnabled(go, false);
    EXPECT_TRUE(go->isEnabled());
    EXPECT_FALSE(skin::IsMouseEnabled(go));
    go->click();  // the keyboard's way in
    EXPECT_TRUE(SeenOf(skin::kClick).empty());

    skin::SetMouseEnabled(go, true);
    go->click();
    EXPECT_EQ(SeenOf(skin::kClick).size(), 1u);
}

TEST_F(WindowImplBaseTest, RowsAddedToAListNotifyTheWindowAndCarryTheirTag)
{
    auto* list = window->FindControl<SkinList>("rows");
    QWidget* row = skin::Build("Row.xml", nullptr, nullptr);
    ASSERT_NE(row, nullptr);
    row->setObjectName("item-7");
    skin::SetTag(row->findChild<QPushButton*>("rowBtn"), 7);
    list->AddRow(row);

    EXPECT_EQ(list->Count(), 1);
    EXPECT_EQ(list->FindRow("item-7"), row);
    EXPECT_EQ(list->RowAt(0), row);
    EXPECT_EQ(list->RowAt(1), nullptr);
    row->findChild<QPushButton*>("rowBtn")->click();
    ASSERT_EQ(SeenOf(skin::kClick).size(), 1u);
    EXPECT_EQ(window->seen.back().name, "rowBtn");
    EXPECT_EQ(skin::GetTag(row->findChild<QPushButton*>("rowBtn")), 7);

    EXPECT_TRUE(list->RemoveRow(row));
    EXPECT_FALSE(list->RemoveRow(row));
    EXPECT_EQ(list->Count(), 0);
}

TEST_F(WindowImplBaseTest, MessagesPostedFromAnotherThreadAreHandledOnTheWindowsThread)
{
    std::thread poster([this] {
        for (int id = 1; id <= 3; ++id) skin::PostMessage(window.data(), skin::WM_USER + id);
    });
    poster.join();
    ASSERT_TRUE(testenv::WaitUntil([this] { return window->messages.size() == 3; }));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(window->messages[i].first, skin::WM_USER + i + 1) << "in posting order";
        EXPECT_EQ(window->messages[i].second, QThread::currentThreadId());
    }
}

TEST_F(WindowImplBaseTest, ARecordPostedToAWindowThatIsGoneIsFreed)
{
    bool freed = false;
    skin::Message message;
    message.id = skin::WM_USER + 1;
    message.record = std::make_unique<Payload>(&freed);
    skin::PostMessage(window.data(), std::move(message));
    delete window.data();
    QCoreApplication::processEvents();
    EXPECT_TRUE(freed);
}

TEST_F(WindowImplBaseTest, ShowModalReturnsTheValueGivenToCloseAndTheWindowDeletesItself)
{
    bool finalRan = false;
    window->destroyedFlag = &finalRan;
    QTimer::singleShot(50, window.data(), [this] { window->Close(42); });
    EXPECT_EQ(window->ShowModal(), 42);
    EXPECT_TRUE(finalRan);
    EXPECT_TRUE(testenv::WaitUntil([this] { return window.isNull(); }));
}

TEST_F(WindowImplBaseTest, TheCloseButtonAndEscapeEndAModalLoopWithZero)
{
    QTimer::singleShot(50, window.data(),
                       [this] { window->FindControl<QPushButton>("closebtn")->click(); });
    EXPECT_EQ(window->ShowModal(), 0);
    EXPECT_TRUE(testenv::WaitUntil([this] { return window.isNull(); }));

    window = new ProbeWindow;
    window->Create();
    QTimer::singleShot(50, window.data(), [this] {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(window.data(), &escape);
    });
    EXPECT_EQ(window->ShowModal(), 0);
}

TEST_F(WindowImplBaseTest, OnCloseCanKeepTheWindowOpen)
{
    window->keepOpen = true;
    window->Close(1);
    QCoreApplication::processEvents();
    ASSERT_FALSE(window.isNull());
    EXPECT_TRUE(window->isVisible());

    window->keepOpen = false;
    window->Close(1);
    EXPECT_FALSE(window->isVisible());
    EXPECT_TRUE(testenv::WaitUntil([this] { return window.isNull(); }));
}

TEST(SkinBuilderTest, AMissingOrBrokenLayoutIsAnErrorNotACrash)
{
    QTemporaryDir dir;
    skin::SetSkinFolder(dir.path());
    testenv::WriteFile(dir.path() + "/Broken.xml", "<ui version=\"4.0\"><widget class=");
    QString error;
    EXPECT_EQ(skin::Build("Absent.xml", nullptr, nullptr, &error), nullptr);
    EXPECT_TRUE(error.contains("Absent.xml"));
    EXPECT_EQ(skin::Build("Broken.xml", nullptr, nullptr, &error), nullptr);
    EXPECT_FALSE(error.isEmpty());
    EXPECT_FALSE(skin::LoadResources(&error)) << "no res.xml in the folder";

    class Window : public WindowImplBase {
    public:
        QString GetWindowClassName() const override { return "W"; }
        QString GetSkinFile() const override { return "Absent.xml"; }
    };
    Window window;
    EXPECT_THROW(window.Create(), std::runtime_error);
}

}  // namespace
