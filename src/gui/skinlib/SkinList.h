// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QScrollArea>

class QVBoxLayout;

// A vertical list of rows (each a widget built from a row template), scrolled when it is
// longer than the view. Rows are found by object name ("item-%d") or by index.
class SkinList : public QScrollArea {
    Q_OBJECT
public:
    explicit SkinList(QWidget* parent = nullptr);

    // Appends row at the end; the list takes ownership.
    void AddRow(QWidget* row);
    // Removes and deletes row; false when it is not a row of this list.
    bool RemoveRow(QWidget* row);
    int Count() const;
    QWidget* RowAt(int index) const;
    // The row with this object name, or null.
    QWidget* FindRow(const QString& name) const;

signals:
    // A row was added; windows connect to this to receive the row's notifications.
    void rowAdded(QWidget* row);
    void countChanged(int count);

private:
    QWidget* content_ = nullptr;
    QVBoxLayout* layout_ = nullptr;
    QList<QWidget*> rows_;
};
