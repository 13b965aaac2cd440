// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/intake/MediaInfoLibrary.h"

#include "core/app/TextUtil.h"

#include <dlfcn.h>

#include <cstddef>

namespace {

// The library's C interface takes and gives wide strings; on Linux wchar_t holds UTF-32.
using NewFn = void* (*)();
using DeleteFn = void (*)(void*);
using OpenFn = size_t (*)(void*, const wchar_t*);
using OptionFn = const wchar_t* (*)(void*, const wchar_t*, const wchar_t*);
using GetFn = const wchar_t* (*)(void*, int streamKind, size_t streamNumber,
                                 const wchar_t* parameter, int infoKind, int searchKind);

// Values of the library's enumerations.
constexpr int kStreamVideo = 1;
constexpr int kInfoText = 1;
constexpr int kInfoName = 0;

// The whole C interface. The library only counts as present when every one of them resolves,
// so a damaged or foreign file of that name is not half used.
constexpr const char* kEntryPoints[] = {
    "MediaInfo_New",
    "MediaInfoList_New",
    "MediaInfo_Delete",
    "MediaInfoList_Delete",
    "MediaInfo_Open",
    "MediaInfoList_Open",
    "MediaInfo_Open_Buffer_Init",
    "MediaInfo_Open_Buffer_Continue",
    "MediaInfo_Open_Buffer_Continue_GoTo_Get",
    "MediaInfo_Open_Buffer_Finalize",
    "MediaInfo_Open_NextPacket",
    "MediaInfo_Close",
    "MediaInfoList_Close",
    "MediaInfo_Inform",
    "MediaInfoList_Inform",
    "MediaInfo_GetI",
    "MediaInfoList_GetI",
    "MediaInfo_Get",
    "MediaInfoList_Get",
    "MediaInfo_Output_Buffer_Get",
    "MediaInfo_Output_Buffer_GetI",
    "MediaInfo_Option",
    "MediaInfoList_Option",
    "MediaInfo_State_Get",
    "MediaInfoList_State_Get",
    "MediaInfo_Count_Get",
    "MediaInfoList_Count_Get",
    "MediaInfoList_Count_Get_Files",
};

QString FromWide(const wchar_t* text)
{
    return text ? QString::fromWCharArray(text) : QString();
}

}  // namespace

// The entry points the probe calls; the others are only checked for presence.
struct MediaInfoLibrary::Api {
    NewFn create = nullptr;
    DeleteFn destroy = nullptr;
    OpenFn open = nullptr;
    OptionFn option = nullptr;
    GetFn get = nullptr;
};

MediaInfoLibrary::MediaInfoLibrary() = default;
MediaInfoLibrary::~MediaInfoLibrary() = default;

MediaInfoLibrary& MediaInfoLibrary::Instance()
{
    static MediaInfoLibrary instance;
    return instance;
}

void MediaInfoLibrary::SetLibraryName(const std::string& name)
{
    std::lock_guard guard(lock_);
    libraryName_ = name;
}

bool MediaInfoLibrary::Load()
{
    std::lock_guard guard(lock_);
    return LoadLocked();
}

bool MediaInfoLibrary::IsLoaded() const
{
    std::lock_guard guard(lock_);
    return module_ != nullptr;
}

int MediaInfoLibrary::UseCount() const
{
    std::lock_guard guard(lock_);
    return useCount_;
}

bool MediaInfoLibrary::LoadLocked()
{
    if (module_) {
        ++useCount_;
        return true;
    }
    void* module = ::dlopen(libraryName_.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* error = ::dlerror();
        DebugPrint("MediaInfo load error: %s\n", error ? error : libraryName_.c_str());
        return false;
    }
    for (const char* name : kEntryPoints) {
        if (!::dlsym(module, name)) {
            DebugPrint("MediaInfo missing entry: %s\n", name);
            ::dlclose(module);
            return false;
        }
    }
    auto api = std::make_unique<Api>();
    api->create = reinterpret_cast<NewFn>(::dlsym(module, "MediaInfo_New"));
    api->destroy = reinterpret_cast<DeleteFn>(::dlsym(module, "MediaInfo_Delete"));
    api->open = reinterpret_cast<OpenFn>(::dlsym(module, "MediaInfo_Open"));
    api->option = reinterpret_cast<OptionFn>(::dlsym(module, "MediaInfo_Option"));
    api->get = reinterpret_cast<GetFn>(::dlsym(module, "MediaInfo_Get"));
    module_ = module;
    api_ = std::move(api);
    ++useCount_;
    return true;
}

MediaInfoSource::FrameRateAnswers MediaInfoLibrary::FrameRateOf(const QString& path)
{
    std::lock_guard guard(lock_);
    if (!LoadLocked()) {
        const QString unavailable = QString::fromLatin1(kUnavailableText);
        return {unavailable, unavailable};
    }
    FrameRateAnswers answers;
    void* handle = api_->create();
    if (!handle) return answers;
    const std::wstring file = path.toStdWString();
    api_->open(handle, file.c_str());
    api_->option(handle, L"Complete", L"1");
    // Each answer lives in the handle until the next call: copy it at once.
    answers.mode =
        FromWide(api_->get(handle, kStreamVideo, 0, L"FrameRate_Mode", kInfoText, kInfoName));
    answers.nominal =
        FromWide(api_->get(handle, kStreamVideo, 0, L"FrameRate_Nominal", kInfoText, kInfoName));
    api_->destroy(handle);
    return answers;
}
