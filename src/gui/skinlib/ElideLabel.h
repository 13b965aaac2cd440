// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>

// A one-line label that ends its text in an ellipsis when the text is wider than the label,
// where a QLabel would cut it off. text() is the whole text. Layouts name it as the class
// "ElideLabel".
class ElideLabel : public QLabel {
    Q_OBJECT
public:
    explicit ElideLabel(QWidget* parent = nullptr);

    // The text as drawn at the label's present width.
    QString ShownText() const;

    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
};
