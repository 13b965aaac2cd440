// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/net/HttpClient.h"

#include "core/net/CurlHandles.h"

#include <curl/curl.h>
#include <glog/logging.h>

#include <memory>

namespace {

constexpr long kTimeoutSeconds = 10;

size_t AppendResponse(char* data, size_t size, size_t count, void* target)
{
    const size_t bytes = size * count;
    if (target) static_cast<std::string*>(target)->append(data, bytes);
    return bytes;
}

// Ends the transfer once a stop is requested (libcurl asks at least once a second).
int AbortOnStop(void* token, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
{
    return static_cast<const std::stop_token*>(token)->stop_requested() ? 1 : 0;
}

}  // namespace

HttpClient& HttpClient::Instance()
{
    static HttpClient client;
    return client;
}

HttpClient::HttpClient()
{
    curl_global_init(CURL_GLOBAL_ALL);
}

int HttpClient::HttpPost(const std::string& body, const std::string& url, std::string& response,
                         std::stop_token stop)
{
    curl_slist* headers = curl_slist_append(nullptr, "Accept: application/json");
    if (headers) {
        curl_slist* more =
            curl_slist_append(headers, "Content-Type:application/json;charset=UTF-8");
        if (more) headers = more;
    }
    HeaderList headerList(headers);

    EasyHandle curl(curl_easy_init());
    if (!curl) return -1;
    CURL* handle = curl.get();

    curl_easy_setopt(handle, CURLOPT_POST, 1L);
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headerList.get());
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, kTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_POSTFIELDS, body.c_str());
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &AppendResponse);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    if (stop.stop_possible()) {
        curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &AbortOnStop);
        curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &stop);
    }

    const CURLcode code = curl_easy_perform(handle);
    LOG(ERROR) << "curl code:" << code << ",strerror:" << curl_easy_strerror(code);
    if (code != CURLE_OK) return -1;

    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    LOG(ERROR) << "response code:" << status;

    if (response.empty()) {
        LOG(ERROR) << "response result:" << response;
        return -1;
    }
    return 0;
}

int HttpClient::HttpGet(const std::string& url, std::string& response)
{
    EasyHandle curl(curl_easy_init());
    if (!curl) return 2;
    CURL* handle = curl.get();

    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_TIMEOUT, kTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 1L);
    curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, &AppendResponse);
    curl_easy_setopt(handle, CURLOPT_WRITEDATA, &response);

    if (curl_easy_perform(handle) != CURLE_OK) return -1;
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200 || status > 299 || response.empty()) return -1;
    return 0;
}
