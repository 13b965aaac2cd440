// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QLabel>
#include <QPixmap>

// The round avatar picture of the account area. A click asks the owner window to show the
// personal centre, with the avatar's screen rectangle.
class CElipsePhotoUI : public QLabel {
    Q_OBJECT
public:
    explicit CElipsePhotoUI(QWidget* parent = nullptr);

    void SetOwner(QObject* owner) { owner_ = owner; }
    void SetPhoto(const QPixmap& photo);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QObject* owner_ = nullptr;
    QPixmap photo_;
};
