// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <curl/curl.h>

#include <memory>

// libcurl's easy handles and header lists as owners, so every path releases them.
struct CurlEasyDeleter {
    void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlSlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using EasyHandle = std::unique_ptr<CURL, CurlEasyDeleter>;
using HeaderList = std::unique_ptr<curl_slist, CurlSlistDeleter>;
