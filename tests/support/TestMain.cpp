#include <gtest/gtest.h>

#include <QApplication>

namespace testenv {
void SetUp();
}

int main(int argc, char** argv)
{
    testenv::SetUp();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
