// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/skinlib/ElideLabel.h"

#include <QPainter>
#include <QStyle>

ElideLabel::ElideLabel(QWidget* parent) : QLabel(parent)
{
    setTextFormat(Qt::PlainText);
}

QString ElideLabel::ShownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

QSize ElideLabel::minimumSizeHint() const
{
    // As narrow as an ellipsis: the layout may give it any width.
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(QStringLiteral("…")) + margins.left() + margins.right(),
            QLabel::minimumSizeHint().height()};
}

void ElideLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    drawFrame(&painter);
    style()->drawItemText(&painter, contentsRect(), static_cast<int>(alignment()), palette(),
                          isEnabled(), ShownText(), foregroundRole());
}
