// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <gtest/gtest.h>

#include <QString>

namespace testenv {

// Gives every test a home of its own. Before a test starts, a new folder below this process's
// temporary folder becomes HOME, XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_CACHE_HOME,
// XDG_STATE_HOME and XDG_RUNTIME_DIR, and what the program keeps about those folders (the
// settings file's path, the signed-in user) is forgotten; when the test has ended the folder is
// removed. So a test sees the same empty configuration whether it runs alone or after others in
// one process.
class PrivateHome : public ::testing::EmptyTestEventListener {
public:
    // Makes the home of what runs outside a test (Qt's start, the listing of the tests); main
    // calls it before Qt reads the environment.
    static void EnterFirst();

    void OnTestStart(const ::testing::TestInfo& test) override;
    void OnTestEnd(const ::testing::TestInfo& test) override;
};

}  // namespace testenv
