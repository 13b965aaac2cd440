// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTextEdit>
#include <QTranslator>

#include "core/app/Language.h"
#include "core/app/UserAccount.h"
#include "core/video/VideoEngine.h"
#include "gui/app/LoginDialog.h"
#include "gui/app/MainTaskMenu.h"
#include "gui/app/MainWnd.h"
#include "gui/app/SetingDialog.h"
#include "gui/intake/RowMenu.h"
#include "gui/net/FeedbackDialog.h"
#include "gui/video/ParamDialog.h"
#include "support/GuiTestEnv.h"
#include "support/Printers.h"

namespace {

// Every text a user can read on a shown widget: labels, buttons, tooltips, fields' hints, the
// items of drop-down lists and window titles. Each entry names the widget it came from.
QStringList VisibleTexts()
{
    QStringList texts;
    for (QWidget* top : QApplication::topLevelWidgets()) {
        if (!top->isVisible()) continue;
        QList<QWidget*> widgets = top->findChildren<QWidget*>();
        widgets.prepend(top);
        for (QWidget* widget : widgets) {
            if (!widget->isVisibleTo(top) && widget != top) continue;
            const QString where = top->objectName() + "/" + widget->objectName() + ": ";
            auto add = [&](const QString& text) {
                if (!text.isEmpty()) texts << where + text;
            };
            add(widget->toolTip());
            if (widget->isWindow()) add(widget->windowTitle());
            if (auto* label = qobject_cast<QLabel*>(widget)) add(label->text());
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) add(button->text());
            if (auto* edit = qobject_cast<QLineEdit*>(widget)) add(edit->placeholderText());
            if (auto* edit = qobject_cast<QTextEdit*>(widget)) add(edit->placeholderText());
            if (auto* edit = qobject_cast<QPlainTextEdit*>(widget)) add(edit->placeholderText());
            if (auto* combo = qobject_cast<QComboBox*>(widget))
                for (int i = 0; i < combo->count(); ++i) add(combo->itemText(i));
        }
    }
    return texts;
}

QStringList WithChinese(const QStringList& texts)
{
    static const QRegularExpression han("\\p{Han}");
    return texts.filter(han);
}

// The main window with a row on each page, and every dialog and menu it opens, all shown at once.
class LanguageTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const QPointer<QWidget>& dialog : dialogs) delete dialog.data();
        delete window.data();
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }

    void OpenEverything()
    {
        ASSERT_TRUE(UserAccount::Instance().SignInWithMobile("13800138000"));
        window = new CMainWnd;
        window->Create();
        window->videoEngine().SetPaused(true);
        window->show();
        VideoTask task;
        task.fileName = "a.mp4";
        task.filePath = testenv::Home() + "/a.mp4";
        task.fileDir = testenv::Home() + "/";
        const int videoRow = window->AddVideoRow(task);
        task.fileName = "b.png";
        task.filePath = testenv::Home() + "/b.png";
        window->AddImageRow(task);

        for (WindowImplBase* dialog : std::initializer_list<WindowImplBase*>{
                 new SetingDialog(window), new LoginDialog(window), new FeedbackDialog(window),
                 new ParamDialog(window, videoRow, CompressParams{}), new PopMenu(window),
                 new ImagePopMenu(window), new CMainTaskMenu(window, "MainTaskMenu.xml")}) {
            dialog->Create();
            dialog->show();
            dialogs.append(dialog);
        }
    }

    QPointer<CMainWnd> window;
    QList<QPointer<QWidget>> dialogs;
};

TEST_F(LanguageTest, AnEnglishLocaleShowsNoChineseTextAnywhere)
{
    ASSERT_EQ(language::Install(*qApp, QLocale("en_US")), language::Interface::English);
    OpenEverything();
    const QStringList texts = VisibleTexts();
    EXPECT_GT(texts.size(), 100) << "the windows were shown";
    EXPECT_EQ(WithChinese(texts), QStringList{});
    EXPECT_TRUE(texts.contains("/: LUMO Video Compressor")) << "the window title";

    // Both pages: the image page's own texts too.
    window->FindControl<QAbstractButton>("compress-image")->click();
    EXPECT_EQ(WithChinese(VisibleTexts()), QStringList{});
}

// The drop-down lists of the window shown whose longest entry does not fit their text area.
QStringList ClippedLists(QWidget* window)
{
    QStringList clipped;
    for (QComboBox* combo : window->findChildren<QComboBox*>()) {
        if (!combo->isVisibleTo(window)) continue;
        QStyleOptionComboBox option;
        option.initFrom(combo);
        option.subControls = QStyle::SC_All;
        const QRect text = combo->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, combo);
        for (int i = 0; i < combo->count(); ++i) {
            if (combo->fontMetrics().horizontalAdvance(combo->itemText(i)) > text.width())
                clipped << combo->objectName() + ": " + combo->itemText(i);
        }
    }
    return clipped;
}

TEST_F(LanguageTest, TheEnglishPagesShowEveryListEntryWhole)
{
    ASSERT_EQ(language::Install(*qApp, QLocale("en_US")), language::Interface::English);
    OpenEverything();
    window->resize(1000, 700);
    QCoreApplication::processEvents();
    EXPECT_EQ(ClippedLists(window), QStringList{}) << "the video page";
    window->FindControl<QAbstractButton>("compress-image")->click();
    QCoreApplication::processEvents();
    EXPECT_EQ(ClippedLists(window), QStringList{}) << "the image page";
}

TEST_F(LanguageTest, AChineseOrUnknownLocaleKeepsTheOriginalTexts)
{
    for (const char* name : {"zh_CN", "zh_TW", "de_DE", "C"}) {
        EXPECT_EQ(language::Install(*qApp, QLocale(name)), language::Interface::Chinese) << name;
    }
    OpenEverything();
    const QStringList texts = VisibleTexts();
    EXPECT_TRUE(texts.contains("/: LUMO视频压缩")) << "the window title";
    EXPECT_GT(WithChinese(texts).size(), 50);
}

TEST(MessagesLocaleTest, FollowsLcAllThenLcMessagesThenLang)
{
    const QByteArray saved[] = {qgetenv("LC_ALL"), qgetenv("LC_MESSAGES"), qgetenv("LANG")};
    qunsetenv("LC_ALL");
    qputenv("LC_MESSAGES", "");
    qputenv("LANG", "en_GB.UTF-8");
    EXPECT_EQ(language::MessagesLocale().language(), QLocale::English);
    qputenv("LC_MESSAGES", "zh_CN.UTF-8");
    EXPECT_EQ(language::MessagesLocale().language(), QLocale::Chinese);
    qputenv("LC_ALL", "en_US.UTF-8@euro");
    EXPECT_EQ(language::MessagesLocale().language(), QLocale::English);
    qunsetenv("LC_ALL");
    qunsetenv("LC_MESSAGES");
    qunsetenv("LANG");
    EXPECT_EQ(language::For(language::MessagesLocale()), language::Interface::Chinese);
    qputenv("LC_ALL", saved[0]);
    qputenv("LC_MESSAGES", saved[1]);
    qputenv("LANG", saved[2]);
}

}  // namespace
