// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cstdio>

#include "support/PrivateHome.h"
#include "support/ServiceGuard.h"

// The main of the engine tests: no window system, a private home per test.
int main(int argc, char** argv)
{
    testenv::PrivateHome::EnterFirst();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    if (const QString problem = testenv::ServiceGuard::CheckConfig(); !problem.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(problem));
        return 1;
    }
    auto& listeners = ::testing::UnitTest::GetInstance()->listeners();
    listeners.Append(new testenv::PrivateHome);
    listeners.Append(new testenv::ServiceGuard);
    return RUN_ALL_TESTS();
}
