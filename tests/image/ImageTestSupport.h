#pragma once

#include <Magick++.h>

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

#include "image/ImageParams.h"

// Helpers of the image engine's tests: real images made with the image library, inspected with
// the real identifier.
namespace imagetest {

// The identifier on PATH; the tests need it.
QString IdentifyProgram();

// A plain colour image, or one of the library's built-in images ("logo:", "rose:").
Magick::Image Solid(int width, int height, const char* colour);
Magick::Image Builtin(const char* name);

// Encodes image as magick ("JPEG", "PNG", ...) and writes it to path exactly as named; a
// quality of 0 leaves the library's default.
void Save(Magick::Image image, const std::string& magick, const QString& path, int quality = 0);

// Writes an animation of frames as a GIF; reads a file's frames as a viewer shows them (each the
// whole canvas).
void SaveFrames(std::vector<Magick::Image> frames, const QString& path);
std::vector<Magick::Image> ShownFrames(const QString& path);

// The identifier's -format report on path, e.g. "%m %wx%h" (the file on standard input, so any
// name works). Empty when the identifier fails.
QString Identify(const QString& path, const QString& format);

// Names in a folder, hidden ones included, sorted.
QStringList Entries(const QString& folder);

// A scratch folder with src/, out/ and tmp/ below it, and run parameters pointing there.
class ImageFolderTest : public ::testing::Test {
protected:
    void SetUp() override;

    QString Src(const QString& name) const { return root_.path() + "/src/" + name; }
    QString Out(const QString& name) const { return root_.path() + "/out/" + name; }
    QString OutDir() const { return root_.path() + "/out"; }
    QString TmpDir() const { return root_.path() + "/tmp"; }
    // Parameters for compressing src/name: strength general, keep form, no resizing, no
    // identifier (its own tests give it).
    ImageParams Params(const QString& name) const;

    QTemporaryDir root_;
};

}  // namespace imagetest
