// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/search/Ssim.h"

#include "core/image/ColourProfile.h"

#include <Magick++.h>

#include <QRegularExpression>
#include <QString>

#include <array>
#include <cmath>

namespace search {

namespace {

constexpr int kWindow = 11;
constexpr double kSigma = 1.5;
constexpr double kC1 = (0.01 * 255) * (0.01 * 255);
constexpr double kC2 = (0.03 * 255) * (0.03 * 255);

std::array<double, kWindow> GaussianWeights()
{
    std::array<double, kWindow> weights{};
    double sum = 0;
    for (int i = 0; i < kWindow; ++i) {
        const double d = i - kWindow / 2;
        weights[i] = std::exp(-d * d / (2 * kSigma * kSigma));
        sum += weights[i];
    }
    for (double& w : weights) w /= sum;
    return weights;
}

// The plane filtered by the window, kept only where the window lies inside it: a separable
// pass along the rows, then the columns.
std::vector<double> Filtered(const std::vector<double>& plane, int width, int height,
                             const std::array<double, kWindow>& weights)
{
    const int outWidth = width - kWindow + 1;
    const int outHeight = height - kWindow + 1;
    std::vector<double> rows(size_t(outWidth) * height);
    for (int y = 0; y < height; ++y) {
        const double* in = plane.data() + size_t(y) * width;
        double* out = rows.data() + size_t(y) * outWidth;
        for (int x = 0; x < outWidth; ++x) {
            double sum = 0;
            for (int k = 0; k < kWindow; ++k) sum += weights[k] * in[x + k];
            out[x] = sum;
        }
    }
    std::vector<double> result(size_t(outWidth) * outHeight, 0.0);
    for (int y = 0; y < outHeight; ++y) {
        double* out = result.data() + size_t(y) * outWidth;
        for (int k = 0; k < kWindow; ++k) {
            const double* in = rows.data() + size_t(y + k) * outWidth;
            for (int x = 0; x < outWidth; ++x) out[x] += weights[k] * in[x];
        }
    }
    return result;
}

double Ssim(double meanA, double meanB, double varA, double varB, double covariance)
{
    return ((2 * meanA * meanB + kC1) * (2 * covariance + kC2)) /
           ((meanA * meanA + meanB * meanB + kC1) * (varA + varB + kC2));
}

// A picture smaller than a window: the whole picture with equal weights.
double WholePictureSsim(const LumaPlane& a, const LumaPlane& b)
{
    const size_t n = a.samples.size();
    double meanA = 0, meanB = 0;
    for (size_t i = 0; i < n; ++i) {
        meanA += a.samples[i];
        meanB += b.samples[i];
    }
    meanA /= double(n);
    meanB /= double(n);
    double varA = 0, varB = 0, covariance = 0;
    for (size_t i = 0; i < n; ++i) {
        const double da = a.samples[i] - meanA;
        const double db = b.samples[i] - meanB;
        varA += da * da;
        varB += db * db;
        covariance += da * db;
    }
    return Ssim(meanA, meanB, varA / double(n), varB / double(n), covariance / double(n));
}

}  // namespace

LumaPlane LumaOf(const Magick::Image& picture, std::optional<double> background)
{
    // Decoders may hand over their own colour space (the AVIF reader gives YCbCr).
    Magick::Image image(picture);
    colourprofile::ToRgbSpace(image);
    LumaPlane plane;
    plane.width = static_cast<int>(image.columns());
    plane.height = static_cast<int>(image.rows());
    plane.samples.resize(size_t(plane.width) * plane.height);
    const Magick::PixelPacket* pixels = image.getConstPixels(0, 0, image.columns(), image.rows());
    if (!pixels) return {};
    using MagickCore::Quantum;  // QuantumRange names it unqualified
    const double scale = 255.0 / double(QuantumRange);
    const bool laid = background && image.matte();
    for (size_t i = 0; i < plane.samples.size(); ++i) {
        const Magick::PixelPacket& p = pixels[i];
        double luma = scale * (0.299 * p.red + 0.587 * p.green + 0.114 * p.blue);
        if (laid) {
            // The packet holds opacity: 0 is opaque.
            const double alpha = 1.0 - double(p.opacity) / double(QuantumRange);
            luma = alpha * luma + (1.0 - alpha) * *background;
        }
        plane.samples[i] = static_cast<float>(luma);
    }
    return plane;
}

double LumaSsim(const LumaPlane& a, const LumaPlane& b)
{
    if (a.width != b.width || a.height != b.height || a.samples.empty() ||
        a.samples.size() != b.samples.size())
        return 0;
    if (a.width < kWindow || a.height < kWindow) return WholePictureSsim(a, b);

    const size_t n = a.samples.size();
    std::vector<double> x(n), y(n), xx(n), yy(n), xy(n);
    for (size_t i = 0; i < n; ++i) {
        x[i] = a.samples[i];
        y[i] = b.samples[i];
        xx[i] = x[i] * x[i];
        yy[i] = y[i] * y[i];
        xy[i] = x[i] * y[i];
    }
    const auto weights = GaussianWeights();
    const auto meanX = Filtered(x, a.width, a.height, weights);
    const auto meanY = Filtered(y, a.width, a.height, weights);
    const auto meanXX = Filtered(xx, a.width, a.height, weights);
    const auto meanYY = Filtered(yy, a.width, a.height, weights);
    const auto meanXY = Filtered(xy, a.width, a.height, weights);
    double sum = 0;
    for (size_t i = 0; i < meanX.size(); ++i) {
        const double mx = meanX[i];
        const double my = meanY[i];
        sum += Ssim(mx, my, meanXX[i] - mx * mx, meanYY[i] - my * my, meanXY[i] - mx * my);
    }
    return sum / double(meanX.size());
}

std::optional<SsimFigures> ParseSsimReport(const QByteArray& output)
{
    static const QRegularExpression report(QStringLiteral("SSIM Y:([0-9.]+) .*All:([0-9.]+)"));
    std::optional<SsimFigures> figures;
    auto matches = report.globalMatch(QString::fromLatin1(output));
    while (matches.hasNext()) {
        const QRegularExpressionMatch match = matches.next();
        bool lumaOk = false;
        bool allOk = false;
        SsimFigures found{match.captured(1).toDouble(&lumaOk), match.captured(2).toDouble(&allOk)};
        if (lumaOk && allOk) figures = found;
    }
    return figures;
}

}  // namespace search
