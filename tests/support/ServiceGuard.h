// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QString>

// No test may reach the service's default address (kDefaultServiceAddress): a developer may run
// the reference service there, and the tests must not depend on it or write feedback into it.
// The test executables find a "Config.ini" beside them that names a port on 127.0.0.1 where
// nothing can listen (see UnreachableServiceAddress), and in a test process a connection to the
// default address itself is refused on the spot and counted.
namespace testenv {

// "http://127.0.0.1:1": the address the Config.ini beside the test executables names. Port 1
// lies below 1024, where no test's server (bound to a free port from the ephemeral range) and
// no unprivileged program can listen.
QString UnreachableServiceAddress();

// The connections to the default address refused since the last call.
int TakeDefaultServiceAttempts();

// Fails a test that tried to connect to the default address.
class ServiceGuard : public ::testing::EmptyTestEventListener {
public:
    // Empty when the service address the program reads is the one of UnreachableServiceAddress,
    // else why the tests cannot run.
    static QString CheckConfig();

    void OnTestStart(const ::testing::TestInfo& test) override;
    void OnTestEnd(const ::testing::TestInfo& test) override;
};

}  // namespace testenv
