#pragma once

#include <httplib.h>

#include <map>
#include <mutex>
#include <string>

#include "ServiceOptions.h"

// The endpoints of the service: "/v2/upgrade_check", "/v2/feedback", "/help" and the installer
// files under "/download/".
class Service {
public:
    explicit Service(ServiceOptions options);

    // Binds; the port actually bound (options' port, or the one chosen for 0), -1 on failure.
    int Bind();
    // Serves until Stop (from any thread).
    bool Run();
    void Stop();

private:
    void UpgradeCheck(const httplib::Request& request, httplib::Response& response);
    void Feedback(const httplib::Request& request, httplib::Response& response);
    void Help(const httplib::Request& request, httplib::Response& response);

    // The SHA-256 of a file of the files folder, kept while the file is unchanged.
    std::string DigestOf(const std::string& fileName);

    ServiceOptions options_;
    httplib::Server server_;
    std::mutex feedbackLock_;
    std::mutex digestLock_;
    struct Digest {
        long long size = -1;
        long long modified = 0;
        std::string hex;
    };
    std::map<std::string, Digest> digests_;
};
