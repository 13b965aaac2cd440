#include "core/platform/ProfileFile.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QSaveFile>

#include <climits>
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

std::optional<QString> ReadValue(const QString& section, const QString& key, const QString& file)
{
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return std::nullopt;
    const Document doc = Parse(in.readAll());
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

    QByteArray content;
    {
        QFile in(file);
        if (in.exists()) {
            if (!in.open(QIODevice::ReadOnly)) return false;
            content = in.readAll();
        }
    }
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

    QSaveFile save(file);
    if (!save.open(QIODevice::WriteOnly)) return false;
    if (save.write(out) != out.size()) {
        save.cancelWriting();
        return false;
    }
    return save.commit();
}

}  // namespace platform
