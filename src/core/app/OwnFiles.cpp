// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/app/OwnFiles.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QList>
#include <QRandomGenerator>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <map>
#include <mutex>
#include <set>
#include <utility>
#include <vector>

#include "core/app/Logging.h"
#include "core/app/TextUtil.h"

namespace {

constexpr char kJournalSuffix[] = ".journal";
constexpr char kHeader[] = "lumo-own-files 1\n";

// When this process started, as the file system's clock counts: taken while the library is
// loaded, before main runs. A file changed since then may belong to a run that ended only
// after this one began; it is left for a later start.
const struct timespec kProcessStart = [] {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return now;
}();

bool Before(const struct timespec& a, const struct timespec& b)
{
    return a.tv_sec < b.tv_sec || (a.tv_sec == b.tv_sec && a.tv_nsec < b.tv_nsec);
}

// What identifies one file on disk, as a journal line records it.
struct Identity {
    quint64 device = 0;
    quint64 inode = 0;
    qint64 bornSec = 0;  // creation time; 0 and 0 when the file system does not keep one
    qint64 bornNsec = 0;
    bool folder = false;
};

bool Read(int dirFd, const char* name, int fd, Identity& out)
{
    struct statx info {};
    const int flags = fd >= 0 ? AT_EMPTY_PATH : AT_SYMLINK_NOFOLLOW;
    if (::statx(fd >= 0 ? fd : dirFd, fd >= 0 ? "" : name, flags,
                STATX_TYPE | STATX_INO | STATX_BTIME, &info) != 0)
        return false;
    out.device = (static_cast<quint64>(info.stx_dev_major) << 32) | info.stx_dev_minor;
    out.inode = info.stx_ino;
    out.folder = S_ISDIR(info.stx_mode);
    if (info.stx_mask & STATX_BTIME) {
        out.bornSec = info.stx_btime.tv_sec;
        out.bornNsec = info.stx_btime.tv_nsec;
    }
    return S_ISREG(info.stx_mode) || S_ISDIR(info.stx_mode);
}

quint64 DeviceOf(const struct stat& info)
{
    return (static_cast<quint64>(major(info.st_dev)) << 32) | minor(info.st_dev);
}

bool WriteLine(int fd, const QByteArray& line)
{
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + done, line.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += n;
    }
    return true;
}

QByteArray AddLine(const Identity& id, const QByteArray& path)
{
    return "+ " + QByteArray::number(id.device) + ' ' + QByteArray::number(id.inode) + ' ' +
           QByteArray::number(id.bornSec) + ' ' + QByteArray::number(id.bornNsec) + ' ' +
           (id.folder ? 'd' : 'f') + ' ' + path.toPercentEncoding() + '\n';
}

QByteArray ForgetLine(const Identity& id)
{
    return "- " + QByteArray::number(id.device) + ' ' + QByteArray::number(id.inode) + '\n';
}

// This process's side: the journals it writes (one per journal folder, in practice one) and
// the files it has registered and not forgotten.
struct Journal {
    int fd = -1;
    QByteArray path;
    int live = 0;
};
struct Registered {
    Identity id;
    QString folder;  // the journal folder it was recorded in
};
struct State {
    std::mutex lock;
    std::map<QString, Journal> journals;
    std::map<QString, Registered> files;
};

State& TheState()
{
    static State state;
    return state;
}

// Creates this process's journal in folder, locked before it gets the name the cleaners look
// for, so none of them can take it for the journal of an ended run.
bool OpenJournal(const QString& folder, Journal& journal)
{
    if (!QDir().mkpath(folder)) return false;
    ::chmod(QFile::encodeName(folder).constData(), 0700);
    const QByteArray base = QFile::encodeName(folder) + '/' + QByteArray::number(::getpid()) + '-' +
                            QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    const QByteArray hidden = base + ".new";
    const int fd =
        ::open(hidden.constData(), O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0) return false;
    const QByteArray named = base + kJournalSuffix;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || !WriteLine(fd, kHeader) ||
        ::rename(hidden.constData(), named.constData()) != 0) {
        ::unlink(hidden.constData());
        ::close(fd);
        return false;
    }
    journal.fd = fd;
    journal.path = named;
    journal.live = 0;
    return true;
}

// One file an ended run's journal still lists.
struct Listed {
    Identity id;
    QByteArray path;
};

std::vector<Listed> ParseJournal(const QByteArray& text)
{
    std::map<std::pair<quint64, quint64>, Listed> live;
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        bool ok = true;
        const auto number = [&](qsizetype i) {
            bool good = false;
            const qint64 value = fields.value(i).toLongLong(&good);
            ok = ok && good;
            return value;
        };
        if (fields.size() == 7 && fields[0] == "+") {
            Listed entry;
            entry.id.device = static_cast<quint64>(number(1));
            entry.id.inode = static_cast<quint64>(number(2));
            entry.id.bornSec = number(3);
            entry.id.bornNsec = number(4);
            entry.id.folder = fields[5] == "d";
            entry.path = QByteArray::fromPercentEncoding(fields[6]);
            if (ok && entry.path.startsWith('/') && (fields[5] == "d" || fields[5] == "f"))
                live[{entry.id.device, entry.id.inode}] = entry;
        } else if (fields.size() == 3 && fields[0] == "-") {
            const auto key =
                std::make_pair(static_cast<quint64>(number(1)), static_cast<quint64>(number(2)));
            if (ok) live.erase(key);
        }
    }
    std::vector<Listed> entries;
    for (auto& [key, entry] : live) entries.push_back(std::move(entry));
    return entries;
}

enum class Verdict {
    Removed,  // it was ours and is gone now
    Drop,     // not (or no longer) the file recorded, or to be kept: forget it
    Retry,    // ours, but not to be removed yet (changed lately, locked): ask again later
};

using KeptSet = std::set<std::pair<quint64, quint64>>;

// Removes the regular files directly in an open folder, then reports whether anything else
// is in it (which keeps the folder).
bool EmptyFolder(int folderFd)
{
    const int listFd = ::dup(folderFd);
    DIR* dir = listFd >= 0 ? ::fdopendir(listFd) : nullptr;
    if (!dir) {
        if (listFd >= 0) ::close(listFd);
        return false;
    }
    bool empty = true;
    while (const struct dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..") continue;
        struct stat info {};
        const bool plain = ::fstatat(folderFd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) == 0 &&
                           S_ISREG(info.st_mode) && info.st_uid == ::geteuid();
        if (!plain || ::unlinkat(folderFd, entry->d_name, 0) != 0) empty = false;
    }
    ::closedir(dir);
    return empty;
}

Verdict RemoveListed(const Listed& entry, const KeptSet& kept)
{
    const qsizetype slash = entry.path.lastIndexOf('/');
    const QByteArray folder = slash == 0 ? QByteArray("/") : entry.path.left(slash);
    const QByteArray name = entry.path.mid(slash + 1);
    if (name.isEmpty() || name == "." || name == "..") return Verdict::Drop;
    const int dirFd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) return errno == ENOENT || errno == ENOTDIR ? Verdict::Drop : Verdict::Retry;

    Verdict verdict = Verdict::Drop;
    struct stat info {};
    Identity now;
    if (::fstatat(dirFd, name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0 &&
        Read(dirFd, name.constData(), -1, now) && now.device == entry.id.device &&
        now.inode == entry.id.inode && now.folder == entry.id.folder &&
        (entry.id.bornSec == 0 ||
         (now.bornSec == entry.id.bornSec && now.bornNsec == entry.id.bornNsec)) &&
        info.st_uid == ::geteuid() && !kept.count({DeviceOf(info), info.st_ino})) {
        verdict = Verdict::Retry;
        const int flags = O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC |
                          (entry.id.folder ? O_DIRECTORY : 0);
        const int fd = ::openat(dirFd, name.constData(), flags);
        struct stat opened {};
        // A run that still writes the file holds a lock on it (never wait for it).
        if (fd >= 0 && Before(info.st_mtim, kProcessStart) && ::fstat(fd, &opened) == 0 &&
            opened.st_ino == info.st_ino && opened.st_dev == info.st_dev &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            const bool gone =
                entry.id.folder
                    ? EmptyFolder(fd) && ::unlinkat(dirFd, name.constData(), AT_REMOVEDIR) == 0
                    : ::unlinkat(dirFd, name.constData(), 0) == 0;
            if (gone) verdict = Verdict::Removed;
        }
        if (fd >= 0) ::close(fd);
    }
    ::close(dirFd);
    return verdict;
}

}  // namespace

QString OwnFiles::JournalFolder()
{
    return logging::Folder() + QStringLiteral("/own-files");
}

bool OwnFiles::Register(const QString& path, int fd)
{
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    const QByteArray native = QFile::encodeName(absolute);
    Identity id;
    if (!Read(AT_FDCWD, native.constData(), fd, id)) return false;

    State& state = TheState();
    std::lock_guard guard(state.lock);
    if (state.files.count(absolute)) {
        // The same name again (a file that replaced ours): the new one is recorded below.
        const Registered old = state.files.at(absolute);
        Journal& journal = state.journals[old.folder];
        WriteLine(journal.fd, ForgetLine(old.id));
        --journal.live;
        state.files.erase(absolute);
    }
    const QString folder = JournalFolder();
    Journal& journal = state.journals[folder];
    if (journal.fd < 0 && !OpenJournal(folder, journal)) {
        state.journals.erase(folder);
        DebugPrint("cannot keep a record of temporary files in %s\n", WideToAnsi(folder).c_str());
        return false;
    }
    if (!WriteLine(journal.fd, AddLine(id, native))) return false;
    ++journal.live;
    state.files[absolute] = {id, folder};
    return true;
}

void OwnFiles::Forget(const QString& path)
{
    const QString absolute = QDir::cleanPath(QDir(path).absolutePath());
    State& state = TheState();
    std::lock_guard guard(state.lock);
    const auto file = state.files.find(absolute);
    if (file == state.files.end()) return;
    const auto journal = state.journals.find(file->second.folder);
    if (journal != state.journals.end()) {
        WriteLine(journal->second.fd, ForgetLine(file->second.id));
        // A journal that lists nothing any more goes: an idle program leaves no record.
        if (--journal->second.live <= 0) {
            ::unlink(journal->second.path.constData());
            ::close(journal->second.fd);
            state.journals.erase(journal);
        }
    }
    state.files.erase(file);
}

namespace {

// The template of a temporary folder below root, which is made first.
QString FolderTemplate(const QString& root, const QString& prefix)
{
    QDir().mkpath(root);
    return root + u'/' + prefix + QStringLiteral("-XXXXXX");
}

}  // namespace

OwnFiles::Folder::Folder(const QString& root, const QString& prefix)
    : folder_(FolderTemplate(root, prefix))
{
    if (folder_.isValid()) record_ = Record(folder_.path());
}

OwnFiles::Record::Record(const QString& path, int fd)
{
    if (OwnFiles::Register(path, fd)) path_ = path;
}

OwnFiles::Record::~Record()
{
    Forget();
}

OwnFiles::Record::Record(Record&& other) noexcept : path_(std::exchange(other.path_, QString())) {}

OwnFiles::Record& OwnFiles::Record::operator=(Record&& other) noexcept
{
    if (this != &other) {
        Forget();
        path_ = std::exchange(other.path_, QString());
    }
    return *this;
}

void OwnFiles::Record::Forget()
{
    if (!path_.isEmpty()) OwnFiles::Forget(std::exchange(path_, QString()));
}

int OwnFiles::CleanLeftovers(const QStringList& keep)
{
    KeptSet kept;
    for (const QString& path : keep) {
        struct stat info {};
        if (::stat(QFile::encodeName(path).constData(), &info) == 0)
            kept.insert({DeviceOf(info), info.st_ino});
    }
    const QByteArray folder = QFile::encodeName(JournalFolder());
    DIR* dir = ::opendir(folder.constData());
    if (!dir) return 0;
    std::vector<QByteArray> names;
    while (const struct dirent* entry = ::readdir(dir)) {
        const QByteArray name(entry->d_name);
        if (name.endsWith(kJournalSuffix) && !name.startsWith('.')) names.push_back(name);
    }
    ::closedir(dir);

    int removed = 0;
    for (const QByteArray& name : names) {
        const QByteArray path = folder + '/' + name;
        const int fd = ::open(path.constData(), O_RDWR | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) continue;
        // A running program holds the lock on its journal.
        struct stat opened {};
        struct stat named {};
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &opened) != 0 ||
            !S_ISREG(opened.st_mode) || opened.st_uid != ::geteuid()) {
            ::close(fd);
            continue;
        }
        QFile journal;
        QByteArray text;
        if (journal.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
            text = journal.readAll();
        journal.close();

        QByteArray remaining = kHeader;
        for (const Listed& entry : ParseJournal(text)) {
            switch (RemoveListed(entry, kept)) {
                case Verdict::Removed:
                    ++removed;
                    DebugPrint("removed a leftover of an ended run: %s\n", entry.path.constData());
                    break;
                case Verdict::Drop:
                    break;
                case Verdict::Retry:
                    remaining += AddLine(entry.id, entry.path);
                    break;
            }
        }
        // The journal goes once nothing in it is left to do; the name must still be this file.
        const bool same = ::lstat(path.constData(), &named) == 0 && named.st_ino == opened.st_ino &&
                          named.st_dev == opened.st_dev;
        if (remaining == kHeader) {
            if (same) ::unlink(path.constData());
        } else if (::ftruncate(fd, 0) == 0) {
            ::lseek(fd, 0, SEEK_SET);
            WriteLine(fd, remaining);
        }
        ::close(fd);
    }
    return removed;
}
