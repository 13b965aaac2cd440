// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QStackedWidget>
#include <QTranslator>

#include "core/app/Language.h"
#include "core/video/VideoEngine.h"
#include "gui/app/MainWnd.h"
#include "gui/app/SetingDialog.h"
#include "support/GuiTestEnv.h"

// The look of the choices added to the main page and the settings dialog, in both languages:
// every text shows whole and the new controls stay inside their panels. With
// LUMO_SCREENSHOT_DIR set (and a real display) it keeps pictures of them.
namespace {

class ChoicesLookTest : public ::testing::TestWithParam<language::Interface> {
protected:
    void SetUp() override
    {
        if (GetParam() == language::Interface::English) {
            ASSERT_EQ(language::Install(*qApp, language::Interface::English),
                      language::Interface::English);
        }
        window = new CMainWnd;
        window->Create();
        window->videoEngine().SetPaused(true);
        window->resize(1100, 720);
        window->show();
    }
    void TearDown() override
    {
        delete dialog.data();
        delete window.data();
        for (QTranslator* translator : qApp->findChildren<QTranslator*>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }
    QString Suffix() const
    {
        return GetParam() == language::Interface::English ? QStringLiteral("-english") : QString();
    }
    void Click(WindowImplBase* in, const char* name)
    {
        in->FindControl<QAbstractButton>(name)->click();
    }
    // The control lies wholly inside the panel.
    static bool Inside(QWidget* control, QWidget* panel)
    {
        const QRect at(control->mapTo(panel, QPoint(0, 0)), control->size());
        return panel->rect().contains(at);
    }

    QPointer<CMainWnd> window;
    QPointer<SetingDialog> dialog;
};

TEST_P(ChoicesLookTest, BothPagesShowTheLookAndTheSizeWholeInTheirPanels)
{
    Click(window, "video-quality-check");
    Click(window, "radio-mp4");
    Click(window, "video-look-check");
    const struct {
        const char* tab;
        const char* panel;
        const char* look;
        const char* size;
        const char* shot;
    } pages[] = {{"compress-video", "video-options", "video-look-check", "video-max-size-box",
                  "main-look-size-videos"},
                 {"compress-image", "image-options", "image-look-check", "image-max-size-box",
                  "main-look-size-images"}};
    for (const auto& page : pages) {
        SCOPED_TRACE(page.panel);
        Click(window, page.tab);
        QCoreApplication::processEvents();
        QWidget* panel = window->FindControl(page.panel);
        EXPECT_EQ(testenv::CutTexts(panel), QStringList{});
        EXPECT_TRUE(Inside(window->FindControl(page.look), panel));
        EXPECT_TRUE(Inside(window->FindControl(page.size), panel));
        // The row of the new choices lies below the others, not over them.
        const int sizeTop = window->FindControl(page.size)->mapTo(panel, QPoint(0, 0)).y();
        const int rowAbove =
            window
                ->FindControl(page.tab == std::string("compress-video") ? "video-codec"
                                                                        : "image-gif")
                ->mapTo(panel, QPoint(0, 0))
                .y();
        EXPECT_GT(sizeTop, rowAbove + 20);
        testenv::SaveScreenshot(page.shot + Suffix());
        // The image page is shown with a size typed in, which greys the look.
        auto* size = window->FindControl<QLineEdit>("image-max-size");
        size->setFocus();
        size->insert("800");
        Q_EMIT size->editingFinished();
        window->FindControl<QComboBox>("image-max-size-unit")->setCurrentIndex(0);
        Q_EMIT window->FindControl<QComboBox>("image-max-size-unit")->activated(0);
    }
    EXPECT_FALSE(window->FindControl("image-look-check")->isEnabled());
}

TEST_P(ChoicesLookTest, TheSettingsPagesShowEveryTextWhole)
{
    dialog = new SetingDialog(window);
    dialog->Create();
    dialog->CenterWindow();
    dialog->show();
    const struct {
        const char* nav;
        const char* shot;
    } pages[] = {{"place-seting", "settings-place"},
                 {"keep-seting", "settings-keep"},
                 {"basic-seting", nullptr},
                 {"other-seting", nullptr}};
    Click(dialog, "keep-photo-info");  // shows the location as it can be chosen
    for (const auto& page : pages) {
        SCOPED_TRACE(page.nav);
        Click(dialog, page.nav);
        QCoreApplication::processEvents();
        auto* stack = dialog->FindControl<QStackedWidget>("settings");
        EXPECT_EQ(testenv::CutTexts(stack->currentWidget()), QStringList{});
        EXPECT_EQ(testenv::CutTexts(dialog->FindControl("seting-nav")), QStringList{});
        // The page's last control is above the dialog's bottom edge.
        for (QWidget* control : stack->currentWidget()->findChildren<QWidget*>()) {
            if (!control->isVisibleTo(stack)) continue;
            EXPECT_TRUE(Inside(control, stack)) << control->objectName().toStdString();
        }
        if (page.shot) testenv::SaveScreenshot(page.shot + Suffix());
    }
}

INSTANTIATE_TEST_SUITE_P(Languages, ChoicesLookTest,
                         ::testing::Values(language::Interface::Chinese,
                                           language::Interface::English),
                         [](const auto& info) {
                             return info.param == language::Interface::English ? "English"
                                                                               : "Chinese";
                         });

}  // namespace
