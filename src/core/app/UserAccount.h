// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <mutex>

struct UserRecord {
    QString mobile;
    QString wechatOpenId;
};

// The one signed-in user of the process. Created on first use (thread-safely); its first use
// also reads the sign-in kept from an earlier run in "LumoCompress/Data", a folder only the user
// can read. A user is signed in when the mobile number or the WeChat open id is not empty.
class UserAccount {
public:
    static UserAccount& Instance();

    bool IsSignedIn() const;
    UserRecord Record() const;

    // Eleven digits, the first a 1.
    static bool IsValidMobile(const QString& mobile);
    // Signs in with the number and keeps it for the next start; false for an invalid number or
    // when it cannot be stored (the user is then signed in for this run only).
    bool SignInWithMobile(const QString& mobile);
    // Forgets the user, also on disk.
    void SignOut();

    static QString StorePath();

    // Forgets the user in memory only; the next use reads the stored sign-in again, as a new
    // start would (the tests give each test a home of its own).
    void Forget();

private:
    UserAccount() = default;
    // Reads the stored sign-in unless that was done; lock_ is held.
    void LoadLocked() const;

    mutable std::mutex lock_;
    mutable bool loaded_ = false;
    mutable UserRecord record_;
};
