// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/GuiTestEnv.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>

#include "gui/skinlib/SkinBuilder.h"
#include "gui/skinlib/WindowImplBase.h"

namespace testenv {
namespace {

// The parent of the ClickWhenShown watches; replaced when a test ends.
QPointer<QObject>& Watches()
{
    static QPointer<QObject> watches;
    if (!watches) watches = new QObject(qApp);
    return watches;
}

}  // namespace

QWidget* FindShownWindow(const QString& className)
{
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* window = qobject_cast<WindowImplBase*>(widget);
        if (window && window->isVisible() && window->GetWindowClassName() == className)
            return window;
    }
    return nullptr;
}

void ClickWhenShown(const QString& className, const QString& buttonName, QString* seenText,
                    int timeoutMs)
{
    auto* timer = new QTimer(Watches());
    auto deadline = std::make_shared<QDeadlineTimer>(timeoutMs);
    QObject::connect(timer, &QTimer::timeout, timer, [=] {
        if (deadline->hasExpired()) return timer->deleteLater();
        QWidget* window = FindShownWindow(className);
        if (!window) return;
        auto* button = window->findChild<QAbstractButton*>(buttonName);
        if (!button) return;
        if (seenText) {
            if (auto* label = window->findChild<QLabel*>("msgText")) *seenText = label->text();
        }
        timer->stop();
        timer->deleteLater();
        button->click();
    });
    timer->start(20);
}

AutoAnswer::AutoAnswer(const QString& className, const QString& buttonName,
                       std::function<QString()> onShown)
{
    auto* timer = new QTimer;
    timer_ = timer;
    QObject::connect(timer, &QTimer::timeout, [=, this] {
        QWidget* window = FindShownWindow(className);
        if (!window) return;
        auto* button = window->findChild<QAbstractButton*>(buttonName);
        if (!button) return;
        auto* label = window->findChild<QLabel*>("msgText");
        texts_ << (label ? label->text() : QString());
        if (onShown) notes_ << onShown();
        button->click();
    });
    timer->start(20);
}

AutoAnswer::~AutoAnswer()
{
    delete timer_;
}

QString ProgramPath()
{
    return QStringLiteral(LUMO_TEST_PROGRAM);
}

namespace {

// A main window that ends asks the application to quit (as the program's last window should).
// With no QCoreApplication::exec() running, the request stays set and makes every later event
// loop, such as a dialog's ShowModal(), return -1 at once. exec() clears it when it returns.
void ForgetQuitRequest()
{
    QEventLoop probe;
    QTimer::singleShot(0, &probe, [&probe] { probe.exit(0); });
    if (probe.exec() != -1) return;
    QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
}

}  // namespace

void WindowCleanup::OnTestEnd(const ::testing::TestInfo&)
{
    delete Watches().data();
    // A window with a parent (a popup, a dialog owned by another window) goes with its parent.
    QList<QPointer<QWidget>> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (!widget->parentWidget()) windows.append(widget);
    }
    for (const QPointer<QWidget>& window : windows) delete window.data();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    ForgetQuitRequest();
    // A test that built windows from a skin folder of its own leaves the built skin in place.
    if (skin::SkinFolder() != BuiltSkinFolder()) UseBuiltSkin();
}

QString BuiltSkinFolder()
{
    return QStringLiteral(LUMO_BINARY_DIR "/skin");
}

void UseBuiltSkin()
{
    skin::SetSkinFolder(BuiltSkinFolder());
    skin::LoadResources();
}

QStringList CutTexts(QWidget* root)
{
    QStringList cut;
    for (QWidget* widget : root->findChildren<QWidget*>()) {
        if (!widget->isVisibleTo(root) || widget->width() == 0) continue;
        QString text;
        if (auto* label = qobject_cast<QLabel*>(widget); label && !label->wordWrap())
            text = label->text();
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            text = button->text();
        if (text.isEmpty()) continue;
        if (widget->sizeHint().width() > widget->width()) cut << widget->objectName() + ": " + text;
    }
    return cut;
}

void SaveScreenshot(const QString& name, int settleMs)
{
    const QString shots = qEnvironmentVariable("LUMO_SCREENSHOT_DIR");
    if (shots.isEmpty()) return;
    WaitUntil([] { return false; }, settleMs);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        screen->grabWindow(0).save(shots + "/" + name + ".png");
}

}  // namespace testenv
