// SPDX-License-Identifier: GPL-3.0-or-later
#include "Downloads.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <memory>
#include <vector>

namespace downloads {

namespace {

constexpr size_t kPieceBytes = 64 * 1024;
constexpr char kOctets[] = "application/octet-stream";

// An open file and the buffer its pieces are read into, shared with the content provider.
struct Source {
    explicit Source(int fd) : fd(fd) {}
    ~Source() { ::close(fd); }
    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

    const int fd;
    std::vector<char> piece;
};

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// Decimal digits only, no sign, no overflow.
bool ParseNumber(const std::string& text, long long& value)
{
    if (text.empty() || text.size() > 18) return false;
    const auto end = text.data() + text.size();
    const auto [stop, error] = std::from_chars(text.data(), end, value);
    return error == std::errc() && stop == end;
}

// The real path of the folder with a final '/', empty when it cannot be resolved.
std::string RealFolder(const std::string& folder)
{
    char* real = ::realpath(folder.c_str(), nullptr);
    if (!real) return {};
    std::string path(real);
    std::free(real);
    if (path.back() != '/') path += '/';
    return path;
}

// The real path of the file behind fd, as the kernel resolved it when it was opened.
std::string RealPathOf(int fd)
{
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = ::readlink(link.c_str(), target, sizeof target);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof target) return {};
    return std::string(target, static_cast<size_t>(length));
}

}  // namespace

int OpenServable(const std::string& folder, const std::string& name, long long& size)
{
    if (!IsServableName(name)) return -1;
    const std::string root = RealFolder(folder);
    if (root.empty()) return -1;
    // Non-blocking, so that a named pipe in the folder cannot hold the worker.
    const int fd =
        ::open((folder + "/" + name).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) return -1;
    // The file opened is the one checked: a link changed after the open changes nothing.
    struct stat info {};
    const std::string real = RealPathOf(fd);
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || real.size() <= root.size() ||
        real.compare(0, root.size(), root) != 0) {
        ::close(fd);
        return -1;
    }
    size = info.st_size;
    return fd;
}

bool IsServableName(const std::string& name)
{
    return !name.empty() && name.size() <= 255 && name[0] != '.' &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos &&
           name.find("..") == std::string::npos;
}

Part ParseRange(const std::string& header, long long size, long long& first, long long& last)
{
    const std::string value = Trim(header);
    const auto equals = value.find('=');
    if (equals == std::string::npos) return Part::Unsatisfiable;
    std::string unit = Trim(value.substr(0, equals));
    for (char& c : unit) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (unit != "bytes") return Part::Whole;

    // One range only: several, even overlapping ones, could make a short request send a file
    // many times over.
    const std::string rangeText = Trim(value.substr(equals + 1));
    const auto dash = rangeText.find('-');
    if (rangeText.find(',') != std::string::npos || dash == std::string::npos || size <= 0)
        return Part::Unsatisfiable;
    const std::string from = Trim(rangeText.substr(0, dash));
    const std::string to = Trim(rangeText.substr(dash + 1));
    long long start = 0;
    long long end = 0;
    if (from.empty()) {  // "-N": the last N bytes
        if (!ParseNumber(to, end) || end == 0) return Part::Unsatisfiable;
        first = end >= size ? 0 : size - end;
        last = size - 1;
        return Part::Range;
    }
    if (!ParseNumber(from, start) || start >= size) return Part::Unsatisfiable;
    if (to.empty()) {
        end = size - 1;
    } else if (!ParseNumber(to, end) || end < start) {
        return Part::Unsatisfiable;
    }
    first = start;
    last = std::min(end, size - 1);
    return Part::Range;
}

void Serve(const std::string& folder, const std::string& name, const httplib::Request& request,
           httplib::Response& response)
{
    if (!IsServableName(name)) {
        response.status = 400;
        return;
    }
    long long size = 0;
    const int fd = OpenServable(folder, name, size);
    if (fd < 0) {
        response.status = 404;
        return;
    }
    auto source = std::make_shared<Source>(fd);
    response.set_header("Accept-Ranges", "bytes");

    long long first = 0;
    long long last = size - 1;
    const Part part = request.has_header("Range")
                          ? ParseRange(request.get_header_value("Range"), size, first, last)
                          : Part::Whole;
    if (part == Part::Unsatisfiable) {
        response.status = 416;
        response.set_header("Content-Range", "bytes */" + std::to_string(size));
        return;
    }
    if (part == Part::Range) {
        response.status = 206;
        response.set_header("Content-Range", "bytes " + std::to_string(first) + "-" +
                                                 std::to_string(last) + "/" + std::to_string(size));
    } else {
        response.status = 200;
    }
    if (size == 0) {
        response.set_content(std::string(), kOctets);
        return;
    }
    const auto length = static_cast<size_t>(last - first + 1);
    response.set_content_provider(
        length, kOctets, [source, first](size_t offset, size_t left, httplib::DataSink& sink) {
            if (source->piece.empty()) source->piece.resize(kPieceBytes);
            const size_t want = std::min(left, kPieceBytes);
            ssize_t got;
            do {
                got = ::pread(source->fd, source->piece.data(), want,
                              static_cast<off_t>(first + static_cast<long long>(offset)));
            } while (got < 0 && errno == EINTR);
            // A file that shrank while it was sent ends the answer short; the client sees that
            // the length does not match.
            if (got <= 0) return false;
            return sink.write(source->piece.data(), static_cast<size_t>(got));
        });
}

}  // namespace downloads
