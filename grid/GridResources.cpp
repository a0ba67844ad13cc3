// Pictures the grid makes itself: the "..." glyph of ellipsis cells and the six built-in icons.
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <vector>

#include "grid/GridGdi.h"
#include "grid/GridGeometry.h"
#include "grid/GridInternal.h"

namespace zandrel::gridimpl {

namespace {

// 16 x 16 pictures: '.' transparent, k black, w white, g grey, r red, G green, b blue.
// In stored order: dot, tick, cross, plus box, minus box, arrow. The last three are small
// enough to sit in the 8 x 8 area that reacts to clicks.
const char* const kIcons[6][16] = {
    {"................", "................", "................", "................",
     "......bbbb......", ".....bbbbbb.....", "....bbbbbbbb....", "....bbbbbbbb....",
     "....bbbbbbbb....", "....bbbbbbbb....", ".....bbbbbb.....", "......bbbb......",
     "................", "................", "................", "................"},
    {"................", "................", "..............G.", ".............GG.",
     "............GGG.", "...........GGG..", "..G.......GGG...", "..GG.....GGG....",
     "..GGG...GGG.....", "...GGG.GGG......", "....GGGGG.......", ".....GGG........",
     "......G.........", "................", "................", "................"},
    {"................", "................", "...rr......rr...", "...rrr....rrr...",
     "....rrr..rrr....", ".....rrrrrr.....", "......rrrr......", "......rrrr......",
     ".....rrrrrr.....", "....rrr..rrr....", "...rrr....rrr...", "...rr......rr...",
     "................", "................", "................", "................"},
    {"................", "................", "................", "................",
     "....ggggggggg...", "....gwwwwwwwg...", "....gwwwkwwwg...", "....gwwwkwwwg...",
     "....gwkkkkkwg...", "....gwwwkwwwg...", "....gwwwkwwwg...", "....gwwwwwwwg...",
     "....ggggggggg...", "................", "................", "................"},
    {"................", "................", "................", "................",
     "....ggggggggg...", "....gwwwwwwwg...", "....gwwwwwwwg...", "....gwwwwwwwg...",
     "....gwkkkkkwg...", "....gwwwwwwwg...", "....gwwwwwwwg...", "....gwwwwwwwg...",
     "....ggggggggg...", "................", "................", "................"},
    {"................", "................", "................", "................",
     "......k.........", "......kk........", "......kkk.......", "......kkkk......",
     "......kkkkk.....", "......kkkk......", "......kkk.......", "......kk........",
     "......k.........", "................", "................", "................"},
};

COLORREF PaletteColour(char c) {
    switch (c) {
        case 'w': return RGB(255, 255, 255);
        case 'g': return RGB(128, 128, 128);
        case 'r': return RGB(200, 30, 30);
        case 'G': return RGB(20, 150, 40);
        case 'b': return RGB(40, 80, 200);
        default: return RGB(0, 0, 0);
    }
}

HBITMAP MakeDib(int w, int h, int bits, void** pixels) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;  // top-down
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = static_cast<WORD>(bits);
    bi.bmiHeader.biCompression = BI_RGB;
    return CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, pixels, nullptr, 0);
}

}  // namespace

HBITMAP MakeEllipsisGlyph() {
    constexpr int n = gridgeo::EllipsisGlyphSize;
    void* bits = nullptr;
    HBITMAP bmp = MakeDib(n, n, 24, &bits);
    if (!bmp) return nullptr;
    const int stride = ((n * 3) + 3) & ~3;
    auto* p = static_cast<unsigned char*>(bits);
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            std::uint32_t c = gridgeo::EllipsisGlyphPixel(x, y);
            unsigned char* px = p + y * stride + x * 3;
            px[0] = static_cast<unsigned char>((c >> 16) & 0xFF);  // blue
            px[1] = static_cast<unsigned char>((c >> 8) & 0xFF);   // green
            px[2] = static_cast<unsigned char>(c & 0xFF);          // red
        }
    GdiFlush();
    return bmp;
}

bool AddBuiltInIcons(HIMAGELIST images) {
    for (const auto& icon : kIcons) {
        void* bits = nullptr;
        gdi::Bitmap colour(MakeDib(16, 16, 32, &bits));
        if (!colour) return false;
        auto* px = static_cast<std::uint32_t*>(bits);
        unsigned char mask[16 * 2] = {};  // monochrome rows are word aligned: 2 bytes each
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                char c = icon[y][x];
                if (c == '.') {
                    px[y * 16 + x] = 0;
                    mask[y * 2 + x / 8] |= static_cast<unsigned char>(0x80 >> (x % 8));
                } else {
                    COLORREF rgb = PaletteColour(c);
                    px[y * 16 + x] = 0xFF000000u | (static_cast<std::uint32_t>(GetRValue(rgb)) << 16) |
                                     (static_cast<std::uint32_t>(GetGValue(rgb)) << 8) | GetBValue(rgb);
                }
            }
        GdiFlush();
        gdi::Bitmap maskBmp(CreateBitmap(16, 16, 1, 1, mask));
        if (!maskBmp) return false;
        if (ImageList_Add(images, colour.get(), maskBmp.get()) < 0) return false;
    }
    return true;
}

}  // namespace zandrel::gridimpl
