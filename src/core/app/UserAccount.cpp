// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/UserAccount.h"

#include <QFile>
#include <QRegularExpression>

#include "core/app/Paths.h"
#include "core/platform/ProfileFile.h"

namespace {

constexpr char kSection[] = "account";
constexpr char kMobileKey[] = "mobile";
constexpr int kMobileCapacity = 32;

// The sign-in folder and file are readable by the user only.
QString PrivateDataFolder()
{
    const QString folder = EnsureUserFolder(kDataFolder);
    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    return folder;
}

}  // namespace

UserAccount& UserAccount::Instance()
{
    static UserAccount account;
    return account;
}

void UserAccount::LoadLocked() const
{
    if (loaded_) return;
    loaded_ = true;
    const QString mobile = platform::GetPrivateProfileString(kSection, kMobileKey, QString(),
                                                             kMobileCapacity, StorePath());
    if (IsValidMobile(mobile)) record_.mobile = mobile;
}

void UserAccount::Forget()
{
    std::lock_guard guard(lock_);
    record_ = UserRecord{};
    loaded_ = false;
}

QString UserAccount::StorePath()
{
    return PrivateDataFolder() + "/account.ini";
}

bool UserAccount::IsSignedIn() const
{
    std::lock_guard guard(lock_);
    LoadLocked();
    return !record_.mobile.isEmpty() || !record_.wechatOpenId.isEmpty();
}

UserRecord UserAccount::Record() const
{
    std::lock_guard guard(lock_);
    LoadLocked();
    return record_;
}

bool UserAccount::IsValidMobile(const QString& mobile)
{
    static const QRegularExpression pattern("^1[0-9]{10}$");
    return pattern.match(mobile).hasMatch();
}

bool UserAccount::SignInWithMobile(const QString& mobile)
{
    if (!IsValidMobile(mobile)) return false;
    {
        std::lock_guard guard(lock_);
        loaded_ = true;
        record_.mobile = mobile;
    }
    const QString path = StorePath();
    if (!platform::WritePrivateProfileString(kSection, kMobileKey, mobile, path)) return false;
    return QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void UserAccount::SignOut()
{
    {
        std::lock_guard guard(lock_);
        loaded_ = true;
        record_ = UserRecord{};
    }
    QFile::remove(StorePath());
}
