// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/net/InstallerSignature.h"

#include <sodium.h>

#include <QFile>
#include <QFileInfo>
#include <mutex>

namespace signature {

namespace {

#ifndef LUMO_INSTALLER_PUBLIC_KEY
#define LUMO_INSTALLER_PUBLIC_KEY ""
#endif

std::mutex g_keyLock;
QByteArray g_testKey;

bool Initialised()
{
    static const bool ready = sodium_init() >= 0;
    return ready;
}

// The file's bytes, mapped into memory (a file of no bytes gives an empty view); false when the
// file cannot be read. An installer of hundreds of megabytes is not copied.
class MappedFile {
public:
    explicit MappedFile(const QString& path) : file_(path)
    {
        if (!QFileInfo(path).isFile() || !file_.open(QIODevice::ReadOnly)) return;
        size_ = file_.size();
        if (size_ == 0) {
            ok_ = true;
            return;
        }
        data_ = file_.map(0, size_);
        ok_ = data_ != nullptr;
    }
    bool ok() const { return ok_; }
    const unsigned char* data() const { return data_ ? data_ : &empty_; }
    unsigned long long size() const { return static_cast<unsigned long long>(size_); }

private:
    QFile file_;
    uchar* data_ = nullptr;
    qint64 size_ = 0;
    bool ok_ = false;
    unsigned char empty_ = 0;
};

const unsigned char* Bytes(const QByteArray& bytes)
{
    return reinterpret_cast<const unsigned char*>(bytes.constData());
}

}  // namespace

QByteArray Decode(const QByteArray& text, int size)
{
    const QByteArray trimmed = text.trimmed();
    // Strict: the standard alphabet with its padding, nothing else (no blanks inside).
    const auto decoded = QByteArray::fromBase64Encoding(
        trimmed, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != size || Encode(decoded.decoded) != trimmed) return {};
    return decoded.decoded;
}

QByteArray Encode(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64Encoding);
}

Verdict VerifyFile(const QString& path, const QByteArray& signatureText,
                   const QByteArray& publicKey)
{
    if (publicKey.size() != kPublicKeyBytes) return Verdict::NoTrustedKey;
    if (signatureText.trimmed().isEmpty()) return Verdict::Missing;
    const QByteArray signature = Decode(signatureText, kSignatureBytes);
    if (signature.isEmpty()) return Verdict::Malformed;
    if (!Initialised()) return Verdict::Mismatch;
    const MappedFile file(path);
    if (!file.ok()) return Verdict::Unreadable;
    return crypto_sign_verify_detached(Bytes(signature), file.data(), file.size(),
                                       Bytes(publicKey)) == 0
               ? Verdict::Valid
               : Verdict::Mismatch;
}

namespace {

QByteArray SignData(const unsigned char* data, unsigned long long size, const QByteArray& secretKey)
{
    if (secretKey.size() != kSecretKeyBytes || !Initialised()) return {};
    QByteArray signature(kSignatureBytes, '\0');
    crypto_sign_detached(reinterpret_cast<unsigned char*>(signature.data()), nullptr, data, size,
                         Bytes(secretKey));
    return Encode(signature);
}

}  // namespace

QByteArray SignFile(const QString& path, const QByteArray& secretKey)
{
    const MappedFile file(path);
    return file.ok() ? SignData(file.data(), file.size(), secretKey) : QByteArray();
}

QByteArray Sign(const QByteArray& bytes, const QByteArray& secretKey)
{
    return SignData(Bytes(bytes), static_cast<unsigned long long>(bytes.size()), secretKey);
}

void MakeKeyPair(QByteArray& secretKey, QByteArray& publicKey)
{
    secretKey = QByteArray(kSecretKeyBytes, '\0');
    publicKey = QByteArray(kPublicKeyBytes, '\0');
    if (!Initialised()) {
        secretKey.clear();
        publicKey.clear();
        return;
    }
    crypto_sign_keypair(reinterpret_cast<unsigned char*>(publicKey.data()),
                        reinterpret_cast<unsigned char*>(secretKey.data()));
}

QByteArray PublicKeyOf(const QByteArray& secretKey)
{
    if (secretKey.size() != kSecretKeyBytes) return {};
    QByteArray publicKey(kPublicKeyBytes, '\0');
    crypto_sign_ed25519_sk_to_pk(reinterpret_cast<unsigned char*>(publicKey.data()),
                                 Bytes(secretKey));
    return publicKey;
}

QByteArray TrustedKey()
{
    {
        std::lock_guard<std::mutex> guard(g_keyLock);
        if (!g_testKey.isEmpty()) return g_testKey;
    }
    static const QByteArray builtIn = Decode(LUMO_INSTALLER_PUBLIC_KEY, kPublicKeyBytes);
    return builtIn;
}

void SetTrustedKeyForTesting(const QByteArray& publicKey)
{
    std::lock_guard<std::mutex> guard(g_keyLock);
    g_testKey = publicKey;
}

}  // namespace signature
