// SPDX-License-Identifier: GPL-3.0-or-later
// Whether the package manager installed the program, read from a package database of a tree
// made for the test.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include "core/net/PackageInstall.h"
#include "support/TestEnv.h"

namespace {

class PackageInstallTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* program :
             {"usr/bin/lumocompress", "usr/bin/unlisted", "bin/merged",
              "usr/local/bin/lumocompress", "opt/lumo/lumocompress", "home/user/lumocompress"})
            ASSERT_TRUE(testenv::WriteFile(root + "/" + program, "#!/bin/sh\n"));
        ASSERT_TRUE(QFile::link("../../home/user/lumocompress", root + "/usr/bin/linked"));
        ASSERT_TRUE(testenv::WriteFile(root + "/var/lib/dpkg/info/lumocompress:amd64.list",
                                       "/.\n/usr\n/usr/bin\n/usr/bin/lumocompress\n"
                                       "/usr/local/bin/lumocompress\n/usr/bin/merged\n"
                                       "/usr/bin/linked\n"));
        ASSERT_TRUE(testenv::WriteFile(root + "/var/lib/dpkg/info/lumo-extra.list",
                                       "/opt/lumo\n/opt/lumo/lumocompress\n"));
        ASSERT_TRUE(
            testenv::WriteFile(root + "/var/lib/dpkg/info/other.list", "/usr/bin/unlisted-not\n"));
    }

    const QString root = testenv::Home() + "/root";
};

TEST_F(PackageInstallTest, APackagedProgramIsFoundByItsRealPath)
{
    const struct {
        const char* program;
        const char* package;
    } cases[] = {
        {"usr/bin/lumocompress", "lumocompress"},
        {"bin/merged", "lumocompress"},  // a merged /usr lists it under /usr/bin
        {"opt/lumo/lumocompress", "lumo-extra"},
        {"usr/bin/unlisted", ""},
        {"usr/local/bin/lumocompress", ""},  // never the package manager's, whatever a list says
        {"usr/bin/linked", ""},              // the link is listed, the program it leads to is not
        {"home/user/lumocompress", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OwningPackage(root + "/" + c.program, root), c.package) << c.program;
    }
    EXPECT_EQ(OwningPackage(root + "/usr/bin/absent", root), "");
    EXPECT_EQ(OwningPackage(root + "/usr/bin/lumocompress", root + "/usr"), "")
        << "a database under another root";
    // This test's own executable, in the build folder, with the real database.
    EXPECT_EQ(OwningPackage(QCoreApplication::applicationFilePath()), "");
}

}  // namespace
