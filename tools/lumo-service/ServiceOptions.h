// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

// The command line of lumo-service.
struct ServiceOptions {
    std::string host = "127.0.0.1";
    int port = 8731;  // 0: any free port (the chosen one is printed)
    std::string upgradeFile = "upgrade.ini";
    std::string feedbackFile = "feedback.jsonl";
    std::string filesFolder = "files";
    std::string helpPage;  // an HTML file; empty: the built-in page
    // Where clients reach the service, "http[s]://host[:port][/path]" without a final '/'; a
    // download_url starting with '/' is completed with it. Empty: http://<host>:<port> of the
    // listening socket.
    std::string publicUrl;

    // Reads argv; false (with the reason in error) for an unknown option or a bad value.
    // showUsage is set for -h/--help.
    bool Parse(int argc, char** argv, std::string& error, bool& showUsage);
    static const char* Usage();
};
