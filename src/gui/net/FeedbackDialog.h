// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include "gui/skinlib/WindowImplBase.h"

class QLabel;

// The feedback form ("Feedback.xml"): a message and a way to contact the user, sent as JSON to
// the service's "/v2/feedback". The outcome is told in a prompt box, then the form closes.
// "contact-us" opens the service's help page. Deletes itself when closed.
class FeedbackDialog : public WindowImplBase {
    Q_OBJECT
public:
    // owner: the main window. serviceAddress: the service's web server; empty means
    // ServiceAddress().
    explicit FeedbackDialog(QWidget* owner, const QString& serviceAddress = QString());

    // Creates the form over owner, centres it and runs it modally (a skin without the form is
    // logged and shows nothing).
    static void Run(QWidget* owner);

    QString GetWindowClassName() const override { return QStringLiteral("意见反馈"); }
    QString GetSkinFile() const override { return QStringLiteral("Feedback.xml"); }

    // The request body: {"contact": ..., "content": ...} as UTF-8 JSON.
    static std::string RequestBody(const QString& content, const QString& contact);
    // The text the user is told for the service's reply.
    static QString OutcomeText(const std::string& reply);

protected:
    void InitWindow() override;
    void Notify(skin::Notification& msg) override;

private:
    // False (with the reason shown) when the form cannot be sent.
    bool Validate();
    void Submit();
    QString Address() const;

    QWidget* owner_;
    QString serviceAddress_;
    QWidget* content_ = nullptr;
    QWidget* contact_ = nullptr;
    QLabel* errorTips_ = nullptr;
    QWidget* submit_ = nullptr;
};
