// SPDX-License-Identifier: GPL-3.0-or-later
#include "ConsoleView.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonValue>

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>

#include "ConsoleText.h"
#include "core/app/FailureText.h"
#include "core/app/OutputPlace.h"
#include "core/app/TextUtil.h"

using console::DisplayWidth;
using console::Elide;
using console::IecSize;
using console::Pad;

namespace {

constexpr int kPlainStep = 10;  // plain output prints progress in steps of this many percent
constexpr int kMaxFileColumn = 48;

QString KindWord(const BatchItem& item)
{
    return item.kind == BatchItem::Kind::Video ? QStringLiteral("video") : QStringLiteral("image");
}

QString ResultWord(const BatchItem& item)
{
    switch (item.state) {
        case BatchItem::State::Done:
            return QStringLiteral("done");
        case BatchItem::State::Kept:
            return QStringLiteral("kept: the original is smaller");
        case BatchItem::State::Failed:
            return QStringLiteral("failed: ") + ReadableFailure(item.error);
        case BatchItem::State::Stopped:
            return QStringLiteral("stopped");
        case BatchItem::State::NotStarted:
            return QStringLiteral("not started");
        default:
            return QStringLiteral("unfinished");
    }
}

QString ElapsedText(const BatchItem& item, qint64 nowMs)
{
    return FormatClock((nowMs - item.startedMs) / 1000);
}

}  // namespace

ConsoleView::ConsoleView(int out, int err, Mode mode, bool quiet)
    : out_(out), err_(err), mode_(mode), quiet_(quiet)
{
}

QString ConsoleView::FailureCode(const BatchItem& item)
{
    switch (item.state) {
        case BatchItem::State::Done:
        case BatchItem::State::Waiting:
        case BatchItem::State::Running:
            return {};
        case BatchItem::State::Kept:
            return QStringLiteral("not-smaller");
        case BatchItem::State::Stopped:
            return QStringLiteral("cancelled");
        case BatchItem::State::NotStarted:
            return QStringLiteral("not-started");
        case BatchItem::State::Failed:
            break;
    }
    if (!item.code.isEmpty()) return item.code;
    switch (ClassifyFailure(item.error)) {
        case FailureCause::DiskFull:
            return QStringLiteral("no-space");
        case FailureCause::OutOfMemory:
            return QStringLiteral("no-memory");
        case FailureCause::NoPermission:
            return QStringLiteral("no-permission");
        case FailureCause::MissingEncoder:
            return QStringLiteral("no-encoder");
        case FailureCause::Unsupported:
        case FailureCause::Damaged:
            return QStringLiteral("damaged");
        case FailureCause::FileNotFound:
            return QStringLiteral("missing");
        case FailureCause::ToolNotStarted:
            return QStringLiteral("no-ffmpeg");
        case FailureCause::ToolHung:
            return QStringLiteral("hung");
        case FailureCause::ToolCrashed:
            return QStringLiteral("crashed");
        case FailureCause::OneFrameOnly:
            return QStringLiteral("frames-not-kept");
        case FailureCause::OverSizeLimit:
            return QStringLiteral("over-size");
        case FailureCause::Unknown:
            break;
    }
    // The engines' own words for an output they could not write or publish.
    for (const char* phrase :
         {"cannot write", "cannot create", "cannot save", "cannot name the output",
          "output file is missing", "written file missing"})
        if (item.error.contains(QLatin1String(phrase), Qt::CaseInsensitive))
            return QStringLiteral("write-failed");
    return QStringLiteral("failed");
}

std::optional<ConsoleView::Rate> ConsoleView::EstimateRate(const BatchItem& item, qint64 nowMs)
{
    const qint64 spentMs = item.progressMs - item.startedMs;
    if (item.percent <= 0 || item.durationSeconds <= 0 || spentMs <= 0) return std::nullopt;
    Rate rate;
    const double encodedSeconds = item.durationSeconds * item.percent / 100.0;
    rate.speed = encodedSeconds / (spentMs / 1000.0);
    // What is left at the pace so far, counted down between two reports.
    const double leftMs =
        spentMs * (100.0 - item.percent) / item.percent - (nowMs - item.progressMs);
    rate.secondsLeft = static_cast<qint64>(std::ceil(std::max(0.0, leftMs) / 1000.0));
    return rate;
}

QJsonObject ConsoleView::ToJson(const BatchItem& item)
{
    const bool done = item.state == BatchItem::State::Done;
    QJsonObject object;
    object.insert("kind", KindWord(item));
    object.insert("source", item.sourcePath);
    object.insert("source_size", static_cast<double>(item.sourceSize));
    object.insert("output", done ? QJsonValue(item.outputPath) : QJsonValue());
    object.insert("output_size",
                  done ? QJsonValue(static_cast<double>(item.outputSize)) : QJsonValue());
    const double saving = SavingPercent(item.sourceSize, item.outputSize);
    object.insert("saving", done ? QJsonValue(std::round(saving * 100.0) / 100.0) : QJsonValue());
    const bool kept = item.state == BatchItem::State::Kept;
    object.insert("result", done ? "done" : kept ? "kept" : "failed");
    if (kept) {
        object.insert("saving", 0.0);
        object.insert("note", QStringLiteral("the original is already smaller; no output kept"));
        object.insert("code", FailureCode(item));
    } else if (!done) {
        object.insert("code", FailureCode(item));
        QString error = item.error;
        if (item.state == BatchItem::State::Stopped) error = QStringLiteral("stopped");
        if (item.state == BatchItem::State::NotStarted) error = QStringLiteral("not started");
        // The sentence, and the engine's own words too, for scripts, when the sentence stands
        // for them.
        const QString sentence = FailureSentence(ClassifyFailure(error));
        object.insert("error", sentence.isEmpty() ? error.trimmed() : sentence);
        if (!sentence.isEmpty()) object.insert("detail", error);
    }
    if (!item.notes.isEmpty()) object.insert("notes", QJsonArray::fromStringList(item.notes));
    // The searches' results, each only when its search ran.
    if (item.ssim > 0) object.insert("ssim", std::round(item.ssim * 1000.0) / 1000.0);
    if (item.crf > 0) object.insert("crf", item.crf);
    if (item.quality > 0) object.insert("quality", item.quality);
    if (item.scalePercent > 0 && item.scalePercent < 100)
        object.insert("scale_percent", item.scalePercent);
    if (item.fittedBitRate > 0) object.insert("fitted_bitrate", item.fittedBitRate);
    if (item.sizeTries > 0) object.insert("size_tries", item.sizeTries);
    if (done && item.replacedSource) {
        object.insert("replaced_source", true);
        object.insert("freed_bytes", static_cast<double>(item.freedBytes));
    }
    return object;
}

QString ConsoleView::ProgressLine(const BatchItem& item, qint64 nowMs, int width)
{
    QString head;
    if (item.kind == BatchItem::Kind::Video) {
        constexpr int kBar = 20;
        const int filled = std::clamp(item.percent, 0, 100) * kBar / 100;
        head = QStringLiteral("video %1% [%2%3]")
                   .arg(item.percent, 3)
                   .arg(QString(filled, u'#'), QString(kBar - filled, u'-'));
        if (const auto rate = EstimateRate(item, nowMs)) {
            head += QStringLiteral(" %1x %2 left")
                        .arg(rate->speed, 5, 'f', 2)
                        .arg(FormatClock(rate->secondsLeft), 5);
        } else {
            head += QStringLiteral("   --x  --:-- left");
        }
    } else {
        head = QStringLiteral("image      compressing, %1").arg(ElapsedText(item, nowMs), 5);
    }
    head += QStringLiteral("  ");
    const QString line = head + Elide(item.shownPath, std::max(8, width - DisplayWidth(head)));
    return DisplayWidth(line) <= width ? line : Elide(line, width);
}

QString ConsoleView::ResultLine(const BatchItem& item)
{
    switch (item.state) {
        case BatchItem::State::Done: {
            const double saving = SavingPercent(item.sourceSize, item.outputSize);
            QString line = QStringLiteral("done     %1 -> %2  %3 -> %4 (%5)")
                               .arg(item.shownPath, item.outputPath, IecSize(item.sourceSize),
                                    IecSize(item.outputSize), FormatSaving(saving));
            if (item.ssim > 0) line += QStringLiteral("  SSIM %1").arg(item.ssim, 0, 'f', 3);
            if (item.replacedSource)
                line += QStringLiteral("  in place, %1 freed; the original is in the trash")
                            .arg(IecSize(item.freedBytes));
            return line;
        }
        case BatchItem::State::Kept:
            return QStringLiteral(
                       "kept     %1: the original is already smaller (%2), no output "
                       "kept")
                .arg(item.shownPath, IecSize(item.sourceSize));
        case BatchItem::State::Failed:
            return QStringLiteral("failed   %1: %2")
                .arg(item.shownPath, ReadableFailure(item.error));
        case BatchItem::State::Stopped:
            return QStringLiteral("stopped  %1 (its unfinished output is removed)")
                .arg(item.shownPath);
        case BatchItem::State::NotStarted:
            return QStringLiteral("skipped  %1 (not started)").arg(item.shownPath);
        default:
            return item.shownPath;
    }
}

void ConsoleView::Started(const BatchItem& item, qint64 nowMs)
{
    if (mode_ == Mode::Json || quiet_) return;
    running_.push_back(&item);
    if (mode_ == Mode::Terminal) return DrawBlock(nowMs);
    plainShown_[&item] = 0;
    WriteError(QStringLiteral("start    %1 %2\n").arg(KindWord(item), item.shownPath));
}

void ConsoleView::Progress(const BatchItem& item, qint64 nowMs)
{
    if (quiet_) return;
    if (mode_ == Mode::Terminal) return DrawBlock(nowMs);
    if (mode_ != Mode::Plain) return;
    int& shown = plainShown_[&item];
    if (item.percent < shown + kPlainStep) return;
    shown = item.percent - item.percent % kPlainStep;
    QString line = QStringLiteral("         %1 %2%").arg(item.shownPath).arg(item.percent);
    if (const auto rate = EstimateRate(item, nowMs))
        line += QStringLiteral(" %1x %2 left")
                    .arg(rate->speed, 0, 'f', 2)
                    .arg(FormatClock(rate->secondsLeft));
    WriteError(line + u'\n');
}

void ConsoleView::Finished(const BatchItem& item, qint64 nowMs)
{
    std::erase(running_, &item);
    plainShown_.erase(&item);
    if (mode_ == Mode::Json) {
        Write(QString::fromUtf8(QJsonDocument(ToJson(item)).toJson(QJsonDocument::Compact)) +
              u'\n');
        return;
    }
    if (mode_ == Mode::Terminal) ClearBlock();
    // The choices that did not apply stay under their file's line, on its stream.
    QString lines = ResultLine(item) + u'\n';
    for (const QString& note : item.notes) lines += QStringLiteral("         note: %1\n").arg(note);
    if (item.Succeeded()) {
        if (!quiet_) Write(lines);
    } else {
        WriteError(lines);
    }
    if (mode_ == Mode::Terminal && !quiet_) DrawBlock(nowMs);
}

void ConsoleView::WouldWrite(const BatchItem& item, const QString& outputPath)
{
    if (mode_ == Mode::Json) {
        QJsonObject object;
        object.insert("kind", KindWord(item));
        object.insert("source", item.sourcePath);
        object.insert("source_size", static_cast<double>(item.sourceSize));
        object.insert("output", outputPath);
        object.insert("result", "dry-run");
        Write(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)) + u'\n');
        return;
    }
    Write(QStringLiteral("would    %1 -> %2  (%3)%4\n")
              .arg(item.shownPath, outputPath, IecSize(item.sourceSize),
                   inPlace_ ? QStringLiteral(" in place, the original to the trash when the "
                                             "output is smaller")
                            : QString()));
}

void ConsoleView::Tick(qint64 nowMs)
{
    if (mode_ == Mode::Terminal && !quiet_ && !running_.empty()) DrawBlock(nowMs);
}

void ConsoleView::Summary(const std::vector<BatchItem>& items, const QString& outputFolder,
                          int place)
{
    if (mode_ == Mode::Terminal) ClearBlock();
    running_.clear();
    if (mode_ == Mode::Json || quiet_) return;

    struct Row {
        QString file, oldSize, newSize, saving, result;
    };
    std::vector<Row> rows;
    rows.push_back({"File", "Old size", "New size", "Saving", "Result"});
    int done = 0;
    for (const BatchItem& item : items) {
        const bool ok = item.state == BatchItem::State::Done;
        done += ok ? 1 : 0;
        rows.push_back({Elide(item.shownPath, kMaxFileColumn), IecSize(item.sourceSize),
                        ok ? IecSize(item.outputSize) : QStringLiteral("-"),
                        ok ? FormatSaving(SavingPercent(item.sourceSize, item.outputSize))
                           : QStringLiteral("-"),
                        ResultWord(item)});
    }
    int widths[4] = {0, 0, 0, 0};
    for (const Row& row : rows) {
        widths[0] = std::max(widths[0], DisplayWidth(row.file));
        widths[1] = std::max(widths[1], DisplayWidth(row.oldSize));
        widths[2] = std::max(widths[2], DisplayWidth(row.newSize));
        widths[3] = std::max(widths[3], DisplayWidth(row.saving));
    }
    QString text(1, u'\n');
    for (size_t i = 0; i < rows.size(); ++i) {
        const Row& row = rows[i];
        const bool header = i == 0;
        text += Pad(row.file, widths[0]) + QStringLiteral("  ") +
                Pad(row.oldSize, widths[1], !header) + QStringLiteral("  ") +
                Pad(row.newSize, widths[2], !header) + QStringLiteral("  ") +
                Pad(row.saving, widths[3], !header) + QStringLiteral("  ") + row.result + u'\n';
    }
    QString where;
    switch (place) {
        case place::kTree:
            where = QStringLiteral("output folder: %1 (with the added folders' tree)")
                        .arg(outputFolder);
            break;
        case place::kBeside:
            where = QStringLiteral("outputs beside their sources");
            break;
        case place::kInPlace:
            where = QStringLiteral("outputs in place of their sources");
            break;
        default:
            where = QStringLiteral("output folder: ") + outputFolder;
            break;
    }
    text +=
        QStringLiteral("\n%1 of %2 files compressed; %3\n").arg(done).arg(items.size()).arg(where);
    qint64 freed = 0;
    int replaced = 0;
    for (const BatchItem& item : items) {
        if (item.state != BatchItem::State::Done || !item.replacedSource) continue;
        freed += item.freedBytes;
        ++replaced;
    }
    if (replaced > 0)
        text += QStringLiteral("%1 replaced and moved to the trash; space freed: %2 bytes (%3)\n")
                    .arg(replaced == 1 ? QStringLiteral("1 original")
                                       : QStringLiteral("%1 originals").arg(replaced))
                    .arg(freed)
                    .arg(IecSize(freed));
    Write(text);
}

void ConsoleView::Notice(const QString& text)
{
    if (mode_ == Mode::Terminal) ClearBlock();
    WriteError(QStringLiteral("lumocompress-cli: ") + text + u'\n');
}

void ConsoleView::Write(const QString& text)
{
    // After a failed write nothing more is tried: a full disk or a reader gone stays so, and
    // the first error is the one reported when the run ends.
    if (outError_ != 0) return;
    if (!WriteTo(out_, text)) outError_ = errno != 0 ? errno : EIO;
}

void ConsoleView::WriteError(const QString& text)
{
    WriteTo(err_, text);
}

bool ConsoleView::WriteTo(int fd, const QString& text)
{
    const QByteArray bytes = text.toUtf8();
    qsizetype offset = 0;
    while (offset < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + offset, bytes.size() - offset);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        offset += n;
    }
    return true;
}

int ConsoleView::Columns() const
{
    winsize size{};
    if (::ioctl(err_, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

void ConsoleView::ClearBlock()
{
    if (drawnLines_ == 0) return;
    // Up to the block's first line, then clear to the end of the screen.
    WriteError(QStringLiteral("\r\x1b[%1A\x1b[J").arg(drawnLines_));
    drawnLines_ = 0;
}

void ConsoleView::DrawBlock(qint64 nowMs)
{
    // One line per running file, each kept below the terminal's width so none wraps and the
    // block can be found again by counting lines.
    const int width = std::max(20, Columns() - 1);
    QString text;
    if (drawnLines_ > 0) text += QStringLiteral("\r\x1b[%1A").arg(drawnLines_);
    for (const BatchItem* item : running_)
        text += QStringLiteral("\x1b[2K") + ProgressLine(*item, nowMs, width) + u'\n';
    text += QStringLiteral("\x1b[J");
    drawnLines_ = static_cast<int>(running_.size());
    WriteError(text);
}
