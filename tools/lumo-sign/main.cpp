// SPDX-License-Identifier: GPL-3.0-or-later
// lumo-sign: makes the key pair installers are signed with, and signs them. The program accepts
// an installer only with a signature beside it ("<installer>.sig") that verifies against the
// public key it was built with (the CMake variable LUMO_INSTALLER_PUBLIC_KEY).
#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QSaveFile>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "core/net/InstallerSignature.h"

namespace {

constexpr char kUsage[] =
    "Usage: lumo-sign keygen SECRET_FILE\n"
    "       lumo-sign public SECRET_FILE\n"
    "       lumo-sign sign SECRET_FILE FILE...\n"
    "       lumo-sign verify PUBLIC_KEY FILE [SIGNATURE_FILE]\n"
    "       lumo-sign trusted\n"
    "\n"
    "  keygen   writes a new secret key to SECRET_FILE (mode 0600; an existing file is never\n"
    "           replaced) and prints its public key, the value of LUMO_INSTALLER_PUBLIC_KEY\n"
    "  public   prints the public key of SECRET_FILE\n"
    "  sign     writes the detached signature of each FILE to FILE.sig\n"
    "  verify   checks FILE against SIGNATURE_FILE (default FILE.sig) and the public key\n"
    "           (base64); exit status 0 when it verifies, 1 when not\n"
    "  trusted  prints the key the program of this build accepts installers from (exit\n"
    "           status 1 when it has none)\n"
    "\n"
    "Keep the secret key off the build machines: whoever holds it can make the program run\n"
    "anything.\n";

int Fail(const std::string& message)
{
    std::fprintf(stderr, "lumo-sign: %s\n", message.c_str());
    return 1;
}

bool ReadText(const QString& path, QByteArray& text)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return false;
    text = file.read(signature::kMaxSignatureText);
    return true;
}

// The secret key in path, or empty (with the reason told).
QByteArray ReadSecretKey(const QString& path)
{
    QByteArray text;
    if (!ReadText(path, text)) {
        Fail("cannot read " + path.toStdString());
        return {};
    }
    const QByteArray key = signature::Decode(text, signature::kSecretKeyBytes);
    if (key.isEmpty()) Fail(path.toStdString() + " holds no secret key");
    return key;
}

int KeyGen(const QString& path)
{
    QByteArray secretKey;
    QByteArray publicKey;
    signature::MakeKeyPair(secretKey, publicKey);
    if (secretKey.isEmpty()) return Fail("libsodium cannot start");
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return Fail("cannot create " + path.toStdString() + ": " + std::strerror(errno));
    const QByteArray text = signature::Encode(secretKey) + '\n';
    const bool written = ::write(fd, text.constData(), static_cast<size_t>(text.size())) ==
                         static_cast<ssize_t>(text.size());
    if (::close(fd) != 0 || !written) {
        ::unlink(name.constData());
        return Fail("cannot write " + path.toStdString());
    }
    std::printf("%s\n", signature::Encode(publicKey).constData());
    return 0;
}

int Public(const QString& path)
{
    const QByteArray secretKey = ReadSecretKey(path);
    if (secretKey.isEmpty()) return 1;
    std::printf("%s\n", signature::Encode(signature::PublicKeyOf(secretKey)).constData());
    return 0;
}

int Sign(const QString& keyPath, int count, char** files)
{
    const QByteArray secretKey = ReadSecretKey(keyPath);
    if (secretKey.isEmpty()) return 1;
    for (int i = 0; i < count; ++i) {
        const QString path = QFile::decodeName(files[i]);
        const QByteArray text = signature::SignFile(path, secretKey);
        if (text.isEmpty()) return Fail("cannot read " + path.toStdString());
        QSaveFile out(path + ".sig");
        if (!out.open(QIODevice::WriteOnly) || out.write(text + '\n') != text.size() + 1 ||
            !out.commit())
            return Fail("cannot write " + path.toStdString() + ".sig");
        std::printf("%s.sig\n", files[i]);
    }
    return 0;
}

int Verify(const char* publicKeyText, const QString& path, const QString& signaturePath)
{
    const QByteArray publicKey = signature::Decode(publicKeyText, signature::kPublicKeyBytes);
    if (publicKey.isEmpty()) return Fail("no public key: " + std::string(publicKeyText));
    QByteArray text;
    if (!ReadText(signaturePath, text)) return Fail("cannot read " + signaturePath.toStdString());
    switch (signature::VerifyFile(path, text, publicKey)) {
        case signature::Verdict::Valid:
            std::printf("%s: good signature\n", path.toLocal8Bit().constData());
            return 0;
        case signature::Verdict::Unreadable:
            return Fail("cannot read " + path.toStdString());
        case signature::Verdict::Mismatch:
            return Fail(path.toStdString() + ": BAD signature");
        default:
            return Fail(signaturePath.toStdString() + " holds no signature");
    }
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "-h" || command == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (command == "trusted" && argc == 2) {
        const QByteArray key = signature::TrustedKey();
        if (key.isEmpty())
            return Fail("this build has no installer key (LUMO_INSTALLER_PUBLIC_KEY)");
        std::printf("%s\n", signature::Encode(key).constData());
        return 0;
    }
    if (command == "keygen" && argc == 3) return KeyGen(QFile::decodeName(argv[2]));
    if (command == "public" && argc == 3) return Public(QFile::decodeName(argv[2]));
    if (command == "sign" && argc >= 4) return Sign(QFile::decodeName(argv[2]), argc - 3, argv + 3);
    if (command == "verify" && (argc == 4 || argc == 5)) {
        const QString file = QFile::decodeName(argv[3]);
        return Verify(argv[2], file, argc == 5 ? QFile::decodeName(argv[4]) : file + ".sig");
    }
    std::fputs(kUsage, stderr);
    return 2;
}
