// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/LoginDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QRegularExpressionValidator>
#include <stdexcept>

#include "core/app/Language.h"
#include "core/app/UserAccount.h"

LoginDialog::LoginDialog(QWidget* owner) : WindowImplBase(owner, Kind::Dialog) {}

bool LoginDialog::Run(QWidget* owner)
{
    auto* dialog = new LoginDialog(owner);
    dialog->Create();
    dialog->CenterWindow();
    dialog->ShowModal();
    return UserAccount::Instance().IsSignedIn();
}

void LoginDialog::InitWindow()
{
    auto* mobile = FindControl<QLineEdit>("mobile");
    if (!mobile || !FindControl("loginBtn")) throw std::runtime_error("LoginDialog::Init");
    mobile->setMaxLength(11);
    mobile->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), mobile));
    connect(mobile, &QLineEdit::returnPressed, this, &LoginDialog::SignIn);
    mobile->setFocus();
}

void LoginDialog::Notify(skin::Notification& msg)
{
    if (msg.type == QLatin1String(skin::kClick) && msg.senderName == QLatin1String("loginBtn"))
        return SignIn();
    WindowImplBase::Notify(msg);
}

void LoginDialog::SignIn()
{
    const QString mobile = FindControl<QLineEdit>("mobile")->text().trimmed();
    auto* error = FindControl<QLabel>("loginError");
    if (!UserAccount::IsValidMobile(mobile)) {
        if (error) {
            error->setText(Texts::tr("请输入正确的11位手机号!"));
            error->show();
        }
        return;
    }
    UserAccount::Instance().SignInWithMobile(mobile);
    Close(1);
}
