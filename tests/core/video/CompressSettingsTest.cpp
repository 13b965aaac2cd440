// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/video/CompressParams.h"

#include "support/TestEnv.h"

#include <gtest/gtest.h>

#include <ostream>

void PrintTo(const CompressSettings& s, std::ostream* os)
{
    *os << "{type " << s.compressType << ", container " << s.videoType << ", " << s.width << "x"
        << s.height << ", " << s.channel << " ch, " << s.sampleRate << " Hz, " << s.bitrate
        << " bit/s, codec " << s.codec << "}";
}

namespace {

// What a video without its own parameters is compressed with, for settings files as a hand, an
// older version or a damaged disk may leave them: only values the program writes are taken, and
// the picture size only as one of the main page's sizes.
TEST(CompressSettingsTest, OnlyTheTablesValuesAndTheListsSizesAreTaken)
{
    const CompressSettings defaults;
    const auto with = [&](auto change) {
        CompressSettings values = defaults;
        change(values);
        return values;
    };
    struct Case {
        const char* keys;
        CompressSettings read;
    };
    const Case cases[] = {
        {"", defaults},
        {"compress-type=2\nvideo-type=3\nvideo-ratio-width=1280\nvideo-ratio-height=720\n"
         "audio-channel=1\naudio-sample-rate=22050\naudio-bitrate=320000\nvideo-codec=2\n",
         {2, 3, 1280, 720, 1, 22050, 320000, 2}},
        {"video-ratio-width=320\nvideo-ratio-height=240\n",
         with([](CompressSettings& v) { v.width = 320, v.height = 240; })},
        // Sizes that are none of the list's: both parts keep the source's size.
        {"video-ratio-width=16384\nvideo-ratio-height=16384\n", defaults},
        {"video-ratio-width=1920\nvideo-ratio-height=720\n", defaults},
        {"video-ratio-width=640\n", defaults},
        {"video-ratio-width=321\nvideo-ratio-height=240\n", defaults},
        {"video-ratio-width=1280.5\nvideo-ratio-height=720\n", defaults},
        // Each value that is no whole number of its table reads as its default alone.
        {"compress-type=1.5\nvideo-type=2\n", with([](CompressSettings& v) { v.videoType = 2; })},
        {"video-type=1e3\n", defaults},
        {"audio-channel=1x\naudio-sample-rate=44101\naudio-bitrate=-1\n", defaults},
        {"audio-sample-rate=2147483648\naudio-bitrate=64000\n",
         with([](CompressSettings& v) { v.bitrate = 64000; })},
        {"video-codec=3\ncompress-type=1\n", with([](CompressSettings& v) { v.compressType = 1; })},
    };
    const QString ini = testenv::Home() + "/configure.ini";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        ASSERT_TRUE(testenv::WriteFile(ini, QByteArray("[global]\n") + c.keys));
        EXPECT_EQ(ReadCompressSettings(ini), c.read);
    }
}

// The search choices beside them, read as strictly.
TEST(CompressSettingsTest, SearchChoicesTakeOnlyTheirOwnValues)
{
    struct Case {
        const char* keys;
        bool look;
        qint64 maxBytes;
    };
    const Case cases[] = {
        {"", false, 0},
        {"look=1\nmax-size=1500000\n", true, 1500000},
        {"look=2\nmax-size=-1\n", false, 0},
        {"look=yes\nmax-size=1.5e6\n", false, 0},
        {"max-size=2147483648\n", false, 0},
    };
    const QString ini = testenv::Home() + "/configure.ini";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        ASSERT_TRUE(testenv::WriteFile(ini, QByteArray("[global]\n") + c.keys));
        VideoSettings values;
        values.look = !c.look;
        values.maxBytes = 77;
        ReadSearchChoices(ini, values);
        EXPECT_EQ(values.look, c.look);
        EXPECT_EQ(values.maxBytes, c.maxBytes);
    }
}

}  // namespace
