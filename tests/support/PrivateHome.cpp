// SPDX-License-Identifier: GPL-3.0-or-later
#include "support/PrivateHome.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "core/app/AppConfig.h"
#include "core/app/UserAccount.h"
#include "support/TestEnv.h"

namespace testenv {
namespace {

QTemporaryDir& Root()
{
    static QTemporaryDir dir(QDir::tempPath() + "/lumo-test-XXXXXX");
    return dir;
}

// The current test's folder; HOME and the runtime folder lie below it.
QString& Current()
{
    static QString folder;
    return folder;
}

void Enter()
{
    static int count = 0;
    Current() = Root().path() + "/" + QString::number(++count);
    QDir().mkpath(ConfigHome());
    QDir().mkpath(RuntimeDir());
    // Qt and the single-instance lock want a runtime folder only the user can enter.
    QFile::setPermissions(RuntimeDir(),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    qputenv("HOME", Home().toUtf8());
    qputenv("XDG_CONFIG_HOME", ConfigHome().toUtf8());
    qputenv("XDG_DATA_HOME", (Home() + "/.local/share").toUtf8());
    qputenv("XDG_CACHE_HOME", (Home() + "/.cache").toUtf8());
    qputenv("XDG_STATE_HOME", (Home() + "/.local/state").toUtf8());
    qputenv("XDG_RUNTIME_DIR", RuntimeDir().toUtf8());
    // No test reaches the user's session bus (desktop notifications); a test that needs a bus
    // starts its own.
    qputenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + RuntimeDir() + "/no-bus").toUtf8());
    AppConfig::ForgetPath();
    UserAccount::Instance().Forget();
}

}  // namespace

QString Home()
{
    return Current() + "/home";
}
QString ConfigHome()
{
    return Home() + "/.config";
}
QString RuntimeDir()
{
    return Current() + "/run";
}

void PrivateHome::EnterFirst()
{
    // The tests read the program's original texts whatever the developer's locale; a test of
    // another interface language sets its own. Programs the tests start inherit this.
    qputenv("LC_ALL", "C.UTF-8");
    Enter();
}

void PrivateHome::OnTestStart(const ::testing::TestInfo&)
{
    Enter();
}

void PrivateHome::OnTestEnd(const ::testing::TestInfo&)
{
    QDir(Current()).removeRecursively();
}

}  // namespace testenv
