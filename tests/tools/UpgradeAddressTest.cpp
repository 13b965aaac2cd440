// SPDX-License-Identifier: GPL-3.0-or-later
// The address the upgrade check hands out is the service's own, never one a client names.
#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "tools/ServiceHarness.h"

namespace {

class UpgradeAddressTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(folder.isValid());
        ASSERT_TRUE(QDir(folder.path()).mkpath("files"));
        QFile file(folder.path() + "/files/LumoCompress-1.6.0.run");
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(installer);
        file.close();
        QFile offer(folder.path() + "/upgrade.ini");
        ASSERT_TRUE(offer.open(QIODevice::WriteOnly));
        offer.write("version=1.6.0\ndownload_url=/download/LumoCompress-1.6.0.run\nforce=0\n");
    }

    QStringList Arguments(const QStringList& more = {}) const
    {
        return QStringList{"--files",         folder.path() + "/files",
                           "--upgrade-file",  folder.path() + "/upgrade.ini",
                           "--feedback-file", folder.path() + "/feedback.jsonl"} +
               more;
    }

    // The data of an upgrade check sent with these header lines.
    static QJsonObject Check(int port, const std::string& version, const std::string& headers)
    {
        const std::string raw = servicetest::Exchange(
            port, "POST /v2/upgrade_check " + version + "\r\n" + headers +
                      "Content-Type: application/json\r\nContent-Length: 2\r\n"
                      "Connection: close\r\n\r\n{}");
        const servicetest::Answer answer = servicetest::Parse(raw);
        EXPECT_EQ(answer.status, 200) << raw;
        return QJsonDocument::fromJson(QByteArray::fromStdString(answer.body))
            .object()
            .value("data")
            .toObject();
    }

    QTemporaryDir folder;
    const QByteArray installer = QByteArray(3000, 'i') + "installer";
    const QString digest = QCryptographicHash::hash(installer, QCryptographicHash::Sha256).toHex();
};

TEST_F(UpgradeAddressTest, TheDownloadAddressIsTheServicesOwnWhateverHostTheClientNames)
{
    servicetest::Service service;
    ASSERT_TRUE(service.Start(Arguments()));
    const QString expected =
        QString::fromStdString(service.Address()) + "/download/LumoCompress-1.6.0.run";

    for (const char* host : {"Host: evil.example:666\r\n", "Host: 127.0.0.1:1\r\n"}) {
        const QJsonObject data = Check(service.port(), "HTTP/1.1", host);
        EXPECT_EQ(data.value("download_url").toString(), expected) << host;
        EXPECT_EQ(data.value("sha256").toString(), digest);
    }
    EXPECT_EQ(Check(service.port(), "HTTP/1.0", "").value("download_url").toString(), expected);
}

// The signature a file of the folder has beside it is named in the answer; without one the
// answer has no signature address, and one named in the upgrade file is completed like the
// download address.
TEST_F(UpgradeAddressTest, TheSignatureBesideTheInstallerIsNamed)
{
    servicetest::Service service;
    ASSERT_TRUE(service.Start(Arguments()));
    EXPECT_FALSE(Check(service.port(), "HTTP/1.1", "").contains("signature_url"));

    QFile signature(folder.path() + "/files/LumoCompress-1.6.0.run.sig");
    ASSERT_TRUE(signature.open(QIODevice::WriteOnly));
    signature.write("c2lnbmF0dXJl\n");
    signature.close();
    const QJsonObject data = Check(service.port(), "HTTP/1.1", "");
    EXPECT_EQ(data.value("signature_url").toString(),
              QString::fromStdString(service.Address()) + "/download/LumoCompress-1.6.0.run.sig");
    EXPECT_EQ(data.value("sha256").toString(), digest) << "the earlier fields stay";

    QFile offer(folder.path() + "/upgrade.ini");
    ASSERT_TRUE(offer.open(QIODevice::Append));
    offer.write("signature_url=/download/elsewhere.sig\n");
    offer.close();
    EXPECT_EQ(Check(service.port(), "HTTP/1.1", "").value("signature_url").toString(),
              QString::fromStdString(service.Address()) + "/download/elsewhere.sig");
}

TEST_F(UpgradeAddressTest, APublicAddressCompletesTheDownloadAddress)
{
    servicetest::Service service;
    ASSERT_TRUE(service.Start(Arguments({"--public-url", "https://updates.example.com/lumo/"})));
    const QJsonObject data = Check(service.port(), "HTTP/1.1", "Host: evil.example\r\n");
    EXPECT_EQ(data.value("download_url").toString(),
              "https://updates.example.com/lumo/download/LumoCompress-1.6.0.run");
    EXPECT_EQ(data.value("sha256").toString(), digest);
}

}  // namespace
