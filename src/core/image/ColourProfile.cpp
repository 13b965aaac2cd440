// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/image/ColourProfile.h"

#include <Magick++.h>
#include <lcms2.h>

#include <cstdlib>
#include <exception>

namespace colourprofile {

namespace {

struct Profile {
    cmsHPROFILE p;
    ~Profile()
    {
        if (p) cmsCloseProfile(p);
    }
};

std::string MakeSrgb()
{
    const Profile srgb{cmsCreate_sRGBProfile()};
    cmsUInt32Number size = 0;
    if (!srgb.p || !cmsSaveProfileToMem(srgb.p, nullptr, &size) || size == 0) return {};
    std::string bytes(size, '\0');
    if (!cmsSaveProfileToMem(srgb.p, bytes.data(), &size)) return {};
    bytes.resize(size);
    return bytes;
}

cmsColorSpaceSignature SpaceOf(const std::string& icc)
{
    const Profile profile{cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()))};
    return profile.p ? cmsGetColorSpace(profile.p) : cmsColorSpaceSignature(0);
}

std::string ProfileOf(const Magick::Image& image)
{
    const Magick::Blob blob = image.iccColorProfile();
    return std::string(static_cast<const char*>(blob.data()), blob.length());
}

}  // namespace

const std::string& Srgb()
{
    static const std::string profile = MakeSrgb();
    return profile;
}

bool IsRgb(const std::string& icc)
{
    return SpaceOf(icc) == cmsSigRgbData;
}

bool ActsAsSrgb(const std::string& icc)
{
    const Profile source{cmsOpenProfileFromMem(icc.data(), cmsUInt32Number(icc.size()))};
    if (!source.p || cmsGetColorSpace(source.p) != cmsSigRgbData) return false;
    const Profile srgb{cmsCreate_sRGBProfile()};
    const cmsHTRANSFORM transform = cmsCreateTransform(source.p, TYPE_RGB_8, srgb.p, TYPE_RGB_8,
                                                       INTENT_PERCEPTUAL, cmsFLAGS_NOCACHE);
    if (!transform) return false;
    constexpr int kLevels[] = {0, 51, 102, 153, 204, 255};
    unsigned char in[6 * 6 * 6 * 3], out[sizeof in];
    int n = 0;
    for (int r : kLevels)
        for (int g : kLevels)
            for (int b : kLevels) {
                in[n++] = static_cast<unsigned char>(r);
                in[n++] = static_cast<unsigned char>(g);
                in[n++] = static_cast<unsigned char>(b);
            }
    cmsDoTransform(transform, in, out, 6 * 6 * 6);
    cmsDeleteTransform(transform);
    for (std::size_t i = 0; i < sizeof in; ++i)
        if (std::abs(int(in[i]) - int(out[i])) > 1) return false;
    return true;
}

Outcome StripToSrgb(Magick::Image& image)
{
    const std::string original = ProfileOf(image);
    Outcome outcome = Outcome::None;
    if (!original.empty()) {
        const cmsColorSpaceSignature space = SpaceOf(original);
        if (space == cmsSigRgbData && ActsAsSrgb(original)) {
            outcome = Outcome::AlreadySrgb;
        } else if ((space == cmsSigRgbData || space == cmsSigCmykData) && !Srgb().empty()) {
            try {
                image.profile("ICC", Magick::Blob(Srgb().data(), Srgb().size()));
                outcome = Outcome::Converted;
            } catch (const std::exception&) {
                // A warning may come after the pixels were converted.
                outcome = ProfileOf(image) == Srgb() ? Outcome::Converted : Outcome::Kept;
            }
        } else {
            outcome = Outcome::Kept;
        }
    }
    image.strip();
    // With no profile left, attaching one converts nothing: it only tags the pixels.
    if (outcome == Outcome::Kept)
        image.profile("ICC", Magick::Blob(original.data(), original.size()));
    return outcome;
}

void ToRgbSpace(Magick::Image& image)
{
    const MagickCore::ColorspaceType space = image.colorSpace();
    if (space != MagickCore::sRGBColorspace && space != MagickCore::RGBColorspace &&
        space != MagickCore::GRAYColorspace)
        image.colorSpace(MagickCore::sRGBColorspace);
}

}  // namespace colourprofile
