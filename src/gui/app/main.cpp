// SPDX-License-Identifier: GPL-3.0-or-later
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string_view>

#include "gui/app/Application.h"

namespace {

constexpr char kUsage[] =
    "Usage: lumocompress [--verbose] [FILE|FOLDER]...\n"
    "\n"
    "Opens the LumoCompress window with the videos and images named (files are taken by\n"
    "their type, folders by their files' extensions). A second start hands its paths to the\n"
    "window already open.\n"
    "\n"
    "  --verbose   diagnostic lines on stderr as well as in the log\n"
    "  -h, --help  this text\n"
    "  --version   the program's version\n"
    "\n"
    "For compressing from a terminal without a window see lumocompress-cli --help.\n";

constexpr char kVersion[] = "lumocompress " LUMO_VERSION "\n";

// Writes text whole to standard output; 0 on success, 1 (with a line on stderr) when the output
// refused it.
int Answer(std::string_view text)
{
    while (!text.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, text.data(), text.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            std::fprintf(stderr, "lumocompress: cannot write to standard output: %s\n",
                         std::strerror(n < 0 ? errno : EIO));
            return 1;
        }
        text.remove_prefix(static_cast<size_t>(n));
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // Answered before anything of the window starts, so they need no display and no session.
    for (int i = 1; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (argument == "--") break;  // what follows is paths
        if (argument == "-h" || argument == "--help") return Answer(kUsage);
        if (argument == "--version") return Answer(kVersion);
    }
    return RunApplication(argc, argv);
}
