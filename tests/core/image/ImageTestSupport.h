// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "support/Printers.h"

#include <Magick++.h>

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>
#include <vector>

#include "core/image/ImageParams.h"

// Helpers of the image engine's tests: real images made with the image library, inspected with
// the real identifier.
namespace imagetest {

QString IdentifyProgram();  // the identifier on PATH

// A built-in image ("logo:", "rose:"), or with a size, a plain colour.
Magick::Image MakeImage(const char* what, int width = 0, int height = 0);
// Encodes as magick ("JPEG", "PNG", ...) and writes to path exactly as named.
void Save(Magick::Image image, const std::string& magick, const QString& path, int quality = 0);
void SaveFrames(std::vector<Magick::Image> frames, const QString& path);  // a GIF animation
// A file's frames as a viewer shows them, each the whole canvas.
std::vector<Magick::Image> ShownFrames(const QString& path);

// The identifier's -format report on the file, e.g. "%m %wx%h"; empty when it fails.
QString Identify(const QString& path, const QString& format);

void WriteBytes(const QString& path, const QByteArray& bytes);
QByteArray ReadBytes(const QString& path);
QStringList Entries(const QString& folder);  // hidden names too, sorted

// A scratch folder with src/, out/ and tmp/, and run parameters pointing there: strength
// general, keep form, no resizing, no identifier.
class ImageFolderTest : public ::testing::Test {
protected:
    void SetUp() override;
    QString Src(const QString& name) const { return root_.path() + "/src/" + name; }
    QString Out(const QString& name) const { return root_.path() + "/out/" + name; }
    QString OutDir() const { return root_.path() + "/out"; }
    QString TmpDir() const { return root_.path() + "/tmp"; }
    ImageParams Params(const QString& name) const;

    QTemporaryDir root_;
};

}  // namespace imagetest
