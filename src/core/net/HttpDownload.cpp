// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/net/HttpDownload.h"

#include "core/net/CurlHandles.h"

#include <curl/curl.h>
#include <glog/logging.h>
#include <QCryptographicHash>
#include <QFile>
#include <QSaveFile>
#include <QUrl>
#include <atomic>
#include <chrono>
#include <memory>

#include "core/app/Paths.h"
#include "core/net/HttpClient.h"

namespace {

constexpr long kConnectTimeoutSeconds = 10;
constexpr long kBlockSize = 1024;
constexpr int kMaxRedirects = 5;

std::atomic<int> g_lastShownPercent{0};
std::atomic<qint64> g_stallMs{30000};

// The state the GET's write callback works on.
struct Transfer {
    DownloadObserver& observer;
    QSaveFile& file;
    QCryptographicHash& hash;
    curl_off_t total = 0;
    curl_off_t received = 0;
    bool writeFailed = false;
    bool tooLong = false;
};

size_t WriteBlock(char* data, size_t size, size_t count, void* target)
{
    auto& transfer = *static_cast<Transfer*>(target);
    const size_t bytes = size * count;
    if (transfer.observer.IsCancelled()) return 0;
    if (transfer.received + static_cast<curl_off_t>(bytes) > transfer.total) {
        transfer.tooLong = true;
        return 0;
    }
    if (transfer.file.write(data, static_cast<qint64>(bytes)) != static_cast<qint64>(bytes)) {
        transfer.writeFailed = true;
        return 0;
    }
    transfer.hash.addData(QByteArrayView(data, static_cast<qsizetype>(bytes)));
    transfer.received += static_cast<curl_off_t>(bytes);

    const int percent = static_cast<int>(static_cast<float>(transfer.received) /
                                         static_cast<float>(transfer.total) * 100.0f);
    if (g_lastShownPercent.exchange(percent) != percent) transfer.observer.OnProgress(percent);
    return bytes;
}

// Watches a request while it runs: a cancel ends it, and so does a stall, a time without a new
// byte (libcurl's own low-speed check averages over seconds of history and would let a stall
// after a fast start run on for several seconds more).
struct Watch {
    explicit Watch(DownloadObserver& observer) : observer(observer) {}
    DownloadObserver& observer;
    curl_off_t lastBytes = -1;
    std::chrono::steady_clock::time_point lastChange = std::chrono::steady_clock::now();
    bool stalled = false;
};

int CheckRequest(void* target, curl_off_t, curl_off_t received, curl_off_t, curl_off_t)
{
    auto& watch = *static_cast<Watch*>(target);
    if (watch.observer.IsCancelled()) return 1;
    const auto now = std::chrono::steady_clock::now();
    if (received != watch.lastBytes) {
        watch.lastBytes = received;
        watch.lastChange = now;
        return 0;
    }
    if (now - watch.lastChange >= std::chrono::milliseconds(g_stallMs.load())) {
        watch.stalled = true;
        return 1;
    }
    return 0;
}

// Collects a signature, which is small: a longer answer is no signature.
struct SignatureText {
    QByteArray text;
    bool tooLong = false;
};

size_t AppendSignature(char* data, size_t size, size_t count, void* target)
{
    auto& signature = *static_cast<SignatureText*>(target);
    const size_t bytes = size * count;
    if (signature.text.size() + static_cast<qsizetype>(bytes) > signature::kMaxSignatureText) {
        signature.tooLong = true;
        return 0;
    }
    signature.text.append(data, static_cast<qsizetype>(bytes));
    return bytes;
}

// An absolute http or https address with a host, as the string libcurl is given: the path
// only, no user, query or fragment. Empty when the address is none of that.
std::string RequestUrlOf(const QString& address)
{
    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return url.adjusted(QUrl::RemoveUserInfo | QUrl::RemoveQuery | QUrl::RemoveFragment)
        .toEncoded()
        .toStdString();
}

HeaderList NoCacheHeaders()
{
    curl_slist* list = curl_slist_append(nullptr, "Cache-Control: no-cache");
    if (list) {
        curl_slist* more = curl_slist_append(list, "Pragma: no-cache");
        if (more) list = more;
    }
    return HeaderList(list);
}

// The options both requests share: the address, cache bypass, the connection time-out,
// redirects within HTTP(S), an error status as a failure, and the watch.
void SetCommonOptions(CURL* handle, const std::string& url, curl_slist* headers, Watch& watch)
{
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(handle, CURLOPT_MAXREDIRS, static_cast<long>(kMaxRedirects));
    curl_easy_setopt(handle, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT, kConnectTimeoutSeconds);
    curl_easy_setopt(handle, CURLOPT_FAILONERROR, 1L);
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, &CheckRequest);
    curl_easy_setopt(handle, CURLOPT_XFERINFODATA, &watch);
}

void LogCurlError(const char* step, CURLcode code)
{
    LOG(ERROR) << step << " curl code:" << code << ",strerror:" << curl_easy_strerror(code);
}

}  // namespace

QString HttpDownload::FileNameOf(const QString& address)
{
    const QUrl url(address.trimmed(), QUrl::TolerantMode);
    if (!url.isValid()) return {};
    const QString path = url.path(QUrl::FullyDecoded);
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..") ||
        name.contains(QChar(0)))
        return {};
    return name;
}

int HttpDownload::LastShownPercent()
{
    return g_lastShownPercent.load();
}

void HttpDownload::LogUpgradeFailure(const QString& path)
{
    LOG(ERROR) << "升级失败 " << path.toStdString();
}

void HttpDownload::SetStallTimeoutForTesting(std::chrono::milliseconds timeout)
{
    g_stallMs = timeout.count();
}

HttpDownload::Result HttpDownload::Download(const QString& address, const QString& expectedSha256,
                                            const QString& signatureAddress,
                                            DownloadObserver& observer)
{
    filePath_.clear();
    trust_ = signature::Verdict::Missing;
    const QString fileName = FileNameOf(address);
    // Only the path is requested; a query or fragment of the address is not sent.
    const std::string requestUrl = RequestUrlOf(address);
    const std::string signatureUrl =
        signatureAddress.trimmed().isEmpty() ? requestUrl + ".sig" : RequestUrlOf(signatureAddress);
    if (fileName.isEmpty() || requestUrl.empty() || signatureUrl.empty()) {
        LOG(ERROR) << "refused download address:" << address.toStdString() << " signature "
                   << signatureAddress.toStdString();
        return kFailed;
    }
    const QByteArray trustedKey = signature::TrustedKey();
    if (trustedKey.isEmpty()) {
        LOG(ERROR) << "no installer accepted: this build has no key to check its signature";
        trust_ = signature::Verdict::NoTrustedKey;
        return kUntrusted;
    }

    HttpClient::Instance();  // libcurl's global initialisation
    const HeaderList headers = NoCacheHeaders();

    // The length first.
    curl_off_t total = -1;
    {
        EasyHandle head(curl_easy_init());
        if (!head) return kNetworkError;
        Watch watch(observer);
        SetCommonOptions(head.get(), requestUrl, headers.get(), watch);
        curl_easy_setopt(head.get(), CURLOPT_NOBODY, 1L);
        const CURLcode code = curl_easy_perform(head.get());
        if (observer.IsCancelled()) return kCancelled;
        if (code != CURLE_OK) {
            LogCurlError(watch.stalled ? "HEAD stalled," : "HEAD", code);
            return kNetworkError;
        }
        curl_easy_getinfo(head.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &total);
    }
    if (total <= 0) {
        LOG(ERROR) << "no content length for " << requestUrl;
        return kNetworkError;
    }

    // Then the signature: without one the installer is not worth fetching.
    QByteArray signatureText;
    if (const Result fetched = FetchSignature(signatureUrl, observer, signatureText);
        fetched != kComplete)
        return fetched;
    if (signature::Decode(signatureText, signature::kSignatureBytes).isEmpty()) {
        LOG(ERROR) << "malformed installer signature at " << signatureUrl;
        trust_ = signature::Verdict::Malformed;
        return kUntrusted;
    }

    const QString target = EnsureUserFolder(kTempFolder) + u'/' + fileName;
    QSaveFile file(target);
    file.setDirectWriteFallback(false);
    if (!file.open(QIODevice::WriteOnly)) {
        LOG(ERROR) << "cannot write " << target.toStdString() << ": "
                   << file.errorString().toStdString();
        return kFailed;
    }

    QCryptographicHash hash(QCryptographicHash::Sha256);
    Transfer transfer{observer, file, hash, total};
    EasyHandle get(curl_easy_init());
    if (!get) return kNetworkError;
    Watch watch(observer);
    SetCommonOptions(get.get(), requestUrl, headers.get(), watch);
    curl_easy_setopt(get.get(), CURLOPT_BUFFERSIZE, kBlockSize);
    curl_easy_setopt(get.get(), CURLOPT_WRITEFUNCTION, &WriteBlock);
    curl_easy_setopt(get.get(), CURLOPT_WRITEDATA, &transfer);
    const CURLcode code = curl_easy_perform(get.get());
    get.reset();

    // An unfinished QSaveFile leaves nothing behind when it goes out of scope.
    if (observer.IsCancelled()) return kCancelled;
    if (transfer.writeFailed) {
        LOG(ERROR) << "cannot write " << target.toStdString() << ": "
                   << file.errorString().toStdString();
        return kFailed;
    }
    if (code != CURLE_OK || transfer.received != total) {
        LogCurlError(watch.stalled ? "GET stalled," : "GET", code);
        LOG(ERROR) << "received " << transfer.received << " of " << total << " bytes"
                   << (transfer.tooLong ? " (the answer is longer)" : "");
        return kNetworkError;
    }
    if (!expectedSha256.isEmpty() &&
        hash.result().toHex() != expectedSha256.trimmed().toLower().toLatin1()) {
        LOG(ERROR) << "sha256 mismatch for " << target.toStdString() << ": got "
                   << hash.result().toHex().toStdString() << ", expected "
                   << expectedSha256.toStdString();
        return kFailed;
    }
    if (!file.commit()) {
        LOG(ERROR) << "cannot write " << target.toStdString() << ": "
                   << file.errorString().toStdString();
        return kFailed;
    }
    // Checked on the file as it lies on the disk, before anything may make it executable.
    trust_ = signature::VerifyFile(target, signatureText, trustedKey);
    if (trust_ != signature::Verdict::Valid) {
        LOG(ERROR) << "installer signature does not verify (" << static_cast<int>(trust_)
                   << "); deleting " << target.toStdString();
        QFile::remove(target);
        return kUntrusted;
    }
    filePath_ = target;
    return kComplete;
}

HttpDownload::Result HttpDownload::FetchSignature(const std::string& url,
                                                  DownloadObserver& observer, QByteArray& text)
{
    const HeaderList headers = NoCacheHeaders();
    EasyHandle get(curl_easy_init());
    if (!get) return kNetworkError;
    Watch watch(observer);
    SignatureText signature;
    SetCommonOptions(get.get(), url, headers.get(), watch);
    curl_easy_setopt(get.get(), CURLOPT_WRITEFUNCTION, &AppendSignature);
    curl_easy_setopt(get.get(), CURLOPT_WRITEDATA, &signature);
    const CURLcode code = curl_easy_perform(get.get());
    if (observer.IsCancelled()) return kCancelled;
    if (code == CURLE_HTTP_RETURNED_ERROR || signature.tooLong) {
        long status = 0;
        curl_easy_getinfo(get.get(), CURLINFO_RESPONSE_CODE, &status);
        LOG(ERROR) << "no installer signature at " << url << " (status " << status
                   << (signature.tooLong ? ", too long" : "") << ")";
        trust_ = signature.tooLong ? signature::Verdict::Malformed : signature::Verdict::Missing;
        return kUntrusted;
    }
    if (code != CURLE_OK) {
        LogCurlError(watch.stalled ? "signature GET stalled," : "signature GET", code);
        return kNetworkError;
    }
    text = signature.text;
    return kComplete;
}
