// Where form1 and Picture1 lie on a screen of a given DPI. Their sizes are given in twips, 1440 to the
// inch, so that the start-up window keeps its physical size on any screen.
#pragma once

namespace zandrel::launcher {

inline constexpr int kDefaultDpi = 96;

struct PixelBox {
    int left = 0;
    int top = 0;
    int width = 0;
    int height = 0;
    bool operator==(const PixelBox&) const = default;
};

struct Form1Layout {
    int clientWidth = 0;
    int clientHeight = 0;
    PixelBox picture1;
    // The start-up image, drawn from Picture1's top-left corner at the same scale as the form.
    int imageWidth = 0;
    int imageHeight = 0;
    bool operator==(const Form1Layout&) const = default;
};

// Twips to pixels at `dpi`, to the nearest pixel (halves up).
int TwipsToPixels(int twips, int dpi);

Form1Layout LayOutForm1(int dpi);

}  // namespace zandrel::launcher
