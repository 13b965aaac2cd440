// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/intake/RowMenu.h"

#include <QAbstractButton>
#include <QGuiApplication>
#include <QLayout>
#include <QScreen>
#include <QWheelEvent>
#include <algorithm>
#include <memory>

#include "core/app/Language.h"
#include "gui/intake/RowBuilder.h"
#include "gui/skinlib/Controls.h"
#include "gui/ui/WindowMessages.h"

namespace {

using Offered = RowMenu::Offered;

constexpr char kOpenSourceFolderText[] = QT_TRANSLATE_NOOP("LumoCompress", "打开原文件目录");

constexpr RowMenu::Item kVideoItems[] = {
    {"seting-param", UM_VIDEO_PARAM},
    {"open-dir", UM_VIDEO_OPEN_DIR, Offered::Always, kOpenSourceFolderText},
    {"repeat-compress", UM_VIDEO_RECOMPRESS, Offered::OnceEnded},
    {"cancel-compress", UM_VIDEO_CANCEL, Offered::WhileQueued},
    {"file-delete", UM_VIDEO_DELETE},
};

constexpr RowMenu::Item kImageItems[] = {
    {"open-image-dir", UM_IMAGE_OPEN_DIR, Offered::Always, kOpenSourceFolderText},
    {"repeat-image-compress", UM_IMAGE_RECOMPRESS, Offered::OnceEnded},
    {"cancel-image-compress", UM_IMAGE_CANCEL, Offered::WhileQueued},
    {"file-image-delete", UM_IMAGE_DELETE},
};

// The row a control belongs to: its nearest ancestor with a row state.
const QWidget* RowOf(const QWidget* control)
{
    for (const QWidget* widget = control; widget; widget = widget->parentWidget()) {
        if (widget->property("rowState").isValid()) return widget;
    }
    return nullptr;
}

}  // namespace

RowMenu::RowMenu(QWidget* owner, const QString& skinFile, std::span<const Item> items)
    : WindowImplBase(owner, Kind::Popup), skinFile_(skinFile), items_(items), owner_(owner)
{
}

RowMenu::~RowMenu() = default;

QPointer<RowMenu>& RowMenu::Current()
{
    static QPointer<RowMenu> menu;
    return menu;
}

RowMenu* RowMenu::Open(QWidget* owner, QWidget* sender, const QPoint& click,
                       const QMetaObject& kind, const std::function<RowMenu*()>& create)
{
    if (!sender) return nullptr;
    // An open menu of the same kind moves to the new row. Closing it and opening another would
    // let the application's deactivation, when the old pop-up goes, close the new one too. A
    // hidden menu is closed already and only waits for its deletion.
    RowMenu* menu = Current();
    if (menu && (!menu->isVisible() || menu->metaObject() != &kind || menu->owner_ != owner)) {
        if (menu->isVisible()) menu->Close(1);
        menu = nullptr;
    }
    if (!menu) {
        std::unique_ptr<RowMenu> created(create());
        created->Create();
        menu = created.release();
        Current() = menu;
    }
    menu->taskId_ = static_cast<int>(skin::GetTag(sender));
    menu->OfferFor(sender);

    const QScreen* screen = QGuiApplication::screenAt(click);
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect();
    menu->move(PlaceAt(click, menu->size(), area));
    menu->ShowWindow(true);
    return menu;
}

void RowMenu::OfferFor(const QWidget* sender)
{
    const QWidget* row = RowOf(sender);
    const RowState state = GetRowState(row);
    const bool queued = IsRowQueued(row);
    const bool ended =
        state == RowState::Finished || state == RowState::Kept || state == RowState::Failed;
    for (const Item& item : items_) {
        QWidget* control = FindControl(QLatin1String(item.name));
        if (!control) continue;
        if (item.offered == Offered::WhileQueued) control->setVisible(queued);
        if (item.offered == Offered::OnceEnded) control->setVisible(ended);
        auto* button = qobject_cast<QAbstractButton*>(control);
        if (!item.keptText || !button) continue;
        // The layout's own text is kept aside the first time, for the rows it fits.
        if (!button->property("layoutText").isValid())
            button->setProperty("layoutText", button->text());
        button->setText(state == RowState::Kept ? language::Tr(item.keptText)
                                                : button->property("layoutText").toString());
    }
    // As wide as the layout file makes it, as high as the items offered.
    if (layout()) layout()->activate();
    resize(width(), sizeHint().height());
}

QPoint RowMenu::PlaceAt(const QPoint& click, const QSize& size, const QRect& area)
{
    int left = click.x() - size.width();
    int top = click.y();
    if (!area.isValid()) return {left, top};
    const int areaRight = area.x() + area.width();
    const int areaBottom = area.y() + area.height();
    if (top + size.height() > areaBottom && click.y() - size.height() >= area.y())
        top = click.y() - size.height();
    // Right and bottom edges first, so that a menu larger than the area keeps its top-left
    // corner visible.
    left = std::max(std::min(left, areaRight - size.width()), area.x());
    top = std::max(std::min(top, areaBottom - size.height()), area.y());
    return {left, top};
}

void RowMenu::Notify(skin::Notification& msg)
{
    if (msg.type == QLatin1String(skin::kItemSelect)) {
        Close(1);
    } else if (msg.type == QLatin1String(skin::kItemClick)) {
        // The item's message only; the "itemselect" that follows closes the menu.
        const auto item = std::find_if(items_.begin(), items_.end(), [&](const Item& i) {
            return msg.senderName == QLatin1String(i.name);
        });
        if (item != items_.end() && owner_)
            skin::PostMessage(owner_, item->message, taskId_, msg.lParam);
    }
    WindowImplBase::Notify(msg);
}

void RowMenu::wheelEvent(QWheelEvent* event)
{
    // The menu does not scroll, and the wheel must not reach the list below it.
    event->accept();
}

PopMenu::PopMenu(QWidget* owner) : RowMenu(owner, QStringLiteral("PopMenu.xml"), kVideoItems) {}

PopMenu* PopMenu::Popup(QWidget* owner, QWidget* sender, const QPoint& click)
{
    return static_cast<PopMenu*>(Open(owner, sender, click, staticMetaObject,
                                      [owner]() -> RowMenu* { return new PopMenu(owner); }));
}

ImagePopMenu::ImagePopMenu(QWidget* owner)
    : RowMenu(owner, QStringLiteral("ImagePopMenu.xml"), kImageItems)
{
}

ImagePopMenu* ImagePopMenu::Popup(QWidget* owner, QWidget* sender, const QPoint& click)
{
    return static_cast<ImagePopMenu*>(
        Open(owner, sender, click, staticMetaObject,
             [owner]() -> RowMenu* { return new ImagePopMenu(owner); }));
}
