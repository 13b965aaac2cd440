// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <stop_token>
#include <string>

// The program's one JSON client for the service's web server, over libcurl's easy interface.
// Each call is blocking, runs on the caller's thread and opens its own transfer; any thread may
// call at any time. Errors and results are logged at glog's ERROR severity. An https address
// is reached only when the server's certificate verifies against the system's authorities and
// names its host (libcurl's defaults, never turned off).
class HttpClient {
public:
    // The single client; the first call also runs libcurl's global initialisation.
    static HttpClient& Instance();

    // POSTs body (UTF-8 JSON text) to url; the reply lands in response. 0 when a reply with a
    // body arrived (whatever its HTTP status: the caller judges the body), -1 otherwise.
    // A stop request through stop ends a running transfer early (it then fails).
    int HttpPost(const std::string& body, const std::string& url, std::string& response,
                 std::stop_token stop = {});

    // GETs url into response. 0 for a status 200 to 299 with a non-empty body, -1 otherwise, 2
    // when no transfer could be created.
    int HttpGet(const std::string& url, std::string& response);

    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

private:
    HttpClient();
};
