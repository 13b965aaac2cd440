// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sign as a release uses it: a key pair, signatures beside the installers, and a check
// that tells a good signature from any other.
#include <gtest/gtest.h>

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

namespace {

struct ToolRun {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

ToolRun LumoSign(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(LUMO_SIGN_BINARY), arguments);
    ToolRun run;
    if (!process.waitForFinished(20000)) return run;
    run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.out = process.readAllStandardOutput();
    run.err = process.readAllStandardError();
    return run;
}

bool Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

class SigningToolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        const ToolRun keygen = LumoSign({"keygen", secret});
        ASSERT_EQ(keygen.exitCode, 0) << keygen.err.toStdString();
        publicKey = keygen.out.trimmed();
    }

    QString Path(const char* name) const { return folder.path() + "/" + name; }

    QTemporaryDir folder;
    const QString secret = folder.path() + "/release.key";
    QByteArray publicKey;
};

TEST_F(SigningToolTest, KeygenKeepsTheSecretPrivateAndNeverReplacesIt)
{
    EXPECT_EQ(publicKey.size(), 44) << publicKey.toStdString();
    EXPECT_TRUE(publicKey.endsWith('='));
    EXPECT_EQ(QFile::permissions(secret),
              QFile::ReadOwner | QFile::WriteOwner | QFile::ReadUser | QFile::WriteUser);
    EXPECT_EQ(LumoSign({"public", secret}).out.trimmed(), publicKey);

    QFile file(secret);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray before = file.readAll();
    file.close();
    const ToolRun again = LumoSign({"keygen", secret});
    EXPECT_NE(again.exitCode, 0);
    EXPECT_TRUE(again.err.contains("exists")) << again.err.toStdString();
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), before);
    EXPECT_NE(LumoSign({"keygen", Path("other.key")}).out.trimmed(), publicKey)
        << "every key pair is new";
}

TEST_F(SigningToolTest, OnlyTheSignedBytesWithTheMatchingKeyVerify)
{
    // Five megabytes of installer, and an empty file: both signed whole.
    QByteArray installer(5 * 1024 * 1024, '\0');
    for (int i = 0; i < installer.size(); ++i) installer[i] = static_cast<char>(i * 131 % 251);
    ASSERT_TRUE(Write(Path("setup.run"), installer));
    ASSERT_TRUE(Write(Path("empty.run"), ""));
    const ToolRun sign = LumoSign({"sign", secret, Path("setup.run"), Path("empty.run")});
    ASSERT_EQ(sign.exitCode, 0) << sign.err.toStdString();
    for (const char* name : {"setup.run", "empty.run"}) {
        SCOPED_TRACE(name);
        QFile signature(Path(name) + ".sig");
        ASSERT_TRUE(signature.open(QIODevice::ReadOnly));
        EXPECT_EQ(signature.readAll().trimmed().size(), 88);
        EXPECT_EQ(LumoSign({"verify", publicKey, Path(name)}).exitCode, 0);
    }

    // The same signature over one byte changed, under another key, or replaced by other text.
    QByteArray changed = installer;
    changed[installer.size() / 2] = static_cast<char>(changed[installer.size() / 2] ^ 1);
    ASSERT_TRUE(Write(Path("changed.run"), changed));
    const ToolRun tampered =
        LumoSign({"verify", publicKey, Path("changed.run"), Path("setup.run") + ".sig"});
    EXPECT_EQ(tampered.exitCode, 1);
    EXPECT_TRUE(tampered.err.contains("BAD signature")) << tampered.err.toStdString();

    const QByteArray otherKey = LumoSign({"keygen", Path("other.key")}).out.trimmed();
    EXPECT_EQ(LumoSign({"verify", otherKey, Path("setup.run")}).exitCode, 1);

    ASSERT_TRUE(Write(Path("garbage.sig"), "not a signature\n"));
    EXPECT_EQ(LumoSign({"verify", publicKey, Path("setup.run"), Path("garbage.sig")}).exitCode, 1);
    EXPECT_EQ(LumoSign({"verify", "short", Path("setup.run")}).exitCode, 1);
    EXPECT_EQ(LumoSign({"sign", secret, Path("absent.run")}).exitCode, 1);
    EXPECT_FALSE(QFile::exists(Path("absent.run") + ".sig"));
}

// The key given to CMake is the one the build's program trusts; without one it trusts none.
TEST(SigningToolBuildTest, TheBuiltInKeyIsTheConfiguredOne)
{
    const ToolRun trusted = LumoSign({"trusted"});
    const QByteArray configured = LUMO_CONFIGURED_INSTALLER_KEY;
    if (configured.isEmpty()) {
        EXPECT_EQ(trusted.exitCode, 1);
        EXPECT_TRUE(trusted.out.isEmpty());
    } else {
        EXPECT_EQ(trusted.exitCode, 0);
        EXPECT_EQ(trusted.out.trimmed(), configured);
    }
}

}  // namespace
