// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/app/AccountArea.h"

#include <QAbstractButton>

#include "core/app/UserAccount.h"
#include "gui/app/LoginDialog.h"
#include "gui/skinlib/WindowImplBase.h"

void AccountArea::OnClick()
{
    if (!UserAccount::Instance().IsSignedIn()) LoginDialog::Run(&window_);
    Update();
}

bool AccountArea::RequireSignIn()
{
    if (UserAccount::Instance().IsSignedIn()) return true;
    LoginDialog::Run(&window_);
    Update();
    return false;
}

void AccountArea::Update()
{
    const UserRecord user = UserAccount::Instance().Record();
    const bool signedIn = !user.mobile.isEmpty() || !user.wechatOpenId.isEmpty();
    for (const char* name : {"login", "separator", "register"}) {
        if (QWidget* control = window_.FindControl(name)) control->setVisible(!signedIn);
    }
    if (auto* username = window_.FindControl<QAbstractButton>("username")) {
        // The middle of the number is not shown to whoever looks over the user's shoulder.
        QString shown = user.mobile;
        if (shown.size() == 11) shown = shown.left(3) + "****" + shown.right(4);
        username->setText(shown);
        username->setVisible(signedIn);
    }
}
