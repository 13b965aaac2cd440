// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QFileInfo>

#include "core/app/Paths.h"
#include "core/app/UserAccount.h"
#include "support/TestEnv.h"

namespace {

TEST(UserAccountTest, MobileNumbersAreElevenDigitsStartingWithOne)
{
    EXPECT_TRUE(UserAccount::IsValidMobile("13800138000"));
    for (const char* bad : {"", "1380013800", "138001380000", "23800138000", "1380013800a",
                            " 13800138000", "１3800138000"}) {
        EXPECT_FALSE(UserAccount::IsValidMobile(QString::fromUtf8(bad))) << bad;
    }
}

TEST(UserAccountTest, ASignInIsKeptWhereOnlyTheUserCanReadIt)
{
    UserAccount& account = UserAccount::Instance();
    EXPECT_FALSE(account.IsSignedIn());
    EXPECT_FALSE(account.SignInWithMobile("12345"));
    EXPECT_FALSE(account.IsSignedIn());

    ASSERT_TRUE(account.SignInWithMobile("13800138000"));
    EXPECT_TRUE(account.IsSignedIn());
    EXPECT_EQ(account.Record().mobile, "13800138000");

    const QFileInfo file(UserAccount::StorePath());
    ASSERT_TRUE(file.exists());
    EXPECT_TRUE(file.absolutePath().endsWith("LumoCompress/Data"));
    const QFile::Permissions others = QFile::ReadGroup | QFile::WriteGroup | QFile::ExeGroup |
                                      QFile::ReadOther | QFile::WriteOther | QFile::ExeOther;
    EXPECT_EQ(file.permissions() & others, QFile::Permissions());
    EXPECT_TRUE(file.permissions() & QFile::ReadOwner);
    EXPECT_EQ(QFileInfo(file.absolutePath()).permissions() & others, QFile::Permissions());

    account.SignOut();
    EXPECT_FALSE(account.IsSignedIn());
    EXPECT_FALSE(QFileInfo::exists(UserAccount::StorePath()));
}

TEST(UserAccountTest, TheNextStartIsSignedInFromTheStoredNumber)
{
    // What an earlier run left; the record is created on first use and reads it.
    ASSERT_TRUE(testenv::WriteFile(EnsureUserFolder(kDataFolder) + "/account.ini",
                                   "[account]\nmobile=13912345678\n"));
    EXPECT_TRUE(UserAccount::Instance().IsSignedIn());
    EXPECT_EQ(UserAccount::Instance().Record().mobile, "13912345678");
}

TEST(UserAccountTest, AStoredNumberThatIsNotANumberDoesNotSignIn)
{
    ASSERT_TRUE(testenv::WriteFile(EnsureUserFolder(kDataFolder) + "/account.ini",
                                   "[account]\nmobile=hello\n"));
    EXPECT_FALSE(UserAccount::Instance().IsSignedIn());
}

}  // namespace
