// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/skinlib/WindowImplBase.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QCursor>
#include <QEventLoop>
#include <QKeyEvent>
#include <QPointer>
#include <QRadioButton>
#include <QScreen>
#include <QVBoxLayout>
#include <QWindow>
#include <stdexcept>

#include "gui/skinlib/Controls.h"
#include "gui/skinlib/SkinBuilder.h"
#include "gui/skinlib/SkinList.h"

namespace {

constexpr int kResizeBorder = 5;
constexpr char kWiredProperty[] = "_skinWired";
// Menu items are buttons whose click is reported as "itemclick" followed by "itemselect".
constexpr char kMenuItemProperty[] = "menuItem";

Qt::WindowFlags FlagsFor(WindowImplBase::Kind kind)
{
    switch (kind) {
        case WindowImplBase::Kind::Main:
            return Qt::Window | Qt::FramelessWindowHint;
        case WindowImplBase::Kind::Dialog:
            return Qt::Dialog | Qt::FramelessWindowHint;
        case WindowImplBase::Kind::Popup:
            return Qt::Popup | Qt::FramelessWindowHint;
    }
    return Qt::Window;
}

}  // namespace

WindowImplBase::WindowImplBase(QWidget* parent, Kind kind)
    : QWidget(parent, FlagsFor(kind)), kind_(kind)
{
    setAttribute(Qt::WA_StyledBackground);
    if (kind_ == Kind::Main) setMouseTracking(true);
}

WindowImplBase::~WindowImplBase() = default;

void WindowImplBase::Create()
{
    QString error;
    root_ = skin::Build(
        GetSkinFile(),
        [this](const QString& className, QWidget* parent) {
            return CreateControl(className, parent);
        },
        this, &error);
    if (!root_) throw std::runtime_error(error.toStdString());

    auto* layout = new QVBoxLayout(this);
    const int border = kind_ == Kind::Main ? kResizeBorder : 0;
    layout->setContentsMargins(border, border, border, border);
    layout->setSpacing(0);
    layout->addWidget(root_);

    const QSize size = root_->size();
    resize(size.width() + 2 * border, size.height() + 2 * border);
    if (!root_->minimumSize().isNull())
        setMinimumSize(root_->minimumSize() + QSize(2 * border, 2 * border));
    setWindowTitle(root_->windowTitle());
    setWindowIcon(skin::AppIcon());
    if (QWidget* caption = FindControl("caption")) caption->installEventFilter(this);

    AttachControls(root_);
    InitWindow();
    notifying_ = true;
}

void WindowImplBase::CenterWindow()
{
    QRect area;
    if (QWidget* owner = parentWidget(); owner && owner->isVisible()) {
        area = owner->window()->frameGeometry();
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (area.isValid()) move(area.center() - QPoint(width() / 2, height() / 2));
}

void WindowImplBase::ShowWindow(bool takeFocus)
{
    show();
    raise();
    if (takeFocus) activateWindow();
}

int WindowImplBase::ShowModal()
{
    setWindowModality(Qt::ApplicationModal);
    ShowWindow(true);
    QEventLoop loop;
    modalLoop_ = &loop;
    QPointer<WindowImplBase> self(this);
    const int result = loop.exec();
    if (self) self->modalLoop_ = nullptr;
    return result;
}

void WindowImplBase::Close(int result)
{
    closeParam_ = result;
    if (!close()) closeParam_ = 0;
}

void WindowImplBase::DestroyWindow()
{
    if (!destroyed_) FinishClose(0);
}

QWidget* WindowImplBase::FindControl(const QString& name) const
{
    if (name.isEmpty()) return nullptr;
    if (root_ && root_->objectName() == name) return root_;
    return findChild<QWidget*>(name);
}

void WindowImplBase::AttachControls(QWidget* root)
{
    QList<QWidget*> controls = root->findChildren<QWidget*>();
    controls.prepend(root);
    for (QWidget* control : controls) {
        if (control->property(kWiredProperty).toBool()) continue;
        control->setProperty(kWiredProperty, true);

        if (auto* button = qobject_cast<QAbstractButton*>(control)) {
            if (button->property(kMenuItemProperty).toBool()) {
                connect(button, &QAbstractButton::clicked, this, [this, button] {
                    SendNotify(skin::kItemClick, button);
                    SendNotify(skin::kItemSelect, button);
                });
                continue;
            }
            connect(button, &QAbstractButton::clicked, this,
                    [this, button] { SendNotify(skin::kClick, button); });
            if (!button->isCheckable()) continue;
            // An option of a group reports being selected; a check box reports both states.
            const bool exclusive = qobject_cast<QRadioButton*>(button) || button->autoExclusive();
            connect(button, &QAbstractButton::toggled, this, [this, button, exclusive](bool on) {
                if (on || !exclusive) SendNotify(skin::kSelectChanged, button, on ? 1 : 0);
            });
        } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
            connect(combo, &QComboBox::activated, this,
                    [this, combo](int index) { SendNotify(skin::kItemSelect, combo, index); });
        } else if (auto* slider = qobject_cast<QAbstractSlider*>(control)) {
            connect(slider, &QAbstractSlider::valueChanged, this,
                    [this, slider](int value) { SendNotify(skin::kValueChanged, slider, value); });
        } else if (auto* list = qobject_cast<SkinList*>(control)) {
            connect(list, &SkinList::rowAdded, this, &WindowImplBase::AttachControls);
        }
    }
}

void WindowImplBase::SendNotify(const char* type, QWidget* sender, qintptr wParam)
{
    if (!notifying_ || destroyed_) return;
    // A control with its mouse input off keeps its look but does not act.
    if (qstrcmp(type, skin::kClick) == 0 && !skin::IsMouseEnabled(sender)) return;
    skin::Notification msg;
    msg.type = QString::fromLatin1(type);
    msg.sender = sender;
    msg.senderName = sender->objectName();
    msg.wParam = wParam;
    msg.mouse = QCursor::pos();
    Notify(msg);
}

void WindowImplBase::Notify(skin::Notification& msg)
{
    if (msg.type != QLatin1String(skin::kClick)) return;
    if (msg.senderName == QLatin1String("closebtn")) {
        Close(0);
    } else if (msg.senderName == QLatin1String("minbtn")) {
        showMinimized();
    } else if (msg.senderName == QLatin1String("maxbtn")) {
        showMaximized();
    } else if (msg.senderName == QLatin1String("restorebtn")) {
        showNormal();
    }
}

qintptr WindowImplBase::HandleCustomMessage(skin::Message&, bool& handled)
{
    handled = false;
    return 0;
}

bool WindowImplBase::OnClose(qintptr)
{
    return false;
}

void WindowImplBase::OnFinalMessage()
{
    deleteLater();
}

QWidget* WindowImplBase::CreateControl(const QString&, QWidget*)
{
    return nullptr;
}

void WindowImplBase::customEvent(QEvent* event)
{
    if (event->type() != skin::MessageEvent::EventType()) return QWidget::customEvent(event);
    if (destroyed_) return;
    bool handled = false;
    HandleCustomMessage(static_cast<skin::MessageEvent*>(event)->message(), handled);
}

void WindowImplBase::closeEvent(QCloseEvent* event)
{
    const qintptr wParam = std::exchange(closeParam_, 0);
    if (destroyed_) return event->accept();
    if (OnClose(wParam)) return event->ignore();
    event->accept();
    FinishClose(static_cast<int>(wParam));
}

void WindowImplBase::FinishClose(int result)
{
    destroyed_ = true;
    if (modalLoop_) modalLoop_->exit(result);
    hide();
    OnDestroy();
    OnFinalMessage();
}

void WindowImplBase::keyPressEvent(QKeyEvent* event)
{
    // Escape closes dialogs and menus as their cancel would.
    if (event->key() == Qt::Key_Escape && kind_ != Kind::Main) return Close(0);
    QWidget::keyPressEvent(event);
}

bool WindowImplBase::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != FindControl("caption")) return QWidget::eventFilter(watched, event);
    // Only the mouse cases below read it; the caption gets other events too.
    auto* mouse = dynamic_cast<QMouseEvent*>(event);
    if (!mouse) return QWidget::eventFilter(watched, event);
    switch (event->type()) {
        case QEvent::MouseButtonPress:
            if (mouse->button() != Qt::LeftButton) break;
            // Let the window manager move the window; move it ourselves where it cannot.
            if (!isMaximized() && !(windowHandle() && windowHandle()->startSystemMove())) {
                dragging_ = true;
                dragOffset_ = mouse->globalPosition().toPoint() - frameGeometry().topLeft();
            }
            return true;
        case QEvent::MouseMove:
            if (dragging_) move(mouse->globalPosition().toPoint() - dragOffset_);
            return dragging_;
        case QEvent::MouseButtonRelease:
            dragging_ = false;
            break;
        case QEvent::MouseButtonDblClick:
            if (kind_ == Kind::Main) isMaximized() ? showNormal() : showMaximized();
            return true;
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

Qt::Edges WindowImplBase::EdgesAt(const QPoint& pos) const
{
    Qt::Edges edges;
    if (kind_ != Kind::Main || isMaximized()) return edges;
    if (pos.x() < kResizeBorder) edges |= Qt::LeftEdge;
    if (pos.x() >= width() - kResizeBorder) edges |= Qt::RightEdge;
    if (pos.y() < kResizeBorder) edges |= Qt::TopEdge;
    if (pos.y() >= height() - kResizeBorder) edges |= Qt::BottomEdge;
    return edges;
}

void WindowImplBase::mouseMoveEvent(QMouseEvent* event)
{
    const Qt::Edges edges = EdgesAt(event->position().toPoint());
    if (edges == (Qt::LeftEdge | Qt::TopEdge) || edges == (Qt::RightEdge | Qt::BottomEdge))
        setCursor(Qt::SizeFDiagCursor);
    else if (edges == (Qt::RightEdge | Qt::TopEdge) || edges == (Qt::LeftEdge | Qt::BottomEdge))
        setCursor(Qt::SizeBDiagCursor);
    else if (edges & (Qt::LeftEdge | Qt::RightEdge))
        setCursor(Qt::SizeHorCursor);
    else if (edges & (Qt::TopEdge | Qt::BottomEdge))
        setCursor(Qt::SizeVerCursor);
    else
        unsetCursor();
    QWidget::mouseMoveEvent(event);
}

void WindowImplBase::mousePressEvent(QMouseEvent* event)
{
    const Qt::Edges edges = EdgesAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && edges && windowHandle())
        windowHandle()->startSystemResize(edges);
    QWidget::mousePressEvent(event);
}
