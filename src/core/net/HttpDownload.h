// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <chrono>
#include <string>

#include "core/net/InstallerSignature.h"

// What a download reports while it runs; called on the download's own thread.
class DownloadObserver {
public:
    virtual ~DownloadObserver() = default;
    // The whole-number percentage changed (see HttpDownload::LastShownPercent).
    virtual void OnProgress(int percent) = 0;
    // Asked before every block and about once a second while the transfer waits.
    virtual bool IsCancelled() const = 0;
};

// Downloads the installer of a new version into the per-user temporary folder: a HEAD request
// for its length, its detached signature, then a GET read in blocks of 1024 bytes.
// The file appears under its final name only when every byte arrived and, where a digest is
// given, the digest matches; it is kept only when the signature verifies against the trusted
// key (signature::TrustedKey), and deleted otherwise. Nothing here makes it executable.
// Every request verifies the server's TLS certificate (libcurl's default).
// One object per download, used on one thread.
class HttpDownload {
public:
    enum Result {
        kComplete = 0,       // the file is at FilePath()
        kCancelled = 1,      // the observer cancelled; nothing is left behind
        kNetworkError = -1,  // no answer, an error status, no length, a stall or a cut transfer
        kFailed = -2,        // unusable address, the file cannot be written, digest mismatch
        kUntrusted = -3,     // no valid signature (see Trust()); nothing is left behind
    };

    HttpDownload() = default;

    // Blocks until the download ends. expectedSha256 is hexadecimal (any case) or empty.
    // signatureAddress is where the signature is; empty: the address with ".sig" appended.
    Result Download(const QString& address, const QString& expectedSha256,
                    const QString& signatureAddress, DownloadObserver& observer);
    // The downloaded file (set when Download returned kComplete).
    const QString& FilePath() const { return filePath_; }
    // What the signature check found (Valid when Download returned kComplete).
    signature::Verdict Trust() const { return trust_; }

    // The file name an address gives: its path's last segment, decoded. Empty when that is no
    // usable name ("", ".", ".."), so the address is refused.
    static QString FileNameOf(const QString& address);

    // The last percentage shown by any download of the process (starts at 0): a download
    // reports a percentage only when it differs from this value.
    static int LastShownPercent();

    // Logs that the downloaded installer could not be started.
    static void LogUpgradeFailure(const QString& path);

    // A request that receives no byte for this long is given up (30 s by default; the check
    // runs about once a second while nothing arrives).
    static void SetStallTimeoutForTesting(std::chrono::milliseconds timeout);

private:
    // Fetches the signature text at url into text: kComplete, kCancelled, kNetworkError, or
    // kUntrusted (with trust_ set) when the server has none or it is too long to be one.
    Result FetchSignature(const std::string& url, DownloadObserver& observer, QByteArray& text);

    QString filePath_;
    signature::Verdict trust_ = signature::Verdict::Missing;
};
