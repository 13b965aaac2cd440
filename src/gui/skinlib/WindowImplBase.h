// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPoint>
#include <QWidget>

#include "gui/skinlib/CustomMessage.h"
#include "gui/skinlib/Notification.h"

class QEventLoop;

// The base of every skinned window: built from a layout file of the skin, frameless with the
// layout's "caption" widget as its title bar, its controls' signals turned into notifications
// for Notify, custom messages handed to HandleCustomMessage, closing in the steps OnClose
// (may refuse), OnDestroy, OnFinalMessage (by default the object deletes itself).
class WindowImplBase : public QWidget {
    Q_OBJECT
public:
    enum class Kind {
        Main,    // a top-level window that can be resized and maximised
        Dialog,  // a dialog over its parent
        Popup,   // a menu; it closes when it loses the focus
    };

    explicit WindowImplBase(QWidget* parent = nullptr, Kind kind = Kind::Dialog);
    ~WindowImplBase() override;

    // Builds the window from GetSkinFile() and runs InitWindow. Throws std::runtime_error when
    // the layout cannot be built; exceptions of InitWindow pass through.
    void Create();

    void CenterWindow();
    void ShowWindow(bool takeFocus = true);
    // Shows the window modal to the application and returns, once it is closed, the value given
    // to Close (0 when it was closed in any other way).
    int ShowModal();
    bool IsInModalLoop() const { return modalLoop_ != nullptr; }

    // Asks the window to close with wParam result, as the title bar's close does with 0:
    // OnClose may keep it open; otherwise it is destroyed.
    void Close(int result = 0);
    // Destroys the window without asking OnClose (OnDestroy and OnFinalMessage still run).
    void DestroyWindow();

    QWidget* FindControl(const QString& name) const;
    template <class T>
    T* FindControl(const QString& name) const
    {
        return qobject_cast<T*>(FindControl(name));
    }

    // Routes the notifications of root and the controls below it to this window (rows built
    // from a row template are attached when they are added to a list of this window).
    void AttachControls(QWidget* root);

    virtual QString GetWindowClassName() const = 0;
    virtual QString GetSkinFile() const = 0;

protected:
    virtual void InitWindow() {}
    // Handles the close buttons of dialog layouts ("closebtn", "minbtn", "maxbtn",
    // "restorebtn"); subclasses pass on what they do not handle.
    virtual void Notify(skin::Notification& msg);
    virtual qintptr HandleCustomMessage(skin::Message& msg, bool& handled);
    // Returns true to keep the window open.
    virtual bool OnClose(qintptr wParam);
    virtual void OnDestroy() {}
    // After the window is gone; by default schedules the object's deletion.
    virtual void OnFinalMessage();
    // Makes a control for a custom class name of the layout, or null.
    virtual QWidget* CreateControl(const QString& className, QWidget* parent);

    void customEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void SendNotify(const char* type, QWidget* sender, qintptr wParam = 0);
    void FinishClose(int result);
    Qt::Edges EdgesAt(const QPoint& pos) const;

    Kind kind_;
    QWidget* root_ = nullptr;
    QEventLoop* modalLoop_ = nullptr;
    qintptr closeParam_ = 0;
    int result_ = 0;
    bool notifying_ = false;
    bool destroyed_ = false;
    QPoint dragOffset_;
    bool dragging_ = false;
};
