// SPDX-License-Identifier: GPL-3.0-or-later
// The searches against one fixed setting for every file, printed: each file's searched result
// (bytes, SSIM), the one fixed CRF or quality that gives the same mean SSIM over the files and
// its bytes, and the search's time against the final encode's. Runs only with
// LUMO_SEARCH_BENCH=1 in the environment (a minute or two of encoding).

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cmath>
#include <cstdio>
#include <map>

#include "SearchTestSupport.h"
#include "core/app/Paths.h"
#include "core/image/ImagePipeline.h"
#include "core/search/ImageLook.h"
#include "core/search/Ssim.h"
#include "core/search/VideoLook.h"
#include "core/video/VideoSettings.h"

using namespace search;

namespace {

bool BenchWanted()
{
    return qEnvironmentVariable("LUMO_SEARCH_BENCH") == QLatin1String("1");
}

struct Point {
    double ssim = 0;
    double bytes = 0;
};

// The fixed setting (interpolated between the measured ones) whose mean SSIM over the files is
// wanted, and the files' total bytes there; settings in the order of falling SSIM.
std::pair<double, double> FixedForMeanSsim(const std::map<int, std::vector<Point>>& table,
                                           double wanted, bool risingQuality)
{
    std::vector<std::pair<int, Point>> means;
    for (const auto& [setting, points] : table) {
        Point mean;
        for (const Point& p : points) {
            mean.ssim += p.ssim / double(points.size());
            mean.bytes += p.bytes;
        }
        means.push_back({setting, mean});
    }
    if (risingQuality) std::reverse(means.begin(), means.end());
    for (size_t i = 1; i < means.size(); ++i) {
        const Point& a = means[i - 1].second;
        const Point& b = means[i].second;
        if (a.ssim >= wanted && b.ssim <= wanted) {
            const double t = a.ssim == b.ssim ? 0 : (a.ssim - wanted) / (a.ssim - b.ssim);
            const double setting = means[i - 1].first + t * (means[i].first - means[i - 1].first);
            return {setting,
                    std::exp(std::log(a.bytes) + t * (std::log(b.bytes) - std::log(a.bytes)))};
        }
    }
    return {-1, -1};
}

// The one fixed setting that gives every file at least the target (the cheapest such on the
// grid) and the files' total bytes there: what a fixed setting costs for the same promise.
std::pair<int, double> FixedForEveryFile(const std::map<int, std::vector<Point>>& table,
                                         double target, bool risingQuality)
{
    std::pair<int, double> best{-1, -1};
    for (const auto& [setting, points] : table) {
        double bytes = 0;
        bool all = true;
        for (const Point& p : points) {
            all = all && p.ssim >= target;
            bytes += p.bytes;
        }
        if (!all) continue;
        // Rising quality: the first that passes is the cheapest; falling (CRF): the last.
        if (risingQuality && best.first >= 0) continue;
        best = {setting, bytes};
    }
    return best;
}

}  // namespace

TEST(SearchBench, VideoLookAgainstOneFixedCrf)
{
    if (!BenchWanted()) GTEST_SKIP() << "set LUMO_SEARCH_BENCH=1";
    QTemporaryDir work;
    const QString ffmpeg = FindTool("ffmpeg");
    const double target = 0.95;
    const double seconds = 20;
    const std::vector<std::pair<const char*, searchtest::Clip>> clips = {
        {"grain", searchtest::Clip::Grain},
        {"screen", searchtest::Clip::Screen},
        {"zoom", searchtest::Clip::Zoom}};
    std::map<int, std::vector<Point>> fixed;
    double searchedSsim = 0;
    double searchedBytes = 0;
    for (const auto& [name, clip] : clips) {
        const QString source = work.filePath(QString(name) + ".mkv");
        ASSERT_TRUE(searchtest::MakeClip(source, clip, seconds, "320x240", false));
        VideoLookRequest request;
        request.plan = searchtest::LookPlan(source);
        request.ffmpeg = ffmpeg;
        request.sourcePath = source;
        request.av1Encoder = videocodec::Av1Encoder(ffmpeg);
        request.durationSeconds = seconds;
        request.targetSsim = target;
        QElapsedTimer clock;
        clock.start();
        const VideoLookResult look = SearchVideoLook(request);
        const qint64 searchMs = clock.elapsed();
        ASSERT_EQ(look.search.status, SearchStatus::Reached) << name;

        const auto encode = [&](int crf, qint64* ms) {
            const QString output = work.filePath(QString("%1-%2.mp4").arg(name).arg(crf));
            const EncoderRuns runs = RenderRunsAtQuality(request.plan, ffmpeg, source, output,
                                                         work.path(), request.av1Encoder, crf);
            QElapsedTimer timer;
            timer.start();
            EXPECT_TRUE(searchtest::RunQuietly(runs.runs[0].program, runs.runs[0].arguments));
            if (ms) *ms = timer.elapsed();
            return Point{searchtest::FileSsim(output, source), double(QFileInfo(output).size())};
        };
        qint64 finalMs = 0;
        const Point result = encode(look.search.setting, &finalMs);
        searchedSsim += result.ssim / double(clips.size());
        searchedBytes += result.bytes;
        std::printf(
            "video %-6s %zu samples, %zu probes: CRF %d, samples' SSIM %.4f; whole "
            "clip SSIM %.4f, %.0f bytes; search %lld ms, final encode %lld ms\n",
            name, PlanSamples(seconds).size(), look.search.probes.size(), look.search.setting,
            look.search.value, result.ssim, result.bytes, static_cast<long long>(searchMs),
            static_cast<long long>(finalMs));
        for (int crf = 14; crf <= 44; crf += 2) fixed[crf].push_back(encode(crf, nullptr));
    }
    const auto [crf, bytes] = FixedForMeanSsim(fixed, searchedSsim, false);
    const auto [safeCrf, safeBytes] = FixedForEveryFile(fixed, target, false);
    std::printf(
        "video searched: mean SSIM %.4f, %.0f bytes; one fixed CRF %.1f for the same "
        "mean SSIM: %.0f bytes (searched = %.1f %% of fixed); one fixed CRF %d for at "
        "least %.3f on every clip: %.0f bytes (searched = %.1f %%)\n",
        searchedSsim, searchedBytes, crf, bytes, 100 * searchedBytes / bytes, safeCrf, target,
        safeBytes, 100 * searchedBytes / safeBytes);
    for (const auto& [setting, points] : fixed) {
        std::printf("  fixed CRF %d:", setting);
        for (const Point& p : points) std::printf(" %.4f/%.0f", p.ssim, p.bytes);
        std::printf("\n");
    }
}

TEST(SearchBench, ImageLookAgainstOneFixedQuality)
{
    if (!BenchWanted()) GTEST_SKIP() << "set LUMO_SEARCH_BENCH=1";
    ImagePipeline::InitializeLibrary();
    const double target = 0.95;
    const std::vector<const char*> pictures = {"rose:", "logo:", "plasma:fractal[320x240]",
                                               "granite:[256x256]"};
    for (ImageCodec codec : {ImageCodec::Jpeg, ImageCodec::Webp, ImageCodec::Avif}) {
        const char* codecName = codec == ImageCodec::Jpeg   ? "jpeg"
                                : codec == ImageCodec::Webp ? "webp"
                                                            : "avif";
        std::map<int, std::vector<Point>> fixed;
        double searchedSsim = 0;
        double searchedBytes = 0;
        for (const char* spec : pictures) {
            Magick::Image source;
            source.read(spec);
            if (std::string(spec).rfind("granite", 0) == 0) source.resize("256x256!");
            QElapsedTimer clock;
            clock.start();
            const ImageSearchResult look = SearchImageLook(source, codec, target);
            const qint64 searchMs = clock.elapsed();
            ASSERT_EQ(look.search.status, SearchStatus::Reached) << spec;
            clock.restart();
            const Magick::Blob once = EncodeImage(source, codec, look.search.setting);
            const qint64 encodeMs = clock.elapsed();
            searchedSsim += look.search.value / double(pictures.size());
            searchedBytes += double(look.blob.length());
            std::printf(
                "%s %-24s %zu probes: quality %d, SSIM %.4f, %zu bytes; search %lld ms, "
                "one encode %lld ms\n",
                codecName, spec, look.search.probes.size(), look.search.setting, look.search.value,
                look.blob.length(), static_cast<long long>(searchMs),
                static_cast<long long>(encodeMs));
            (void)once;
            const LumaPlane reference = LumaOf(source);
            for (int q = 5; q <= 98; ++q) {
                const Magick::Blob blob = EncodeImage(source, codec, q);
                fixed[q].push_back(
                    {LumaSsim(reference, LumaOf(Magick::Image(blob))), double(blob.length())});
            }
        }
        const auto [quality, bytes] = FixedForMeanSsim(fixed, searchedSsim, true);
        const auto [safe, safeBytes] = FixedForEveryFile(fixed, target, true);
        std::printf(
            "%s searched: mean SSIM %.4f, %.0f bytes; one fixed quality %.1f for the "
            "same mean SSIM: %.0f bytes (searched = %.1f %% of fixed); one fixed "
            "quality %d for at least %.3f on every picture: %.0f bytes (searched = "
            "%.1f %%)\n",
            codecName, searchedSsim, searchedBytes, quality, bytes, 100 * searchedBytes / bytes,
            safe, target, safeBytes, 100 * searchedBytes / safeBytes);
    }
}
