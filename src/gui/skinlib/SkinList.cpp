// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/skinlib/SkinList.h"

#include <QVBoxLayout>

SkinList::SkinList(QWidget* parent) : QScrollArea(parent)
{
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    content_ = new QWidget;
    content_->setObjectName("listContent");
    layout_ = new QVBoxLayout(content_);
    layout_->setContentsMargins(0, 0, 0, 0);
    layout_->setSpacing(0);
    layout_->addStretch(1);
    setWidget(content_);
}

void SkinList::AddRow(QWidget* row)
{
    layout_->insertWidget(layout_->count() - 1, row);
    rows_.append(row);
    row->show();
    emit rowAdded(row);
    emit countChanged(Count());
}

bool SkinList::RemoveRow(QWidget* row)
{
    if (!rows_.removeOne(row)) return false;
    layout_->removeWidget(row);
    row->hide();
    row->deleteLater();
    emit countChanged(Count());
    return true;
}

int SkinList::Count() const
{
    return static_cast<int>(rows_.size());
}

QWidget* SkinList::RowAt(int index) const
{
    return index >= 0 && index < rows_.size() ? rows_.at(index) : nullptr;
}

QWidget* SkinList::FindRow(const QString& name) const
{
    for (QWidget* row : rows_) {
        if (row->objectName() == name) return row;
    }
    return nullptr;
}
