#include <gtest/gtest.h>

#include <QApplication>

#include "gui/skinlib/SkinBuilder.h"

namespace testenv {
void SetUp();
}

int main(int argc, char** argv)
{
    testenv::SetUp();
    QApplication app(argc, argv);
    app.setQuitOnLastWindowClosed(false);
    skin::SetSkinFolder(QStringLiteral(LUMO_BINARY_DIR "/skin"));
    skin::LoadResources();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
