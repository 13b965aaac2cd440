// SPDX-License-Identifier: GPL-3.0-or-later
// What the signature check tells apart: a good signature from a missing, malformed or wrong one.
#include <gtest/gtest.h>

#include <QDir>

#include "core/net/InstallerSignature.h"
#include "support/TestEnv.h"

namespace {

using signature::Verdict;

TEST(InstallerSignatureTest, OnlyTheTrustedKeysSignatureOfTheseBytesIsValid)
{
    QByteArray secretKey;
    QByteArray publicKey;
    signature::MakeKeyPair(secretKey, publicKey);
    QByteArray otherSecret;
    QByteArray otherPublic;
    signature::MakeKeyPair(otherSecret, otherPublic);
    ASSERT_EQ(publicKey.size(), signature::kPublicKeyBytes);

    const QByteArray bytes = QByteArray(70000, 'x') + "installer";
    const QString path = testenv::Home() + "/setup.run";
    ASSERT_TRUE(testenv::WriteFile(path, bytes));
    const QByteArray good = signature::SignFile(path, secretKey);
    ASSERT_EQ(good, signature::Sign(bytes, secretKey)) << "the file is signed whole";

    QByteArray flipped = QByteArray::fromBase64(good);
    flipped[10] = static_cast<char>(flipped[10] ^ 0x20);
    const struct {
        const char* name;
        QByteArray text;
        QByteArray key;
        Verdict verdict;
    } cases[] = {
        {"good", good, publicKey, Verdict::Valid},
        {"good with a line end", "  " + good + "\r\n", publicKey, Verdict::Valid},
        {"another key", good, otherPublic, Verdict::Mismatch},
        {"another key's signature", signature::Sign(bytes, otherSecret), publicKey,
         Verdict::Mismatch},
        {"of other bytes", signature::Sign(bytes + "!", secretKey), publicKey, Verdict::Mismatch},
        {"one bit changed", signature::Encode(flipped), publicKey, Verdict::Mismatch},
        {"empty", "", publicKey, Verdict::Missing},
        {"blanks only", " \n", publicKey, Verdict::Missing},
        {"not base64", "this is no signature", publicKey, Verdict::Malformed},
        {"too short", good.left(86), publicKey, Verdict::Malformed},
        {"a blank inside", good.left(40) + " " + good.mid(40), publicKey, Verdict::Malformed},
        {"a public key in its place", signature::Encode(publicKey), publicKey, Verdict::Malformed},
        {"no trusted key", good, QByteArray(), Verdict::NoTrustedKey},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(signature::VerifyFile(path, c.text, c.key), c.verdict) << c.name;
    }

    ASSERT_TRUE(testenv::WriteFile(path, bytes + "appended"));
    EXPECT_EQ(signature::VerifyFile(path, good, publicKey), Verdict::Mismatch);
    EXPECT_EQ(signature::VerifyFile(testenv::Home() + "/absent", good, publicKey),
              Verdict::Unreadable);
    EXPECT_EQ(signature::VerifyFile(testenv::Home(), good, publicKey), Verdict::Unreadable);
    ASSERT_TRUE(testenv::WriteFile(path, ""));
    EXPECT_EQ(signature::VerifyFile(path, signature::Sign("", secretKey), publicKey),
              Verdict::Valid);
    EXPECT_EQ(signature::VerifyFile(path, good, publicKey), Verdict::Mismatch);
}

}  // namespace
