// SPDX-License-Identifier: GPL-3.0-or-later
// The searches against one fixed setting for every file, printed: each file's searched result
// (bytes, SSIM), the one fixed CRF or quality that gives the same mean SSIM over the files and
// its bytes, and the search's time against the final encode's. Runs only with
// LUMO_SEARCH_BENCH=1 in the environment (a minute or two of encoding).

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
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

// CPU seconds (user + system) of every child reaped so far: robust to other load on the
// machine, unlike wall time.
double ChildrenCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_CHILDREN, &usage);
    const auto seconds = [](const timeval& t) { return double(t.tv_sec) + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}

QString EnvOr(const char* name, const char* fallback)
{
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QString(fallback) : value;
}

// A camera-like clip (a plasma fractal panning, with grain, cut where the pan wraps) or a
// screen-like one (a still card with a running counter), nearly lossless.
bool MakeLongClip(const QString& path, bool camera, double seconds, const QString& size,
                  const QString& work)
{
    const QStringList sides = size.split('x');
    const int width = sides.value(0).toInt();
    const int height = sides.value(1).toInt();
    QStringList arguments{"-nostdin", "-v", "error", "-y"};
    if (camera) {
        ImagePipeline::InitializeLibrary();
        Magick::Image plasma;
        plasma.size(Magick::Geometry(width * 3 / 2, height * 3 / 2));
        plasma.read("plasma:fractal");
        const QString picture = work + "/plasma.png";
        plasma.write(picture.toStdString());
        arguments << "-loop"
                  << "1"
                  << "-framerate"
                  << "30"
                  << "-i" << picture << "-t" << QString::number(seconds) << "-vf"
                  << QString("crop=%1:%2:x='mod(t*40,%3)':y='mod(t*20,%4)',noise=alls=3:allf=t")
                         .arg(width)
                         .arg(height)
                         .arg(width / 2)
                         .arg(height / 2);
    } else {
        arguments << "-f"
                  << "lavfi"
                  << "-i" << QString("testsrc=size=%1:rate=30:duration=%2").arg(size).arg(seconds);
    }
    arguments << "-c:v"
              << "libx264"
              << "-preset"
              << "ultrafast"
              << "-crf"
              << "10"
              << "-pix_fmt"
              << "yuv420p" << path;
    return searchtest::RunQuietly(FindTool("ffmpeg"), arguments);
}

}  // namespace

// The varied set at the engine's own target (the general strength's SSIM): long camera-like
// and screen-like clips (over a minute, LUMO_SEARCH_BENCH_SIZE, default 1280x720), whose
// search is timed in CPU seconds against the final encode, and short clips of every kind,
// whose bytes are set against the one fixed CRF that gives the same mean SSIM. For every clip
// the whole file's SSIM against the target.
TEST(SearchBench, VariedSetAtTheStrengthsLook)
{
    if (!BenchWanted()) GTEST_SKIP() << "set LUMO_SEARCH_BENCH=1";
    QTemporaryDir work;
    const QString ffmpeg = FindTool("ffmpeg");
    const double target = StrengthSsim(0);
    const QString longSize = EnvOr("LUMO_SEARCH_BENCH_SIZE", "1280x720");
    const double longSeconds = EnvOr("LUMO_SEARCH_BENCH_SECONDS", "70").toDouble();

    struct Item {
        QString name;
        QString path;
        double seconds;
        bool timed;  // a long clip: its search's cost is measured
    };
    std::vector<Item> items;
    for (bool camera : {true, false}) {
        const QString name = camera ? "long-camera" : "long-screen";
        const QString path = work.filePath(name + ".mkv");
        ASSERT_TRUE(MakeLongClip(path, camera, longSeconds, longSize, work.path()))
            << name.toStdString();
        items.push_back({name, path, longSeconds, true});
    }
    const std::vector<std::pair<const char*, searchtest::Clip>> shortClips = {
        {"grain", searchtest::Clip::Grain},
        {"screen", searchtest::Clip::Screen},
        {"zoom", searchtest::Clip::Zoom}};
    for (const auto& [name, clip] : shortClips) {
        const QString path = work.filePath(QString(name) + ".mkv");
        ASSERT_TRUE(searchtest::MakeClip(path, clip, 10, "320x240", false)) << name;
        items.push_back({name, path, 10, false});
    }

    double worstBelow = -1;
    std::map<int, std::vector<Point>> fixed;
    double shortSsim = 0;
    double shortBytes = 0;
    int shortCount = 0;
    for (const Item& item : items) {
        VideoLookRequest request;
        request.plan = searchtest::LookPlan(item.path);
        request.ffmpeg = ffmpeg;
        request.sourcePath = item.path;
        request.av1Encoder = videocodec::Av1Encoder(ffmpeg);
        request.durationSeconds = item.seconds;
        request.targetSsim = target;
        request.samples = PlanSamples(item.seconds);
        const double before = ChildrenCpuSeconds();
        const VideoLookResult look = SearchVideoLook(request);
        const double searchCpu = ChildrenCpuSeconds() - before;
        ASSERT_NE(look.search.status, SearchStatus::Failed) << look.search.error.toStdString();

        const auto encode = [&](double crf, double* cpu) {
            const QString output = work.filePath(QString("%1-%2.mp4").arg(item.name).arg(crf));
            const EncoderRuns runs = RenderRunsAtQuality(request.plan, ffmpeg, item.path, output,
                                                         work.path(), request.av1Encoder, crf);
            const double start = ChildrenCpuSeconds();
            EXPECT_TRUE(searchtest::RunQuietly(runs.runs[0].program, runs.runs[0].arguments));
            if (cpu) *cpu = ChildrenCpuSeconds() - start;
            const Point point{searchtest::FileSsim(output, item.path),
                              double(QFileInfo(output).size())};
            QFile::remove(output);
            return point;
        };
        double finalCpu = 0;
        const Point result = encode(look.Crf(), &finalCpu);
        worstBelow = std::max(worstBelow, target - result.ssim);
        std::printf(
            "video %-11s %5.1f s: %zu samples of %.2f s, %zu probes: CRF %g, samples' SSIM "
            "%.4f; whole clip SSIM %.4f (target %.3f), %.0f bytes",
            qPrintable(item.name), item.seconds, request.samples.size(), request.samples[0].length,
            look.search.probes.size(), look.Crf(), look.search.value, result.ssim, target,
            result.bytes);
        std::printf(" [%s%s]",
                    look.search.status == SearchStatus::Estimated ? "estimated" : "probes",
                    searchtest::ProbeList(look.search, look.crfSteps).c_str());
        if (item.timed) {
            std::printf(
                "; search %.1f CPU s, final encode %.1f CPU s: search = %.2f of the "
                "final encode (estimated %.2f)",
                searchCpu, finalCpu, searchCpu / finalCpu,
                SearchCost(request.samples, item.seconds,
                           static_cast<int>(look.search.probes.size())));
        }
        std::printf("\n");
        std::fflush(stdout);
        if (item.timed) continue;
        shortSsim += result.ssim;
        shortBytes += result.bytes;
        ++shortCount;
        for (int crf = 17; crf <= 41; crf += 3) fixed[crf].push_back(encode(crf, nullptr));
    }
    shortSsim /= shortCount;
    const auto [crf, bytes] = FixedForMeanSsim(fixed, shortSsim, false);
    std::printf(
        "video short set: searched mean SSIM %.4f, %.0f bytes; one fixed CRF %.1f for "
        "the same mean SSIM: %.0f bytes (searched = %.1f %% of fixed)\n",
        shortSsim, shortBytes, crf, bytes, 100 * shortBytes / bytes);
    const auto [safeCrf, safeBytes] = FixedForEveryFile(fixed, target, false);
    std::printf(
        "video short set: one fixed CRF %d for at least %.3f on every clip: %.0f bytes "
        "(searched = %.1f %% of it)\n",
        safeCrf, target, safeBytes, 100 * shortBytes / safeBytes);
    std::printf("video worst whole-clip SSIM: %.4f below the target (%s)\n", worstBelow,
                worstBelow <= 0.005 ? "within 0.005" : "MORE than 0.005");
}

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

        const auto encode = [&](double crf, qint64* ms) {
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
        const Point result = encode(look.Crf(), &finalMs);
        searchedSsim += result.ssim / double(clips.size());
        searchedBytes += result.bytes;
        std::printf(
            "video %-6s %zu samples, %zu probes: CRF %g, samples' SSIM %.4f; whole "
            "clip SSIM %.4f, %.0f bytes; search %lld ms, final encode %lld ms\n",
            name, PlanSamples(seconds).size(), look.search.probes.size(), look.Crf(),
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
        for (const char* picture : pictures) {
            Magick::Image source;
            source.read(picture);
            if (std::string(picture).rfind("granite", 0) == 0) source.resize("256x256!");
            QElapsedTimer clock;
            clock.start();
            const ImageSearchResult look = SearchImageLook(source, codec, target);
            const qint64 searchMs = clock.elapsed();
            ASSERT_EQ(look.search.status, SearchStatus::Reached) << picture;
            clock.restart();
            const Magick::Blob once = EncodeImage(source, codec, look.search.setting);
            const qint64 encodeMs = clock.elapsed();
            searchedSsim += look.search.value / double(pictures.size());
            searchedBytes += double(look.blob.length());
            std::printf(
                "%s %-24s %zu probes: quality %d, SSIM %.4f, %zu bytes; search %lld ms, "
                "one encode %lld ms\n",
                codecName, picture, look.search.probes.size(), look.search.setting,
                look.search.value, look.blob.length(), static_cast<long long>(searchMs),
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
