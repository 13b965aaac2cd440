// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/SourceQuality.h"

#include "core/app/TextUtil.h"

#include <algorithm>
#include <stdexcept>
#include <string>

namespace {

// The identifier's report is one short line per frame; a megabyte is far more than any real
// report and still bounds a misbehaving one.
constexpr qint64 kMaxReport = 1 << 20;

constexpr char kMarker[] = "Quality:";

}  // namespace

std::optional<int> SourceQuality::Parse(const QByteArray& report)
{
    const qsizetype at = report.indexOf(kMarker);
    if (at < 0) return std::nullopt;
    std::string digits;
    for (qsizetype i = at + qsizetype(sizeof(kMarker) - 1); i < report.size(); ++i) {
        const char c = report[i];
        if (c == '\r' || c == '\n') break;
        if (c != ' ') digits.push_back(c);
    }
    try {
        return std::stoi(digits);
    } catch (const std::invalid_argument&) {
        throw std::invalid_argument("no number after \"Quality:\" in the identifier's report");
    } catch (const std::out_of_range&) {
        throw std::out_of_range("the number after \"Quality:\" is out of range");
    }
}

int SourceQuality::Read(const QString& identifyPath, const QString& sourcePath)
{
    DebugPrint("identifyPath: %s\n", WideToAnsi(identifyPath).c_str());
    if (identifyPath.isEmpty()) return kFallback;

    // "%[quality]" is the number the identifier's verbose report prints as "Quality:", and 0 where
    // that report has no such line. "-" reads the image from standard input.
    const auto run =
        platform::RunCapture(identifyPath, {"-ping", "-format", "Quality: %[quality]\n", "-"},
                             kTimeoutMs, kMaxReport, sourcePath);
    if (!run.started || run.timedOut) return kFallback;
    DebugPrint("szPipeOut:%s\n", run.output.constData());

    const std::optional<int> quality = Parse(run.output);
    if (!quality || *quality == 0) return kFallback;
    return *quality;
}
