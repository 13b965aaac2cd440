// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QPointer>
#include <functional>
#include <span>

#include "gui/skinlib/WindowImplBase.h"

// The pop-up menu of a list row, opened from the row's menu button. Choosing an item posts the
// item's message to the owner (the main window) with the row's task id as wParam and lParam 0;
// the owner's handler does the work. The menu closes when an item is chosen, on Escape and when
// it loses the focus (a click anywhere else), ignores the mouse wheel, and deletes itself once
// closed. One row menu is open at a time.
class RowMenu : public WindowImplBase {
    Q_OBJECT
public:
    // Which rows an item is offered for: every row, or only rows that wait or run (a cancel),
    // or only rows that have been compressed, kept their source or failed (a re-compress).
    enum class Offered { Always, WhileQueued, OnceEnded };
    struct Item {
        const char* name;
        int message;
        Offered offered = Offered::Always;
        // The item's text on a row whose source was kept (a text marked for translation), when
        // it differs there.
        const char* keptText = nullptr;
    };

    ~RowMenu() override;

    // The task id of the row the menu was opened for (the tag of its menu button).
    int TaskId() const { return taskId_; }

    // Where a menu of size opens for a click within area (the screen's available area; an
    // invalid area keeps no bounds): its top-right corner at the click, opening upwards (its
    // bottom-right corner at the click) when there is no room below, then moved back inside
    // the area where it would still leave it.
    static QPoint PlaceAt(const QPoint& click, const QSize& size, const QRect& area);

    QString GetSkinFile() const override { return skinFile_; }

protected:
    RowMenu(QWidget* owner, const QString& skinFile, std::span<const Item> items);

    // Opens a menu of kind for the row whose menu button is sender at the click point (screen
    // coordinates), made by create when no menu of that kind is open; an open one is moved
    // there and takes the new row instead. It offers the items that fit the row's state (see
    // RowState in RowBuilder.h). Null, and nothing opens, without a sender.
    static RowMenu* Open(QWidget* owner, QWidget* sender, const QPoint& click,
                         const QMetaObject& kind, const std::function<RowMenu*()>& create);

    void Notify(skin::Notification& msg) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    static QPointer<RowMenu>& Current();
    // Shows the items offered for the row that holds sender, and fits the menu to them.
    void OfferFor(const QWidget* sender);

    QString skinFile_;
    std::span<const Item> items_;
    QPointer<QWidget> owner_;
    int taskId_ = 0;
};

// The menu of a video row: "seting-param" (UM_VIDEO_PARAM), "open-dir" (UM_VIDEO_OPEN_DIR: the
// output folder, or the source's folder on a row whose source was kept),
// "repeat-compress" (UM_VIDEO_RECOMPRESS, for a row that has ended),
// "cancel-compress" (UM_VIDEO_CANCEL, for a row that waits or runs), "file-delete"
// (UM_VIDEO_DELETE).
class PopMenu : public RowMenu {
    Q_OBJECT
public:
    explicit PopMenu(QWidget* owner);

    // Opens the menu for the row of the "videoMenuBtn" sender at click (screen coordinates).
    static PopMenu* Popup(QWidget* owner, QWidget* sender, const QPoint& click);

    QString GetWindowClassName() const override { return QStringLiteral("PopMenu"); }
};

// The menu of an image row: "open-image-dir" (UM_IMAGE_OPEN_DIR), "repeat-image-compress"
// (UM_IMAGE_RECOMPRESS, for a row that has ended), "cancel-image-compress"
// (UM_IMAGE_CANCEL, for a row that waits or runs), "file-image-delete" (UM_IMAGE_DELETE).
class ImagePopMenu : public RowMenu {
    Q_OBJECT
public:
    explicit ImagePopMenu(QWidget* owner);

    // Opens the menu for the row of the "imageMenuBtn" sender at click (screen coordinates).
    static ImagePopMenu* Popup(QWidget* owner, QWidget* sender, const QPoint& click);

    QString GetWindowClassName() const override { return QStringLiteral("ImagePopMenu"); }
};
