// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdio>

#include "support/GuiTestEnv.h"
#include "support/PrivateHome.h"
#include "support/ServiceGuard.h"

// The main of the window tests: an offscreen QApplication with the built skin, a private home
// per test, and no window left over from one test in the next.
int main(int argc, char** argv)
{
    testenv::PrivateHome::EnterFirst();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    testenv::UseBuiltSkin();
    ::testing::InitGoogleTest(&argc, argv);
    if (const QString problem = testenv::ServiceGuard::CheckConfig(); !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    listeners.Append(new testenv::PrivateHome);
    listeners.Append(new testenv::ServiceGuard);
    listeners.Append(new testenv::WindowCleanup);
    return RUN_ALL_TESTS();
}
