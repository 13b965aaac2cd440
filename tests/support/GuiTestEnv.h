// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

#include "support/ServiceGuard.h"
#include "support/TestEnv.h"

class QWidget;

// What the window tests add to TestEnv.h: finding and answering the program's windows.
namespace testenv {

// The visible top-level window whose class name (WindowImplBase::GetWindowClassName) is
// className, or null.
QWidget* FindShownWindow(const QString& className);

// Watches, from the event loop, for a visible window of className and clicks its button
// buttonName once it appears; the text of its "msgText" label (if any) lands in *seenText.
// Use it before an action that runs a modal loop. The watch ends with the test.
void ClickWhenShown(const QString& className, const QString& buttonName,
                    QString* seenText = nullptr, int timeoutMs = 5000);

// Clicks buttonName in every window of className that shows up while it lives (checked every
// 20 ms from the event loop), and records the "msgText" of each and what the callback returns.
class AutoAnswer {
public:
    AutoAnswer(const QString& className, const QString& buttonName,
               std::function<QString()> onShown = nullptr);
    ~AutoAnswer();
    const QStringList& texts() const { return texts_; }
    const QStringList& notes() const { return notes_; }

private:
    QObject* timer_;
    QStringList texts_;
    QStringList notes_;
};

// The visible labels (those that do not wrap), buttons and check boxes below root that are
// narrower than their text needs, as "name: text"; empty when every text shows whole.
QStringList CutTexts(QWidget* root);

// With LUMO_SCREENSHOT_DIR set, saves the whole screen (tooltips and popups included) as
// name.png there, after the event loop has run for settleMs; otherwise does nothing. Run the
// test on a real display (QT_QPA_PLATFORM=xcb with Xvfb) for a picture of what a user sees.
void SaveScreenshot(const QString& name, int settleMs = 300);

// The real program as the tests start it: a copy in a folder of its own beside the test
// executables, with the skin and the tests' Config.ini (see ServiceGuard.h), so a start-up
// upgrade check goes nowhere.
QString ProgramPath();

// The skin folder of the build, and making it the one windows are built from (with its style
// sheet and icon).
QString BuiltSkinFolder();
void UseBuiltSkin();

// Ends what a test left behind in the window system: every top-level widget is deleted (a
// window still open, a menu, a dialog; the program's single menus and dialogs with them),
// pending deletions run, ClickWhenShown watches still waiting stop, a quit request of a main
// window that ended is forgotten, and the built skin is back in place. So the next test finds
// the application as a fresh start would.
class WindowCleanup : public ::testing::EmptyTestEventListener {
public:
    void OnTestEnd(const ::testing::TestInfo& test) override;
};

}  // namespace testenv
