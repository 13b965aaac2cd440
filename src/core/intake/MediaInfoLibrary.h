// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <memory>
#include <mutex>
#include <string>

// What the media probe asks MediaInfo about a file whose prober report has no usable average
// frame rate. An interface, so the report parser can be tested with answers of our choosing.
class MediaInfoSource {
public:
    struct FrameRateAnswers {
        QString mode;     // "FrameRate_Mode" of the first video stream, e.g. "VFR" or "CFR"
        QString nominal;  // "FrameRate_Nominal" of the first video stream, e.g. "30.000"
    };

    virtual ~MediaInfoSource() = default;
    virtual FrameRateAnswers FrameRateOf(const QString& path) = 0;
};

// The MediaInfo shared library, loaded with dlopen on first need and kept loaded for the rest of
// the run. Process-wide: use Instance(). Calls are serialised, so any thread may ask.
//
// Loading resolves every function of the library's C interface; when the library or any one
// function is missing, the library counts as absent (the next need tries again) and each answer
// is the fixed text kUnavailableText.
class MediaInfoLibrary : public MediaInfoSource {
public:
    static constexpr char kDefaultLibraryName[] = "libmediainfo.so.0";
    static constexpr char kUnavailableText[] = "Unable to load MediaInfo.dll";

    static MediaInfoLibrary& Instance();

    // The file name handed to dlopen on the next load (tests point it at a missing library).
    // A library that is already loaded stays loaded.
    void SetLibraryName(const std::string& name);

    // Loads the library unless it is loaded; true when it is usable. Every successful request
    // raises the use count, the first one included.
    bool Load();
    bool IsLoaded() const;
    int UseCount() const;

    // Opens the file in MediaInfo with complete information and answers for its first video
    // stream. Empty answers when the file has no video stream MediaInfo recognises.
    FrameRateAnswers FrameRateOf(const QString& path) override;

private:
    MediaInfoLibrary();
    ~MediaInfoLibrary();
    bool LoadLocked();

    struct Api;

    mutable std::mutex lock_;
    std::string libraryName_ = kDefaultLibraryName;
    void* module_ = nullptr;
    std::unique_ptr<Api> api_;
    int useCount_ = 0;
};
