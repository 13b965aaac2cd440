// SPDX-License-Identifier: GPL-3.0-or-later
#include "ServiceOptions.h"

#include <cstdlib>
#include <cstring>

namespace {

bool ParsePort(const std::string& text, int& port)
{
    if (text.empty() || text.size() > 5) return false;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
    }
    port = std::atoi(text.c_str());
    return port <= 65535;
}

// An absolute http or https address with a host, without query, fragment or blanks; a final '/'
// is dropped.
bool ParsePublicUrl(std::string& url)
{
    std::string rest;
    if (url.rfind("http://", 0) == 0)
        rest = url.substr(7);
    else if (url.rfind("https://", 0) == 0)
        rest = url.substr(8);
    else
        return false;
    for (unsigned char c : url) {
        if (c <= ' ' || c == 0x7F || c == '?' || c == '#' || c == '\\') return false;
    }
    const auto hostEnd = rest.find('/');
    if (rest.empty() || hostEnd == 0 || rest.substr(0, hostEnd).find('@') != std::string::npos)
        return false;
    while (url.back() == '/') url.pop_back();
    return true;
}

}  // namespace

bool ServiceOptions::Parse(int argc, char** argv, std::string& error, bool& showUsage)
{
    showUsage = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "-h" || option == "--help") {
            showUsage = true;
            return true;
        }
        std::string* target = nullptr;
        if (option == "--host")
            target = &host;
        else if (option == "--upgrade-file")
            target = &upgradeFile;
        else if (option == "--feedback-file")
            target = &feedbackFile;
        else if (option == "--files")
            target = &filesFolder;
        else if (option == "--help-page")
            target = &helpPage;
        else if (option == "--public-url")
            target = &publicUrl;
        else if (option != "--port") {
            error = "unknown option " + option;
            return false;
        }
        if (i + 1 >= argc) {
            error = option + " needs a value";
            return false;
        }
        const std::string value = argv[++i];
        if (target) {
            *target = value;
        } else if (!ParsePort(value, port)) {
            error = "bad port " + value;
            return false;
        }
    }
    if (!publicUrl.empty() && !ParsePublicUrl(publicUrl)) {
        error = "bad public address " + publicUrl + " (http://host[:port][/path] expected)";
        return false;
    }
    return true;
}

const char* ServiceOptions::Usage()
{
    return "Usage: lumo-service [options]\n"
           "The LumoCompress service on one machine: the upgrade check, feedback, the help page\n"
           "and the installer files.\n"
           "\n"
           "  --host ADDR            address to listen on (default 127.0.0.1)\n"
           "  --port N               port (default 8731; 0 picks a free one)\n"
           "  --upgrade-file PATH    the version on offer, key=value lines (default upgrade.ini):\n"
           "                           version=1.6.0\n"
           "                           download_url=/download/LumoCompress-1.6.0.run\n"
           "                           force=0\n"
           "                           sha256=<hex>   (optional; computed for files of --files)\n"
           "                         read at every check; a download_url starting with \"/\" is\n"
           "                         completed with the public address\n"
           "  --public-url URL       where clients reach this service, e.g.\n"
           "                         https://updates.example.com/lumo (default\n"
           "                         http://<host>:<port> of the listening socket)\n"
           "  --feedback-file PATH   feedback messages are appended here, one JSON object a line\n"
           "                         (default feedback.jsonl)\n"
           "  --files DIR            folder served under /download/ (default files)\n"
           "  --help-page PATH       HTML file served as /help (default: a built-in page)\n"
           "  -h, --help             this text\n";
}
