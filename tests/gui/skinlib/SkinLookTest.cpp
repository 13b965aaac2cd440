// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageReader>
#include <QPalette>
#include <QRegularExpression>
#include <QTest>
#include <QWidget>

#include <memory>
#include <set>

#include "gui/app/MainWnd.h"
#include "gui/skinlib/ColorScheme.h"
#include "gui/skinlib/SkinBuilder.h"
#include "support/GuiTestEnv.h"
#include "support/Printers.h"

namespace {

using skin::ColorScheme;
using skin::SchemeHints;

// ------------------------------------------------------------------------------ the choice

struct SchemeCase {
    const char* name;
    SchemeHints hints;
    ColorScheme expected;
};

class ChooseColorSchemeTest : public ::testing::TestWithParam<SchemeCase> {};

TEST_P(ChooseColorSchemeTest, Chooses)
{
    EXPECT_EQ(skin::ChooseColorScheme(GetParam().hints), GetParam().expected);
}

const QColor kDarkWindow(0x2B, 0x2B, 0x2B);
const QColor kLightWindow(0xEF, 0xEF, 0xEF);

INSTANTIATE_TEST_SUITE_P(
    Hints, ChooseColorSchemeTest,
    ::testing::Values(
        SchemeCase{"NothingSaysDark", {{}, kLightWindow, {}, {}}, ColorScheme::Light},
        SchemeCase{"NoPaletteAtAll", {}, ColorScheme::Light},
        SchemeCase{"ADarkPalette", {{}, kDarkWindow, {}, {}}, ColorScheme::Dark},
        // Lightness 127 is dark, 128 is not.
        SchemeCase{"JustBelowTheMiddle", {{}, QColor(127, 127, 127), {}, {}}, ColorScheme::Dark},
        SchemeCase{"AtTheMiddle", {{}, QColor(128, 128, 128), {}, {}}, ColorScheme::Light},
        SchemeCase{"GnomePrefersDark", {{}, kLightWindow, "prefer-dark", {}}, ColorScheme::Dark},
        SchemeCase{"GnomePrefersLightOverADarkPalette",
                   {{}, kDarkWindow, "prefer-light", {}},
                   ColorScheme::Light},
        SchemeCase{"GnomeDefaultLeavesItToThePalette",
                   {{}, kDarkWindow, "default", {}},
                   ColorScheme::Dark},
        SchemeCase{
            "ADarkGtkTheme", {{}, kLightWindow, "default", "Adwaita-dark"}, ColorScheme::Dark},
        SchemeCase{"ALightGtkTheme", {{}, kLightWindow, "default", "Adwaita"}, ColorScheme::Light},
        SchemeCase{"OverrideDarkOnALightDesktop",
                   {" Dark ", kLightWindow, "prefer-light", {}},
                   ColorScheme::Dark},
        SchemeCase{"OverrideLightOnADarkDesktop",
                   {"light", kDarkWindow, "prefer-dark", "Adwaita-dark"},
                   ColorScheme::Light},
        SchemeCase{"AnUnknownOverrideIsNoSay", {"blue", kDarkWindow, {}, {}}, ColorScheme::Dark}),
    [](const ::testing::TestParamInfo<SchemeCase>& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------------------ loading a look

QString SkinFile(const QString& name)
{
    return skin::SkinFolder() + u'/' + name;
}

QString Text(const QString& path)
{
    return QString::fromUtf8(testenv::ReadFile(path));
}

// The lightness of a built layout's own background, as drawn.
int DrawnLightness(QWidget* root)
{
    root->resize(200, 150);
    const QImage image = root->grab().toImage();
    return image.pixelColor(image.width() / 2, image.height() - 4).lightness();
}

class SkinLookTest : public ::testing::Test {
protected:
    void SetUp() override { palette_ = QApplication::palette(); }
    void TearDown() override
    {
        qunsetenv("LUMO_COLOR_SCHEME");
        QApplication::setPalette(palette_);
        skin::LoadResources();
    }
    void Load(const char* override)
    {
        qputenv("LUMO_COLOR_SCHEME", override);
        QString error;
        ASSERT_TRUE(skin::LoadResources(&error)) << error.toStdString();
    }
    QPalette palette_;
};

TEST_F(SkinLookTest, TheOverrideChoosesTheSheetTheImagesAndThePalette)
{
    Load("dark");
    EXPECT_EQ(skin::ActiveScheme(), ColorScheme::Dark);
    EXPECT_EQ(qApp->styleSheet(), Text(SkinFile("style-dark.qss")));
    EXPECT_LT(QApplication::palette().color(QPalette::Window).lightness(), 64);
    // The look's own images come first; the others are shared.
    EXPECT_EQ(QFileInfo("skin:images/win-close.png").absoluteFilePath(),
              QFileInfo(SkinFile("dark/images/win-close.png")).absoluteFilePath());
    EXPECT_EQ(QFileInfo("skin:images/check.png").absoluteFilePath(),
              QFileInfo(SkinFile("images/check.png")).absoluteFilePath());

    Load("light");
    EXPECT_EQ(skin::ActiveScheme(), ColorScheme::Light);
    EXPECT_EQ(qApp->styleSheet(), Text(SkinFile("style.qss")));
    EXPECT_EQ(QApplication::palette(), palette_) << "the palette from before is back";
    EXPECT_EQ(QFileInfo("skin:images/win-close.png").absoluteFilePath(),
              QFileInfo(SkinFile("images/win-close.png")).absoluteFilePath());
}

TEST_F(SkinLookTest, ADarkPlatformPaletteChoosesTheDarkLook)
{
    QPalette dark = palette_;
    dark.setColor(QPalette::Window, kDarkWindow);
    QApplication::setPalette(dark);
    Load("");
    EXPECT_EQ(skin::ActiveScheme(), ColorScheme::Dark);

    // The palette the skin set itself is no hint: with the desktop's light palette back, a
    // later load is light again.
    QApplication::setPalette(palette_);
    Load("");
    EXPECT_EQ(skin::ActiveScheme(), ColorScheme::Light);
}

TEST_F(SkinLookTest, LayoutsWithTheirOwnLightColoursTurnDark)
{
    for (const char* layout : {"PopMenu.xml", "Seting.xml", "Feedback.xml", "download.xml"}) {
        Load("light");
        std::unique_ptr<QWidget> light(skin::Build(layout, nullptr, nullptr));
        ASSERT_TRUE(light) << layout;
        const int lightLightness = DrawnLightness(light.get());

        Load("dark");
        std::unique_ptr<QWidget> dark(skin::Build(layout, nullptr, nullptr));
        ASSERT_TRUE(dark) << layout;
        EXPECT_GT(lightLightness, 200) << layout;
        EXPECT_LT(DrawnLightness(dark.get()), 70) << layout;
    }
}

TEST_F(SkinLookTest, EveryColouredRuleOfALayoutHasADarkCounterpart)
{
    // A layout's rule that sets a colour keeps it in the dark look unless the dark sheet has a
    // rule for the same selector narrowed to the layout's root.
    const QString dark = Text(SkinFile("style-dark.qss"));
    static const QRegularExpression rule(QStringLiteral("([^{}]+)\\{([^}]*)\\}"));
    static const QRegularExpression colour(QStringLiteral("#[0-9A-Fa-f]{6}"));
    static const QRegularExpression sheet(
        QStringLiteral("<property name=\"styleSheet\"><string[^>]*>([^<]*)</string>"));
    static const QRegularExpression root(
        QStringLiteral("<widget class=\"[^\"]+\" name=\"([^\"]+)\""));
    int checked = 0;
    for (const QFileInfo& file : QDir(skin::SkinFolder()).entryInfoList({"*.xml"})) {
        const QString layout = Text(file.absoluteFilePath());
        const QString rootName = root.match(layout).captured(1);
        for (auto sheets = sheet.globalMatch(layout); sheets.hasNext();) {
            const QString css = sheets.next().captured(1);
            for (auto rules = rule.globalMatch(css); rules.hasNext();) {
                const auto match = rules.next();
                if (!colour.match(match.captured(2)).hasMatch()) continue;
                for (QString selector : match.captured(1).split(u',')) {
                    selector = selector.trimmed();
                    const QString narrowed = selector.startsWith(u'#' + rootName)
                                                 ? selector
                                                 : u'#' + rootName + u' ' + selector;
                    EXPECT_TRUE(dark.contains(narrowed))
                        << file.fileName().toStdString() << ": " << narrowed.toStdString();
                    ++checked;
                }
            }
        }
    }
    EXPECT_GT(checked, 30);
}

// ------------------------------------------------------------------------------ images

// Every image the skin names: url(skin:...) in the style sheets and the layouts, and res.xml's
// icon.
std::set<QString> NamedImages()
{
    std::set<QString> names;
    static const QRegularExpression url(QStringLiteral("url\\(skin:([^)]+)\\)"));
    QDirIterator files(skin::SkinFolder(), {"*.qss", "*.xml"}, QDir::Files);
    while (files.hasNext()) {
        const QString text = Text(files.next());
        for (auto it = url.globalMatch(text); it.hasNext();) names.insert(it.next().captured(1));
    }
    static const QRegularExpression icon(QStringLiteral("<Icon file=\"([^\"]+)\""));
    names.insert(icon.match(Text(SkinFile("res.xml"))).captured(1));
    return names;
}

QSize ImageSize(const QString& path)
{
    return QImageReader(path).size();
}

QString TwiceName(const QString& path)
{
    return path.left(path.lastIndexOf(u'.')) + "@2x" + path.mid(path.lastIndexOf(u'.'));
}

TEST_F(SkinLookTest, EveryNamedImageHasATwiceAsLargeVariantInBothLooks)
{
    const std::set<QString> names = NamedImages();
    ASSERT_GE(names.size(), 20u);
    for (const char* look : {"light", "dark"}) {
        Load(look);
        for (const QString& name : names) {
            const QString path = QFileInfo("skin:" + name).absoluteFilePath();
            const QSize size = ImageSize(path);
            ASSERT_TRUE(size.isValid()) << look << ": " << name.toStdString();
            // Qt takes "name@2x.png" beside the file it found, for a screen scaled 1.5x or more.
            const QString twice = TwiceName(path);
            EXPECT_EQ(ImageSize(twice), size * 2) << look << ": " << twice.toStdString();
        }
    }
}

TEST_F(SkinLookTest, TheDarkImagesOnlyReplaceImagesOfTheSameSize)
{
    const QString darkFolder = SkinFile("dark/images");
    const QStringList dark = QDir(darkFolder).entryList({"*.png"});
    ASSERT_FALSE(dark.isEmpty());
    for (const QString& name : dark) {
        const QString common = SkinFile("images/" + name);
        ASSERT_TRUE(QFileInfo::exists(common)) << name.toStdString();
        EXPECT_EQ(ImageSize(darkFolder + u'/' + name), ImageSize(common)) << name.toStdString();
    }
}

// The selector groups of a style sheet, in order (comments left out).
QStringList Selectors(const QString& sheet)
{
    QString text = sheet;
    text.remove(QRegularExpression("/\\*.*?\\*/", QRegularExpression::DotMatchesEverythingOption));
    QStringList selectors;
    static const QRegularExpression rule("([^{}]+)\\{[^}]*\\}");
    for (auto match = rule.globalMatch(text); match.hasNext();)
        selectors << match.next().captured(1).simplified();
    return selectors;
}

TEST_F(SkinLookTest, TheDarkSheetHasEveryRuleOfTheLightOne)
{
    // The dark sheet begins with the light one, colour by colour: a rule added to the light
    // sheet alone (a button's image, the focus frames) would be missing from the dark look.
    const QStringList light = Selectors(Text(SkinFile("style.qss")));
    const QStringList dark = Selectors(Text(SkinFile("style-dark.qss")));
    ASSERT_GT(light.size(), 50);
    ASSERT_GE(dark.size(), light.size());
    EXPECT_EQ(dark.mid(0, light.size()), light);
}

// How many pixels of area differ clearly (by more than 60 in the sum of the channels).
int ChangedPixels(const QImage& before, const QImage& after, const QRect& area)
{
    int changed = 0;
    for (int y = std::max(area.top(), 0); y <= std::min(area.bottom(), before.height() - 1); ++y) {
        for (int x = std::max(area.left(), 0); x <= std::min(area.right(), before.width() - 1);
             ++x) {
            const QColor a = before.pixelColor(x, y), b = after.pixelColor(x, y);
            changed += std::abs(a.red() - b.red()) + std::abs(a.green() - b.green()) +
                           std::abs(a.blue() - b.blue()) >
                       60;
        }
    }
    return changed;
}

TEST_F(SkinLookTest, EveryControlTheKeyboardReachesShowsItsFocusInBothLooks)
{
    for (const char* look : {"light", "dark"}) {
        SCOPED_TRACE(look);
        Load(look);
        std::unique_ptr<CMainWnd> window(new CMainWnd);
        window->Create();
        window->resize(1000, 700);
        window->show();
        window->activateWindow();
        ASSERT_TRUE(testenv::WaitUntil([&] { return window->isActiveWindow(); }));
        QImage before = window->grab().toImage();
        std::set<QString> reached;
        for (int press = 0; press < 12; ++press) {
            QWidget* from = QApplication::focusWidget();
            QTest::keyClick(from ? from : window.get(), Qt::Key_Tab);
            QCoreApplication::processEvents();
            QWidget* focus = QApplication::focusWidget();
            ASSERT_NE(focus, nullptr);
            const QImage after = window->grab().toImage();
            const QRect area(focus->mapTo(window.get(), QPoint(0, 0)), focus->size());
            // A frame round the control at the least: half its outline clearly changed.
            EXPECT_GE(ChangedPixels(before, after, area), area.width() + area.height())
                << focus->metaObject()->className() << " " << focus->objectName().toStdString();
            reached.insert(focus->objectName());
            before = after;
        }
        EXPECT_GE(reached.size(), 6u) << "Tab goes through the page's controls";
    }
}

TEST_F(SkinLookTest, TheTitleBarsMenuButtonIsDrawnInBothLooks)
{
    for (const char* look : {"light", "dark"}) {
        Load(look);
        std::unique_ptr<CMainWnd> window(new CMainWnd);
        window->Create();
        window->show();
        QWidget* button = window->FindControl("main-menu");
        ASSERT_NE(button, nullptr);
        const QImage image = button->grab().toImage();
        const QColor ground = image.pixelColor(1, 1);
        int glyph = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                glyph += std::abs(image.pixelColor(x, y).lightness() - ground.lightness()) > 60;
        EXPECT_GE(glyph, 15) << look << ": the button shows its three lines";
    }
}

}  // namespace
