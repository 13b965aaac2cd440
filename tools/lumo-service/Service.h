// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <httplib.h>

#include <map>
#include <mutex>
#include <string>

#include "GuardedServer.h"
#include "ServiceOptions.h"

// The endpoints of the service: "/v2/upgrade_check", "/v2/feedback", "/help" and the installer
// files under "/download/". Every error is answered as {"ret":1,"msg":...}, never with the text of
// an exception.
class Service {
public:
    explicit Service(ServiceOptions options);

    // Binds; the port actually bound (options' port, or the one chosen for 0), -1 on failure.
    int Bind();
    // Serves until Stop (from any thread).
    bool Run();
    // Ends the service and every connection, slow ones included. A Run that starts afterwards
    // returns at once; one that was just starting may miss it, so call again until Run has
    // returned (from one thread at a time).
    void Stop();

    // The address a download_url starting with '/' is completed with (known after Bind).
    const std::string& PublicUrl() const { return publicUrl_; }

private:
    void UpgradeCheck(const httplib::Request& request, httplib::Response& response);
    void Feedback(const httplib::Request& request, httplib::Response& response);
    void Help(const httplib::Request& request, httplib::Response& response);
    // Appends one line to the feedback file, whole or not at all.
    bool StoreFeedback(const std::string& line);

    // The SHA-256 of a file of the files folder, kept while the file is unchanged.
    std::string DigestOf(const std::string& fileName);

    ServiceOptions options_;
    std::string publicUrl_;
    GuardedServer server_;
    std::mutex feedbackLock_;
    std::mutex digestLock_;
    struct Digest {
        long long size = -1;
        long long modified = 0;
        std::string hex;
    };
    std::map<std::string, Digest> digests_;
};
