#include "launcher/core/FormLayout.h"

#include <cstdint>

namespace zandrel::launcher {
namespace {

constexpr int kTwipsPerInch = 1440;
constexpr int kClientWidthTwips = 7770;
constexpr int kClientHeightTwips = 3195;
constexpr int kPicture1Twips[] = {240, 120, 7455, 2895};  // left, top, width, height
// The start-up image is 504 x 199 pixels at 96 DPI, 15 twips to the pixel.
constexpr int kImageWidthTwips = 504 * 15;
constexpr int kImageHeightTwips = 199 * 15;

}  // namespace

int TwipsToPixels(int twips, int dpi) {
    const std::int64_t scaled = static_cast<std::int64_t>(twips) * dpi;
    return static_cast<int>((scaled + kTwipsPerInch / 2) / kTwipsPerInch);
}

Form1Layout LayOutForm1(int dpi) {
    Form1Layout layout;
    layout.clientWidth = TwipsToPixels(kClientWidthTwips, dpi);
    layout.clientHeight = TwipsToPixels(kClientHeightTwips, dpi);
    layout.picture1 = {TwipsToPixels(kPicture1Twips[0], dpi), TwipsToPixels(kPicture1Twips[1], dpi),
                       TwipsToPixels(kPicture1Twips[2], dpi), TwipsToPixels(kPicture1Twips[3], dpi)};
    layout.imageWidth = TwipsToPixels(kImageWidthTwips, dpi);
    layout.imageHeight = TwipsToPixels(kImageHeightTwips, dpi);
    return layout;
}

}  // namespace zandrel::launcher
