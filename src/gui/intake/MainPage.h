// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QList>
#include <QMetaObject>
#include <QString>
#include <QtGlobal>

#include "gui/skinlib/Notification.h"

class QWidget;
class WindowImplBase;

// The main page's own controls: the compression options (each written to the settings the
// moment it is chosen), the slider's label, select-all for both lists, the custom image size.
// The rows, intake, the account area and the window buttons are handled elsewhere.
class MainPage {
public:
    // window: the window that shows the page.
    explicit MainPage(WindowImplBase& window) : window_(window) {}
    // The page's controls outlive it while the window goes (a field's focus-out comes then):
    // what they were connected to here is cut first.
    ~MainPage();
    MainPage(const MainPage&) = delete;
    MainPage& operator=(const MainPage&) = delete;

    // Handles the notification when it is one of the page's; false otherwise.
    bool Notify(const skin::Notification& msg);

    // With "image-define-param" checked, the width and then the height field must hold digits
    // (blanks around them allowed); otherwise the first problem is shown and false returned.
    bool CheckCustomImageSize();

    // "Same look, smallest file" ("video-look-check", "image-look-check") and "fit under a size"
    // ("video-max-size" and "image-max-size", each with its unit list "...-unit") are one
    // setting each ("look", "max-size") shown on both pages. Shows them from the settings and
    // writes the fields when their editing ends (Enter, leaving the field, another unit); a
    // text that is no size is refused with a notice, writes nothing and the field shows the
    // stored size again. Called once the page's controls exist.
    void FollowSearchChoices();
    // Writes what a size field holds and has not yet been written (the start buttons do not
    // take the focus from it); false after the notice when it is no size. Called before
    // anything is queued.
    bool CommitSizeLimits();
    // Greys the video page's look box where the page's choices give it no constant-quality
    // encode to search in (see PageReach), and the image page's under a size limit, the reason
    // in the tooltip. Follows the page's options by itself once FollowSearchChoices has run.
    void ShowLookReach();

    // Keeps each list's select-all box ("videoCheckBoxAll", "imageCheckBoxAll") ticked exactly
    // while the list has rows and all of them are ticked: after a row is ticked or unticked,
    // added or removed. Called once the page's controls exist.
    void FollowRows();

private:
    bool OnClick(const skin::Notification& msg);
    // Reads the size field of the named page ("video" or "image") when the user typed into it
    // or chose another unit and, when it holds a size other than the stored one, writes it and
    // shows it on both pages.
    bool CommitSizeLimit(const char* page, bool unitChosen = false);
    void ShowSizeLimit(qint64 bytes);
    bool OnSelectChanged(const skin::Notification& msg);
    bool OnItemSelect(const skin::Notification& msg);
    void SelectAll(QWidget* selectAll, const char* listName, const char* checkName);
    void SyncSelectAll(const char* boxName, const char* listName, const char* checkName);

    WindowImplBase& window_;
    QList<QMetaObject::Connection> connections_;
    bool committing_ = false;  // a refusal's notice is open: the field's focus-out is its own
    QString lookTip_[2];       // the look boxes' own tooltips, video then image
};
