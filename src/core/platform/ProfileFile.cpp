// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/platform/ProfileFile.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSaveFile>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <mutex>
#include <optional>

namespace platform {
namespace {

constexpr char kUtf8Bom[] = "\xEF\xBB\xBF";

// One line of the file: the bytes as they stand (without the line ending) and its ending, so a
// rewrite can hand back every untouched line byte for byte.
struct Line {
    QByteArray text;
    QByteArray ending;  // "\n", "\r\n" or "" for a last line without one
};

struct Document {
    bool hasBom = false;
    QList<Line> lines;
};

Document Parse(const QByteArray& content)
{
    Document doc;
    qsizetype pos = 0;
    if (content.startsWith(kUtf8Bom)) {
        doc.hasBom = true;
        pos = 3;
    }
    while (pos < content.size()) {
        const qsizetype newline = content.indexOf('\n', pos);
        Line line;
        if (newline < 0) {
            line.text = content.mid(pos);
            pos = content.size();
        } else {
            line.text = content.mid(pos, newline - pos);
            line.ending = "\n";
            pos = newline + 1;
        }
        if (line.text.endsWith('\r') && !line.ending.isEmpty()) {
            line.text.chop(1);
            line.ending = "\r\n";
        }
        doc.lines.append(std::move(line));
    }
    return doc;
}

// The section name of a "[name]" line (trimmed), or nothing for any other line. Text after the
// closing bracket is ignored; a line without one names the rest of the line.
std::optional<QString> SectionName(const QString& trimmedLine)
{
    if (!trimmedLine.startsWith(u'[')) return std::nullopt;
    qsizetype end = trimmedLine.indexOf(u']');
    if (end < 0) end = trimmedLine.size();
    return trimmedLine.mid(1, end - 1).trimmed();
}

struct Entry {
    QString key;    // trimmed
    QString value;  // trimmed, quotes still on
};

// A "key=value" line; comment lines and lines without '=' hold no entry.
std::optional<Entry> ParseEntry(const QString& trimmedLine)
{
    if (trimmedLine.startsWith(u';')) return std::nullopt;
    const qsizetype eq = trimmedLine.indexOf(u'=');
    if (eq < 0) return std::nullopt;
    return Entry{trimmedLine.left(eq).trimmed(), trimmedLine.mid(eq + 1).trimmed()};
}

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a key stands in the document. Only the first section of a name is searched, and the
// first line of a key wins, as the Windows profile calls do.
struct Location {
    qsizetype sectionLine = -1;      // the "[section]" line, -1 when there is none
    qsizetype keyLine = -1;          // the "key=value" line, -1 when the section lacks the key
    qsizetype lastContentLine = -1;  // the section's last non-blank line
    Entry entry;
};

Location Find(const Document& doc, const QString& section, const QString& key)
{
    Location loc;
    const QString wantedSection = section.trimmed();
    const QString wantedKey = key.trimmed();
    for (qsizetype i = 0; i < doc.lines.size(); ++i) {
        const QString line = QString::fromUtf8(doc.lines[i].text).trimmed();
        if (const auto name = SectionName(line)) {
            if (loc.sectionLine >= 0) break;  // the wanted section has ended
            if (SameName(*name, wantedSection)) {
                loc.sectionLine = i;
                loc.lastContentLine = i;
            }
            continue;
        }
        if (loc.sectionLine < 0) continue;
        if (!line.isEmpty()) loc.lastContentLine = i;
        if (loc.keyLine >= 0) continue;
        if (auto entry = ParseEntry(line); entry && SameName(entry->key, wantedKey)) {
            loc.keyLine = i;
            loc.entry = std::move(*entry);
        }
    }
    return loc;
}

// The value as the Windows call hands it out: one pair of matching quotes around it removed.
QString Unquote(const QString& value)
{
    if (value.size() >= 2) {
        const QChar first = value.front();
        if ((first == u'"' || first == u'\'') && value.back() == first)
            return value.mid(1, value.size() - 2);
    }
    return value;
}

QString ErrorText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

// What opening the file at a path found: its bytes, or why a file that is there is not used.
struct FileRead {
    bool present = false;
    QString unusedReason;  // empty when the content is used (or there is no file)
    QByteArray content;
};

// Only a regular file (after links) of at most kMaxFileSize bytes is read. Whatever else stands
// at the path is never read: stat() turns away a pipe, a device or a folder before any open, and
// the open itself does not wait (O_NONBLOCK) and is checked again on the descriptor, so a pipe
// put there in between is not read either. withContent false stops after those checks.
FileRead OpenProfileFile(const QString& file, bool withContent)
{
    FileRead result;
    const QByteArray native = QFile::encodeName(file);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            result.present = true;
            result.unusedReason = ErrorText(errno);
        }
        return result;
    }
    result.present = true;
    const auto kind = [](const struct stat& s) -> QString {
        if (S_ISDIR(s.st_mode)) return ErrorText(EISDIR);
        if (!S_ISREG(s.st_mode)) return QStringLiteral("not a regular file");
        if (s.st_size > kMaxFileSize) return QStringLiteral("larger than 1 MiB");
        return {};
    };
    if (result.unusedReason = kind(info); !result.unusedReason.isEmpty()) return result;

    const int fd = ::open(native.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            result.present = false;
        else
            result.unusedReason = ErrorText(errno);
        return result;
    }
    if (::fstat(fd, &info) != 0)
        result.unusedReason = ErrorText(errno);
    else
        result.unusedReason = kind(info);
    if (result.unusedReason.isEmpty() && withContent) {
        // Room for what fstat saw and one byte more, which tells a file that has grown since;
        // such a file is read on up to one byte past the limit.
        result.content.resize(info.st_size + 1);
        qsizetype size = 0;
        for (;;) {
            if (size == result.content.size()) {
                if (size > kMaxFileSize) break;
                result.content.resize(kMaxFileSize + 1);
            }
            const ssize_t n =
                ::read(fd, result.content.data() + size, result.content.size() - size);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                result.unusedReason = ErrorText(errno);
                break;
            }
            if (n == 0) break;
            size += n;
        }
        if (result.unusedReason.isEmpty() && size > kMaxFileSize)
            result.unusedReason = QStringLiteral("larger than 1 MiB");
        result.content.resize(result.unusedReason.isEmpty() ? size : 0);
    }
    ::close(fd);
    return result;
}

std::optional<QString> ReadValue(const QString& section, const QString& key, const QString& file)
{
    const FileRead in = OpenProfileFile(file, true);
    if (!in.present || !in.unusedReason.isEmpty()) return std::nullopt;
    const Document doc = Parse(in.content);
    const Location loc = Find(doc, section, key);
    if (loc.keyLine < 0) return std::nullopt;
    return Unquote(loc.entry.value);
}

// At most capacity - 1 UTF-16 units, never ending on the first half of a surrogate pair.
QString CutToCapacity(const QString& text, int capacity)
{
    if (capacity < 1) return {};
    qsizetype length = qMin<qsizetype>(text.size(), capacity - 1);
    if (length > 0 && length < text.size() && text.at(length - 1).isHighSurrogate()) --length;
    return text.left(length);
}

bool HasLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

// All writers of the process take turns, so a read-modify-write of one never overwrites the
// key another has just written.
std::mutex& WriteMutex()
{
    static std::mutex mutex;
    return mutex;
}

}  // namespace

QString UnusedFileReason(const QString& file)
{
    return OpenProfileFile(file, false).unusedReason;
}

int GetPrivateProfileInt(const QString& section, const QString& key, int defaultValue,
                         const QString& file)
{
    const std::optional<QString> value = ReadValue(section, key, file);
    if (!value || value->isEmpty()) return defaultValue;

    qsizetype i = 0;
    while (i < value->size() && value->at(i).isSpace()) ++i;
    bool negative = false;
    if (i < value->size() && (value->at(i) == u'+' || value->at(i) == u'-')) {
        negative = value->at(i) == u'-';
        ++i;
    }
    // Digits beyond the int range no longer matter: the result saturates.
    constexpr long long kLimit = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    for (; i < value->size(); ++i) {
        const char16_t c = value->at(i).unicode();
        if (c < u'0' || c > u'9') break;
        magnitude = qMin(magnitude * 10 + (c - u'0'), kLimit);
    }
    if (negative) return static_cast<int>(-magnitude);
    return static_cast<int>(qMin<long long>(magnitude, INT_MAX));
}

QString GetPrivateProfileString(const QString& section, const QString& key,
                                const QString& defaultValue, int capacity, const QString& file)
{
    const std::optional<QString> value = ReadValue(section, key, file);
    return CutToCapacity(value ? *value : defaultValue, capacity);
}

bool WritePrivateProfileString(const QString& section, const QString& key, const QString& value,
                               const QString& file)
{
    // A name that could not be read back as written is refused as well: an empty key, '=' in a
    // key, ']' in a section name.
    if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value)) return false;
    if (key.trimmed().isEmpty() || key.contains(u'=') || section.contains(u']')) return false;

    std::lock_guard lock(WriteMutex());

    // A file that is there but not used for reading is not replaced either: nothing of a file
    // too large to read is lost, and a pipe or a device is neither read nor written.
    const FileRead in = OpenProfileFile(file, true);
    if (!in.unusedReason.isEmpty()) return false;
    const QByteArray& content = in.content;
    Document doc = Parse(content);
    // New lines take the ending the file already uses.
    const QByteArray ending = (!doc.lines.isEmpty() && doc.lines.front().ending == "\r\n")
                                  ? QByteArray("\r\n")
                                  : QByteArray("\n");

    const Location loc = Find(doc, section, key);
    if (loc.keyLine >= 0) {
        doc.lines[loc.keyLine].text = (loc.entry.key + u'=' + value).toUtf8();
    } else {
        if (!doc.lines.isEmpty() && doc.lines.back().ending.isEmpty())
            doc.lines.back().ending = ending;
        const Line entry{(key.trimmed() + u'=' + value).toUtf8(), ending};
        if (loc.sectionLine >= 0) {
            doc.lines.insert(loc.lastContentLine + 1, entry);
        } else {
            if (!doc.lines.isEmpty() && !doc.lines.back().text.trimmed().isEmpty())
                doc.lines.append(Line{{}, ending});
            doc.lines.append(Line{(u'[' + section.trimmed() + u']').toUtf8(), ending});
            doc.lines.append(entry);
        }
    }

    QByteArray out;
    out.reserve(content.size() + key.size() + value.size() + section.size() + 8);
    if (doc.hasBom) out.append(kUtf8Bom);
    for (const Line& line : doc.lines) {
        out.append(line.text);
        out.append(line.ending);
    }

    // The file must stay one that the reads use.
    if (out.size() > kMaxFileSize) return false;

    QSaveFile save(file);
    if (!save.open(QIODevice::WriteOnly)) return false;
    if (save.write(out) != out.size()) {
        save.cancelWriting();
        return false;
    }
    return save.commit();
}

}  // namespace platform
