#include "grid/GridGeometry.h"

#include <algorithm>
#include <cstdlib>

#include "base/Number.h"

namespace zandrel::gridgeo {

bool IsTextLike(int t) {
    return t == TextCell || t == ReadOnlyTextCell || t == LinkCell || t == ListCell ||
           t == ComboCell || t == EllipsisCell;
}

Rect CellTextRect(int width, int height, int focusWidth, int cellType, int borderFlags) {
    Rect r{focusWidth + 4, focusWidth, width - (focusWidth + 4), height - focusWidth};
    if (cellType == ListCell || cellType == ComboCell) {
        r.top = 0;
        r.bottom = height;
    }
    if (borderFlags & BorderBottomThick)
        r.bottom -= 2;
    else if (borderFlags & (BorderBottomSolid | BorderBottomDotted))
        r.bottom -= 1;
    if (cellType == EllipsisCell) r.right -= 20;
    return r;
}

bool CellTextWraps(int gridStyle, int cellType, bool isCurrent) {
    if (!(gridStyle & WrapText)) return false;
    return cellType == ReadOnlyTextCell || cellType == LinkCell || cellType == EllipsisCell ||
           (cellType == TextCell && !isCurrent);
}

int CellTextAlignment(int cellType, bool isCurrent, int textFormat) {
    if (cellType == ReadOnlyTextCell || cellType == LinkCell ||
        (cellType == TextCell && !isCurrent))
        return textFormat;
    return 0;
}

Rect CentreCellText(Rect r, int measuredHeight, int focusWidth, int cellType, bool isCurrent,
                    bool gridLines, bool lastRow) {
    int offset = (r.top + r.bottom - measuredHeight) / 2 - r.top;
    offset = 2 * (offset / 2) + 1;
    if (cellType == ListCell && isCurrent) r.right -= 20;  // room for the drop-down button
    if (cellType != ListCell && cellType != ComboCell) {
        offset = std::max(offset, focusWidth);
        if (offset <= 0 && gridLines) offset = 1;
    }
    r.top += offset;
    if (lastRow) r.bottom -= 1;
    return r;
}

bool EllipsisGlyphOrigin(int width, int height, bool isCurrent, bool pressed, int* x, int* y) {
    if (!isCurrent || width < 18) return false;
    if (pressed) {
        *x = width - 14;
        *y = height / 2 - 2;
    } else {
        *x = width - 16;
        *y = height / 2 - 4;
    }
    return true;
}

std::uint32_t EllipsisGlyphPixel(int x, int y) {
    constexpr std::uint32_t face = 0x00D8E9EC, white = 0x00FFFFFF, black = 0;
    if (x < 0 || y < 0 || x >= EllipsisGlyphSize || y >= EllipsisGlyphSize) return face;
    if (y == EllipsisGlyphSize - 1 || x == EllipsisGlyphSize - 1) return black;
    if (y == 0 || x == 0) return white;
    if ((y == 5 || y == 6) && (x == 2 || x == 3 || x == 5 || x == 6 || x == 8 || x == 9))
        return black;
    return face;
}

bool HasPressedSuffix(std::string_view text) {
    return text.size() >= 2 && text.substr(text.size() - 2) == "\\+";
}

std::string WithoutPressedSuffix(std::string_view text) {
    if (HasPressedSuffix(text)) text.remove_suffix(2);
    return std::string(text);
}

int CheckBoxSize(int height) { return std::min(height / 2 + 5, 14); }

Rect CheckBoxRect(int width, int height) {
    int size = CheckBoxSize(height);
    int top = (height - size) / 2;
    return Rect{width / 2 - size / 2, top, width / 2 + size / 2, height - top};
}

bool CheckBoxFits(int width, int height) { return CheckBoxRect(width, height).Width() < width; }

std::string CheckOnText(std::string_view t) {
    auto slash = t.find('/');
    return std::string(slash == std::string_view::npos ? t : t.substr(0, slash));
}

std::string CheckOffText(std::string_view t) {
    auto slash = t.find('/');
    return slash == std::string_view::npos ? std::string() : std::string(t.substr(slash + 1));
}

bool ProgressDrawn(int width) { return width > 28; }

int ProgressValue(std::string_view text, bool* storeZero) {
    if (storeZero) *storeZero = text.empty();
    std::int64_t v = ParseNumber(text);
    return static_cast<int>(std::clamp<std::int64_t>(v, 0, 100));
}

std::string ProgressLabel(int value) { return std::to_string(value) + "%"; }

ProgressLayout LayoutProgress(int width, int height, int labelHeight, int value) {
    int gap = std::min((height - labelHeight) / 2, 20);
    int block = labelHeight + gap;
    ProgressLayout p;
    p.label = Rect{0, (height - block) / 2, width, height};
    p.frame = Rect{5, (height - block) / 2 + labelHeight, width - 5, (height + block) / 2};
    p.bar = Rect{6, p.frame.top + 1, 7 + (width - 12) * value / 100, p.frame.bottom};
    return p;
}

Rect ButtonRect(int width, int height, int imageWidth, int imageHeight, bool lastRow,
                bool lastColumn) {
    Rect r{5, 5, width - 5, height - 5};
    if (imageWidth > 0 && imageHeight > 0 && imageWidth + 10 <= width &&
        imageHeight + 10 <= height) {
        r.left = (width - imageWidth) / 2;
        r.top = (height - imageHeight) / 2;
        r.right = r.left + imageWidth;
        r.bottom = r.top + imageHeight;
    }
    if (lastRow) r.bottom -= 1;
    if (lastColumn) r.right -= 1;
    return r;
}

EdgeKind SideEdge(int f, Side side, bool gridLines) {
    int shift = 0;
    switch (side) {
        case Side::Left: shift = 0; break;
        case Side::Top: shift = 4; break;
        case Side::Right: shift = 8; break;
        case Side::Bottom: shift = 12; break;
    }
    int bits = (f >> shift) & 0x7;
    if (bits & 0x4) return EdgeKind::Thick;
    if (bits & 0x1) return EdgeKind::Solid;
    if (bits & 0x2) return EdgeKind::Dotted;
    if (gridLines && !(f & BorderNoGridLines)) return EdgeKind::GridLine;
    return EdgeKind::None;
}

int BlockEdgeFlags(bool firstColumn, bool firstRow, bool lastColumn, bool lastRow) {
    return (firstColumn ? BorderLeftThick : 0) | (firstRow ? BorderTopThick : 0) |
           (lastColumn ? BorderRightThick : 0) | (lastRow ? BorderBottomThick : 0);
}

int SpanFirst(int start, int extent) { return extent < 0 ? start + extent + 1 : start; }
int SpanLast(int start, int extent) {
    if (extent < 0) return start;
    return start + std::max(extent, 1) - 1;
}
bool SpanContains(int start, int extent, int pos) {
    return pos >= SpanFirst(start, extent) && pos <= SpanLast(start, extent);
}

Span ClipSpan(int start, int extent, int limit) {
    if (extent == 0) return {};
    int first = std::max(SpanFirst(start, extent), 0);
    int last = std::min(SpanLast(start, extent), limit - 1);
    if (last < first) return {};
    return {first, last - first + 1};
}

Rect HeaderItemRect(Rect r, int cc, bool firstVisible, bool lastVisible, bool flatHeader) {
    if (cc >= 6) r.bottom -= 1;
    if (!(lastVisible && (flatHeader || cc < 6))) r.right += 1;
    if (!firstVisible && !flatHeader) r.left += 1;
    return r;
}

Rect HeaderTextRect(Rect r, bool pressed, int param) {
    if (pressed) {
        if (param == 1) {
            r.top += 2;
        } else if (param == 2) {
            r.bottom += 2;
        } else {
            r.top -= 2;
            r.left += 1;
        }
    }
    r.left += 6;
    r.right -= 6;
    return r;
}

BandLayout LayoutBand(int clientWidth, int bandWidth, int gap, int scrollBarWidth) {
    BandLayout b;
    int band = bandWidth + gap;
    b.hideList = band >= clientWidth - scrollBarWidth;
    b.listLeft = band;
    b.listWidth = std::max(clientWidth - band, 0);
    return b;
}

int BandImageA(std::uint32_t f) { return static_cast<int>(f & 0xFF); }
int BandImageB(std::uint32_t f) { return static_cast<int>((f >> 8) & 0xFF); }
int BandPlacementC(std::uint32_t f) { return static_cast<int>((f >> 16) & 0xF); }
int BandPlacementD(std::uint32_t f) { return static_cast<int>((f >> 20) & 0xF); }

std::uint32_t WithBandStyle(std::uint32_t f, int a, int b, int c, int d) {
    if (a >= 0 && a <= 255) f = (f & ~0xFFu) | static_cast<std::uint32_t>(a);
    if (b >= 0 && b <= 255) f = (f & ~0xFF00u) | (static_cast<std::uint32_t>(b) << 8);
    if (c >= 0 && c <= 4) f = (f & ~0xF0000u) | (static_cast<std::uint32_t>(c) << 16);
    if (d >= 0 && d <= 4) f = (f & ~0xF00000u) | (static_cast<std::uint32_t>(d) << 20);
    return f;
}

int BandImageTop(int top, int bottom, int placement, int size) {
    int h = bottom - top;
    switch (placement) {
        case 1: return top + 2;
        case 2: return bottom - 2 - size;
        case 3: return top + h / 4 - size / 2;
        case 4: return top + 3 * h / 4 - size / 2;
        default: return top + (h - size) / 2;
    }
}

std::vector<std::string> SplitItems(std::string_view text) {
    std::vector<std::string> items;
    if (text.empty()) return items;
    std::size_t start = 0;
    for (;;) {
        auto lf = text.find('\n', start);
        if (lf == std::string_view::npos) {
            items.emplace_back(text.substr(start));
            return items;
        }
        items.emplace_back(text.substr(start, lf - start));
        start = lf + 1;
    }
}

std::vector<std::vector<std::string>> ParseClipboardRows(std::string_view text) {
    std::vector<std::vector<std::string>> rows;
    std::size_t i = 0;
    while (i < text.size()) {
        auto cr = text.find('\r', i);
        std::string_view line = text.substr(i, cr == std::string_view::npos ? text.npos : cr - i);
        if (cr == std::string_view::npos) {
            i = text.size();
        } else {
            i = cr + 1;
            if (i < text.size() && text[i] == '\n') ++i;
        }
        if (!line.empty() && line.back() == '\t') line.remove_suffix(1);
        std::vector<std::string> cells;
        std::size_t s = 0;
        for (;;) {
            auto tab = line.find('\t', s);
            if (tab == std::string_view::npos) {
                cells.emplace_back(line.substr(s));
                break;
            }
            cells.emplace_back(line.substr(s, tab - s));
            s = tab + 1;
        }
        rows.push_back(std::move(cells));
    }
    return rows;
}

}  // namespace zandrel::gridgeo

// --- input ------------------------------------------------------------------------------------

namespace zandrel::gridgeo {

int ExtentTo(int start, int end) { return end >= start ? end - start + 1 : end - start - 1; }

int StepExtent(int start, int extent, int delta, int limit) {
    int end = extent >= 0 ? start + std::max(extent, 1) - 1 : start + extent + 1;
    end = std::clamp(end + delta, 0, std::max(limit - 1, 0));
    return ExtentTo(start, end);
}

int NextFilled(int from, int direction, int count, const std::function<bool(int)>& isEmpty) {
    if (count <= 0) return from;
    int edge = direction > 0 ? count - 1 : 0;
    for (int p = from + direction; p >= 0 && p < count; p += direction)
        if (!isEmpty(p)) return p;
    return edge;
}

CellPos TabTarget(CellPos from, int columns, int rows, bool backwards) {
    if (columns <= 0 || rows <= 0) return from;
    CellPos to = from;
    if (!backwards) {
        if (++to.position >= columns) {
            to.position = 0;
            to.row = to.row + 1 >= rows ? 0 : to.row + 1;
        }
    } else if (--to.position < 0) {
        to.position = columns - 1;
        to.row = to.row <= 0 ? rows - 1 : to.row - 1;
    }
    return to;
}

TooltipText SplitTooltip(std::string_view text) {
    TooltipText t;
    auto bell = text.find('\x07');
    if (bell == std::string_view::npos) {
        t.body = std::string(text);
        return t;
    }
    t.hasTitle = true;
    t.title = std::string(text.substr(0, bell));
    t.body = std::string(text.substr(bell + 1));
    return t;
}

std::string ProgressStep(std::string_view text, bool down) {
    if (text.empty()) return std::string();
    int value = ProgressValue(text, nullptr);
    value = down ? std::max(value - 1, 0) : std::min(value + 1, 100);
    return std::to_string(value);
}

std::string ToggledCheck(std::string_view stored, std::string_view checkTexts) {
    std::string on = CheckOnText(checkTexts);
    return stored == on ? CheckOffText(checkTexts) : on;
}

Rect ButtonPressArea(int width, int height, int imageWidth, int imageHeight) {
    Rect whole{0, 0, width, height};
    if (imageWidth == 0 && imageHeight == 0) return whole;
    if (imageWidth > width - 10 || imageHeight > height - 10 || imageWidth < 0 || imageHeight < 0)
        return whole;
    int left = (width - imageWidth) / 2, top = (height - imageHeight) / 2;
    return Rect{left, top, left + imageWidth, top + imageHeight};
}

Rect EllipsisPressArea(int width, int height) {
    if (width < 18) return Rect{};
    int top = (height - 11) / 2;
    return Rect{width - 3 - EllipsisGlyphSize, top, width - 3, top + 11};
}

int HorizontalScrollPixels(ScrollRequest r) {
    switch (r) {
        case ScrollRequest::LineBack: return -50;
        case ScrollRequest::LineForward: return 50;
        case ScrollRequest::PageBack: return -200;
        case ScrollRequest::PageForward: return 200;
    }
    return 0;
}

int VerticalScrollPixels(ScrollRequest r, int rowHeight, int rowsPerPage, int topIndex) {
    switch (r) {
        case ScrollRequest::LineForward: return rowHeight;
        case ScrollRequest::PageForward: return rowsPerPage * rowHeight;
        case ScrollRequest::LineBack: return topIndex > 0 ? -rowHeight : 0;
        case ScrollRequest::PageBack: return topIndex > 0 ? -rowsPerPage * rowHeight : 0;
    }
    return 0;
}

bool DragStarted(int downX, int downY, int x, int y) {
    return std::abs(x - downX) >= 6 || std::abs(y - downY) >= 6;
}

}  // namespace zandrel::gridgeo
