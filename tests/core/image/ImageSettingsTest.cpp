// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/ImageSettings.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const ImageSettings& s, std::ostream* os)
{
    *os << "{type " << s.compressType << ", format " << s.imageType << ", ratio " << s.ratioIndex
        << ", gif " << s.gifDefineParam << "/" << s.gifDropFrameIndex << ", keep-smaller "
        << s.keepSmaller << ", look " << s.look << ", max-size " << s.maxBytes << "}";
}

namespace {

// What an image is compressed with, for settings files as a hand or an older version may leave
// them: only values the program writes are taken, anything else reads as the key's default.
TEST(ImageSettingsTest, OnlyTheTablesValuesAreTaken)
{
    const ImageSettings defaults;
    const auto with = [&](auto change) {
        ImageSettings values = defaults;
        change(values);
        return values;
    };
    struct Case {
        const char* keys;
        ImageSettings read;
    };
    const Case cases[] = {
        {"", defaults},
        {"image-compress-type=2\nimage-type=3\nimage-ratio-index=5\ngif-define-param=1\n"
         "gif-drop-frame-index=4\nkeep-smaller=1\n",
         with([](ImageSettings& v) {
             v.compressType = 2, v.imageType = 3, v.ratioIndex = 5, v.gifDefineParam = 1,
             v.gifDropFrameIndex = 4, v.keepSmaller = true;
         })},
        {"keep-smaller=-1\n", defaults},
        {"keep-smaller=2147483648\n", defaults},
        {"keep-smaller=1.5\n", defaults},
        {"keep-smaller=2\ngif-define-param=1e3\n", defaults},
        {"image-compress-type=3\nimage-type=4\nimage-ratio-index=6\ngif-drop-frame-index=5\n",
         defaults},
        {"image-compress-type=1.9\nimage-type=-1\nimage-ratio-index=2\n",
         with([](ImageSettings& v) { v.ratioIndex = 2; })},
        {"look=1\nmax-size=250000\n",
         with([](ImageSettings& v) { v.look = true, v.maxBytes = 250000; })},
        {"look=2\nmax-size=-5\n", defaults},
        {"look=1.0\nmax-size=1e6\n", defaults},
        {"max-size=2147483648\n", defaults},
        {"place=3\nplace-suffix=.min\nkeep-photo-info=1\nkeep-location=1\n",
         with([](ImageSettings& v) {
             v.place = {place::kInPlace, QStringLiteral(".min")}, v.keepPhotoInfo = true,
             v.keepLocation = true;
         })},
        {"place=4\nplace-suffix=\nkeep-photo-info=2\n", defaults},
    };
    const QString ini = testenv::Home() + "/configure.ini";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        ASSERT_TRUE(testenv::WriteFile(ini, QByteArray("[global]\n") + c.keys));
        EXPECT_EQ(ReadImageSettings(ini), c.read);
    }
}

}  // namespace
