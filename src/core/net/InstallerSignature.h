// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QString>

// Detached Ed25519 signatures of installer files (libsodium). An installer is accepted only when
// its signature verifies against the public key built into the program: the digest the
// upgrade answer names comes over the same connection as the file and proves nothing.
//
// Text forms, as lumo-sign writes them and the service serves them: a public key is the base64
// of its 32 bytes (44 characters), a signature the base64 of its 64 bytes (88 characters), a
// secret key the base64 of libsodium's 64 bytes; blanks and line ends around them are ignored.
namespace signature {

inline constexpr int kPublicKeyBytes = 32;
inline constexpr int kSecretKeyBytes = 64;
inline constexpr int kSignatureBytes = 64;
// A signature file is read no further than this.
inline constexpr int kMaxSignatureText = 4096;

enum class Verdict {
    Valid,
    NoTrustedKey,  // this build has no key to check installers with
    Missing,       // no signature was to be had
    Malformed,     // the signature text is no signature
    Mismatch,      // a signature, but not of this file by the trusted key
    Unreadable,    // the file cannot be read
};

// The bytes of text in base64 when they are exactly size bytes long; empty otherwise.
QByteArray Decode(const QByteArray& text, int size);
QByteArray Encode(const QByteArray& bytes);

// Checks the file at path against signatureText (the text form) and publicKey (32 bytes).
Verdict VerifyFile(const QString& path, const QByteArray& signatureText,
                   const QByteArray& publicKey);
// The text form of the signature of the file at path by secretKey (64 bytes); empty when the
// file cannot be read.
QByteArray SignFile(const QString& path, const QByteArray& secretKey);
// The text form of the signature of bytes by secretKey; empty for a key of the wrong size.
QByteArray Sign(const QByteArray& bytes, const QByteArray& secretKey);
// A new key pair: the secret and the public key, raw.
void MakeKeyPair(QByteArray& secretKey, QByteArray& publicKey);
// The public half of a secret key, raw.
QByteArray PublicKeyOf(const QByteArray& secretKey);

// The key installers must be signed with: set when the program is built (the CMake variable
// LUMO_INSTALLER_PUBLIC_KEY); empty when the build has none, so no installer is accepted.
QByteArray TrustedKey();
// Tests sign with a key of their own; an empty key restores the built-in one.
void SetTrustedKeyForTesting(const QByteArray& publicKey);

}  // namespace signature
