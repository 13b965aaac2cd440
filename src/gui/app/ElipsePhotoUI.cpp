// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/ElipsePhotoUI.h"

#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include "gui/ui/WindowMessages.h"

namespace {

struct RectRecord : skin::MessageRecord {
    QRect rect;
};

}  // namespace

CElipsePhotoUI::CElipsePhotoUI(QWidget* parent) : QLabel(parent)
{
    setCursor(Qt::PointingHandCursor);
}

void CElipsePhotoUI::SetPhoto(const QPixmap& photo)
{
    photo_ = photo;
    update();
}

void CElipsePhotoUI::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath circle;
    circle.addEllipse(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5));
    painter.setClipPath(circle);
    if (photo_.isNull()) {
        painter.fillPath(circle, palette().color(QPalette::Mid));
    } else {
        painter.drawPixmap(rect(), photo_.scaled(size(), Qt::KeepAspectRatioByExpanding,
                                                 Qt::SmoothTransformation));
    }
}

void CElipsePhotoUI::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !owner_) return QLabel::mouseReleaseEvent(event);
    skin::Message message;
    message.id = UM_SHOW_PERSON_CENTER;
    auto record = std::make_unique<RectRecord>();
    record->rect = QRect(mapToGlobal(QPoint(0, 0)), size());
    message.record = std::move(record);
    skin::PostMessage(owner_, std::move(message));
}
