// Painting: every cell, header item and empty area of the grid is drawn here. Each cell is
// painted into one cell-sized bitmap and copied at once, so nothing flickers.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <vector>

#include "grid/GridGdi.h"
#include "grid/GridGeometry.h"
#include "grid/GridInternal.h"

namespace zandrel::gridimpl {

using gridgeo::Rect;

namespace {

RECT ToRECT(const Rect& r) { return RECT{r.left, r.top, r.right, r.bottom}; }
COLORREF Colour(std::int32_t c) { return static_cast<COLORREF>(c); }

// A rectangle without outline: GDI fills it up to but not including right - 1 and bottom - 1.
void NoOutlineRect(HDC dc, int l, int t, int r, int b, COLORREF colour) {
    gdi::Brush brush(CreateSolidBrush(colour));
    gdi::Select sb(dc, brush.get());
    gdi::Select sp(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, l, t, r, b);
}

int MeasureDrawText(HDC dc, const std::string& text, RECT r, UINT format) {
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r, format | DT_CALCRECT);
    return r.bottom - r.top;
}

HFONT ListFont(const GridViewState* v) {
    return reinterpret_cast<HFONT>(SendMessageA(v->ListWindow, WM_GETFONT, 0, 0));
}

struct CellPaint {
    GridViewState* v;
    HDC dc;  // the cell bitmap's DC (PaintDC)
    int row, subItem, width, height;
    bool current, lastRow, lastColumn, inBlock;
    CellInfo& ci;
    int borderFlags;
};

void PaintBackground(const CellPaint& p, HDC dc) {
    int t = p.ci.CellType;
    bool solid = p.inBlock || p.ci.GradientStart == -1 || p.ci.GradientEnd == -1 ||
                 t == ButtonCell ||
                 (p.current && (t == TextCell || t == CheckCell || t == ProgressCell ||
                                t == ReadOnlyProgressCell));
    if (solid) {
        NoOutlineRect(dc, 0, 0, p.width + 1, p.height + 1, Colour(p.ci.BackColour));
    } else {
        RECT r{0, 0, p.width, p.height};
        FillGradient(dc, r, Colour(p.ci.GradientStart), Colour(p.ci.GradientEnd), false);
    }
}

void PaintTextLike(const CellPaint& p) {
    GridViewState* v = p.v;
    HDC dc = p.dc;
    int t = p.ci.CellType;
    std::string text = StoredText(v, p.row, p.subItem);
    bool pressed = false;
    if (t == EllipsisCell) {
        pressed = gridgeo::HasPressedSuffix(text);
        text = gridgeo::WithoutPressedSuffix(text);
    }
    bool hover = v->HotRow == p.row && v->HotColumn == p.subItem;
    COLORREF colour = Colour(hover && p.ci.HotTextColour != -1 ? p.ci.HotTextColour
                                                               : p.ci.TextColour);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, colour);
    gdi::Select font(dc, p.ci.Font ? p.ci.Font : ListFont(v));
    Rect tr = gridgeo::CellTextRect(p.width, p.height, v->FocusWidth, t, p.borderFlags);
    bool wrap = gridgeo::CellTextWraps(v->Style, t, p.current);
    int align = gridgeo::CellTextAlignment(t, p.current, p.ci.TextFormat);
    UINT lines = wrap ? DT_WORDBREAK : DT_SINGLELINE;
    int measured = MeasureDrawText(dc, text, ToRECT(tr), lines | DT_NOPREFIX | DT_END_ELLIPSIS);
    tr = gridgeo::CentreCellText(tr, measured, v->FocusWidth, t, p.current,
                                 (v->Style & GridLines) != 0, p.lastRow);
    RECT r = ToRECT(tr);
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &r,
              static_cast<UINT>(align) | DT_END_ELLIPSIS | DT_NOPREFIX | lines);
    int gx, gy;
    if (t == EllipsisCell && Shared().EllipsisGlyph &&
        gridgeo::EllipsisGlyphOrigin(p.width, p.height, p.current, pressed, &gx, &gy)) {
        gdi::MemoryDC glyph(dc);
        gdi::Select sel(glyph.get(), Shared().EllipsisGlyph);
        BitBlt(dc, gx, gy, gridgeo::EllipsisGlyphSize, gridgeo::EllipsisGlyphSize, glyph.get(), 0,
               0, SRCCOPY);
    }
}

void PaintCheck(const CellPaint& p) {
    if (!gridgeo::CheckBoxFits(p.width, p.height)) return;
    RECT box = ToRECT(gridgeo::CheckBoxRect(p.width, p.height));
    DrawFrameControl(p.dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK);
    std::string stored = StoredText(p.v, p.row, p.subItem);
    if (stored == gridgeo::CheckOnText(p.ci.Text))
        DrawFrameControl(p.dc, &box, DFC_BUTTON, DFCS_BUTTONCHECK | DFCS_CHECKED);
}

void PaintProgress(const CellPaint& p) {
    if (!gridgeo::ProgressDrawn(p.width)) return;
    std::string text = StoredText(p.v, p.row, p.subItem);
    bool storeZero = false;
    int value = gridgeo::ProgressValue(text, &storeZero);
    if (storeZero) StoreText(p.v, p.row, p.subItem, "0");
    std::string label = gridgeo::ProgressLabel(value);
    HDC dc = p.dc;
    gdi::Select font(dc, Shared().ProgressFont ? Shared().ProgressFont : ListFont(p.v));
    SIZE extent{};
    GetTextExtentPoint32A(dc, label.c_str(), static_cast<int>(label.size()), &extent);
    gridgeo::ProgressLayout lay = gridgeo::LayoutProgress(p.width, p.height, extent.cy, value);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(p.ci.TextColour));
    RECT lr = ToRECT(lay.label);
    DrawTextA(dc, label.c_str(), static_cast<int>(label.size()), &lr,
              DT_CENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    {
        gdi::Select sb(dc, GetStockObject(WHITE_BRUSH));
        gdi::Select sp(dc, GetStockObject(BLACK_PEN));
        Rectangle(dc, lay.frame.left, lay.frame.top, lay.frame.right, lay.frame.bottom);
    }
    NoOutlineRect(dc, lay.bar.left, lay.bar.top, lay.bar.right, lay.bar.bottom,
                  Colour(p.ci.TextColour));
}

void PaintBitmap(const CellPaint& p) {
    auto bmp = reinterpret_cast<HBITMAP>(p.ci.Param);
    BITMAP bm{};
    if (!bmp || GetObjectA(bmp, sizeof bm, &bm) != sizeof bm) return;
    if (bm.bmWidth > p.width) return;
    int x = (p.width - bm.bmWidth) / 2, y = (p.height - bm.bmHeight) / 2;
    gdi::MemoryDC src(p.dc);
    gdi::Select sel(src.get(), bmp);
    if (p.ci.BackColour == p.ci.MaskColour)
        BitBlt(p.dc, x, y, bm.bmWidth, bm.bmHeight, src.get(), 0, 0, SRCAND);
    else
        TransparentBlt(p.dc, x, y, bm.bmWidth, bm.bmHeight, src.get(), 0, 0, bm.bmWidth,
                       bm.bmHeight, Colour(p.ci.MaskColour));
}

void PaintIcon(const CellPaint& p) {
    auto icon = reinterpret_cast<HICON>(p.ci.Param);
    if (!icon) return;
    int w = p.ci.ImageWidth, h = p.ci.ImageHeight;
    if (w >= p.width || h >= p.height) return;
    if (w <= 0 || h <= 0) {
        // No size given: the icon's own.
        ICONINFO info{};
        if (!GetIconInfo(icon, &info)) return;
        gdi::Bitmap colour(info.hbmColor), mask(info.hbmMask);
        BITMAP bm{};
        GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
        w = bm.bmWidth;
        h = info.hbmColor ? bm.bmHeight : bm.bmHeight / 2;
        if (w >= p.width || h >= p.height) return;
    }
    DrawIconEx(p.dc, (p.width - w) / 2, (p.height - h) / 2, icon, w, h, 0, nullptr, DI_NORMAL);
}

void PaintButton(const CellPaint& p) {
    HDC dc = p.dc;
    std::string text = StoredText(p.v, p.row, p.subItem);
    bool pressed = gridgeo::HasPressedSuffix(text);
    text = gridgeo::WithoutPressedSuffix(text);
    Rect br = gridgeo::ButtonRect(p.width, p.height, p.ci.ImageWidth, p.ci.ImageHeight, p.lastRow,
                                  p.lastColumn);
    RECT frame = ToRECT(br);
    UINT state = DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0) | (p.ci.Param ? DFCS_FLAT : 0);
    DrawFrameControl(dc, &frame, DFC_BUTTON, state);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(p.ci.TextColour));
    gdi::Select font(dc, p.ci.Font ? p.ci.Font : ListFont(p.v));
    RECT cap{br.left + 5, br.top, br.right - 5, br.bottom};
    if (pressed) OffsetRect(&cap, 1, 1);
    UINT lines = (p.v->Style & WrapText) ? DT_WORDBREAK : DT_SINGLELINE;
    int measured = MeasureDrawText(dc, text, cap, lines | DT_NOPREFIX | DT_END_ELLIPSIS);
    int offset = (cap.top + cap.bottom - measured) / 2 - cap.top;
    cap.top += std::max(offset, 0);
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &cap,
              static_cast<UINT>(p.ci.TextFormat) | lines | DT_NOPREFIX | DT_END_ELLIPSIS);
}

void PaintCustom(const CellPaint& p) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = p.width;
    bi.bmiHeader.biHeight = p.height;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    bi.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    gdi::Bitmap image(CreateDIBSection(p.dc, &bi, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!image) return;
    gdi::MemoryDC mem(p.dc);
    {
        gdi::Select sel(mem.get(), image.get());
        PaintBackground(p, mem.get());
    }
    // The handler gets the image unselected, so it can select it into a DC of its own.
    CellInfo ci = PresetCellInfo(p.v, p.row, p.subItem - 1);
    ci.CellType = CustomCell;
    ci.Param = reinterpret_cast<std::intptr_t>(image.get());
    ci.ImageWidth = p.width;
    ci.ImageHeight = p.height;
    SendGridEvent(p.v, DrawCustomCell, ci);
    gdi::Select sel(mem.get(), image.get());
    BitBlt(p.dc, 0, 0, p.width, p.height, mem.get(), 0, 0, SRCCOPY);
}

void PaintContent(const CellPaint& p) {
    switch (p.ci.CellType) {
        case CheckCell:
        case ReadOnlyCheckCell: PaintCheck(p); break;
        case ProgressCell:
        case ReadOnlyProgressCell: PaintProgress(p); break;
        case BitmapCell: PaintBitmap(p); break;
        case IconCell: PaintIcon(p); break;
        case ButtonCell: PaintButton(p); break;
        case CustomCell: PaintCustom(p); break;
        default:
            if (gridgeo::IsTextLike(p.ci.CellType)) PaintTextLike(p);
            break;
    }
}

void FillRectColour(HDC dc, int l, int t, int r, int b, COLORREF c) {
    if (r <= l || b <= t) return;
    RECT rc{l, t, r, b};
    FillSolid(dc, rc, c);
}

void DottedLine(HDC dc, int x0, int y0, int x1, int y1, COLORREF c) {
    gdi::Pen pen(CreatePen(PS_DOT, 1, c));
    gdi::Select sp(dc, pen.get());
    int oldBk = SetBkMode(dc, TRANSPARENT);
    MoveToEx(dc, x0, y0, nullptr);
    LineTo(dc, x1, y1);
    SetBkMode(dc, oldBk);
}

// Edges and grid lines on the target; returns the cell rectangle as the edges leave it.
RECT PaintEdges(GridViewState* v, HDC dc, RECT cell, int flags, int blockEdges,
                COLORREF borderColour, bool lastRow, bool lastColumn) {
    using gridgeo::EdgeKind;
    using gridgeo::Side;
    bool gridLines = (v->Style & GridLines) != 0;
    COLORREF gridColour = Colour(v->GridLineColour);
    int all = flags | blockEdges;
    RECT r = cell;
    const int top = cell.top, bottom = cell.bottom, left = cell.left, right = cell.right;

    switch (gridgeo::SideEdge(all, Side::Left, gridLines)) {
        case EdgeKind::Thick:
            FillRectColour(dc, left, top, left + 2, bottom,
                           (blockEdges & BorderLeftThick) ? 0 : borderColour);
            r.left += 2;
            break;
        case EdgeKind::Solid: FillRectColour(dc, left, top, left + 1, bottom, borderColour); r.left += 1; break;
        case EdgeKind::Dotted: DottedLine(dc, left, top, left, bottom, borderColour); r.left += 1; break;
        case EdgeKind::GridLine: FillRectColour(dc, left, top, left + 1, bottom, gridColour); break;
        case EdgeKind::None: break;
    }
    switch (gridgeo::SideEdge(all, Side::Top, gridLines)) {
        case EdgeKind::Thick:
            FillRectColour(dc, left, top, right, top + 2,
                           (blockEdges & BorderTopThick) ? 0 : borderColour);
            r.top += 2;
            break;
        case EdgeKind::Solid: FillRectColour(dc, left, top, right, top + 1, borderColour); r.top += 1; break;
        case EdgeKind::Dotted: DottedLine(dc, left, top, right, top, borderColour); r.top += 1; break;
        case EdgeKind::GridLine: FillRectColour(dc, left, top, right, top + 1, gridColour); break;
        case EdgeKind::None: break;
    }
    switch (gridgeo::SideEdge(all, Side::Right, gridLines)) {
        case EdgeKind::Thick:
            FillRectColour(dc, right - 2, top, right, bottom,
                           (blockEdges & BorderRightThick) ? 0 : borderColour);
            r.right -= 2;
            break;
        case EdgeKind::Solid: FillRectColour(dc, right - 1, top, right, bottom, borderColour); r.right -= 1; break;
        case EdgeKind::Dotted: DottedLine(dc, right - 1, top, right - 1, bottom, borderColour); r.right -= 1; break;
        case EdgeKind::GridLine: {
            int x = lastColumn ? right - 1 : right;
            FillRectColour(dc, x, top, x + 1, bottom, gridColour);
            break;
        }
        case EdgeKind::None: break;
    }
    switch (gridgeo::SideEdge(all, Side::Bottom, gridLines)) {
        case EdgeKind::Thick:
            FillRectColour(dc, left, bottom - 2, right, bottom,
                           (blockEdges & BorderBottomThick) ? 0 : borderColour);
            r.bottom -= 2;
            break;
        case EdgeKind::Solid: FillRectColour(dc, left, bottom - 1, right, bottom, borderColour); r.bottom -= 1; break;
        case EdgeKind::Dotted: DottedLine(dc, left, bottom - 1, right, bottom - 1, borderColour); r.bottom -= 1; break;
        case EdgeKind::GridLine: {
            int y = lastRow ? bottom - 1 : bottom;
            FillRectColour(dc, left, y, right + (lastColumn ? 0 : 1), y + 1, gridColour);
            break;
        }
        case EdgeKind::None: break;
    }
    return r;
}

}  // namespace

void FillSolid(HDC dc, const RECT& r, COLORREF colour) {
    gdi::Brush brush(CreateSolidBrush(colour));
    if (brush) FillRect(dc, &r, brush.get());
}

void FillGradient(HDC dc, const RECT& r, COLORREF from, COLORREF to, bool vertical) {
    TRIVERTEX vx[2] = {};
    vx[0].x = r.left;
    vx[0].y = r.top;
    vx[0].Red = static_cast<COLOR16>(GetRValue(from) << 8);
    vx[0].Green = static_cast<COLOR16>(GetGValue(from) << 8);
    vx[0].Blue = static_cast<COLOR16>(GetBValue(from) << 8);
    vx[1].x = r.right;
    vx[1].y = r.bottom;
    vx[1].Red = static_cast<COLOR16>(GetRValue(to) << 8);
    vx[1].Green = static_cast<COLOR16>(GetGValue(to) << 8);
    vx[1].Blue = static_cast<COLOR16>(GetBValue(to) << 8);
    GRADIENT_RECT gr{0, 1};
    GradientFill(dc, vx, 2, &gr, 1, vertical ? GRADIENT_FILL_RECT_V : GRADIENT_FILL_RECT_H);
}

COLORREF EmptyAreaColourOf(const GridViewState* v) {
    if (v->EmptyAreaColour != -1) return Colour(v->EmptyAreaColour);
    return Shared().CommonControlsVersion >= 6 ? RGB(255, 255, 255) : GetSysColor(COLOR_BTNFACE);
}

void PaintCell(GridViewState* v, HDC target, int row, int subItem) {
    RECT rc = SubItemRect(v, row, subItem);
    int width = rc.right - rc.left, height = rc.bottom - rc.top;
    RECT client;
    GetClientRect(v->ListWindow, &client);
    if (height < 1 || rc.left > client.right || rc.top > client.bottom || rc.right < 0) return;
    v->CellHeight = height;
    if (row == 0 && Shared().CommonControlsVersion < 6) {
        // Old list views draw a line above the first row; cover it.
        FillRectColour(target, rc.left, rc.top - 1, rc.right, rc.top + 1, GetSysColor(COLOR_BTNFACE));
    }
    const int column = subItem - 1;
    CellInfo ci = PresetCellInfo(v, row, column);
    const bool current = v->CurrentRow >= 0 && v->CurrentRow == row && v->CurrentColumn == subItem;
    SendGridEvent(v, QueryCellFormat, ci);
    const bool inBlock = v->InBlock != 0;
    const int blockEdges = v->CellBorders;
    const COLORREF borderColour = Colour(ci.BorderColour);
    const int borderFlags = ci.BorderFlags;
    ci.CellType = TextCell;
    SendGridEvent(v, QueryCellType, ci);

    const bool lastRow = row == ListRowCount(v) - 1;
    if (v->ColumnsChanged) RebuildColumnTables(v);
    const bool lastColumn = column == LastVisibleColumn(v);
    if (width > 0 && height > 0 && v->PaintDC) {
        gdi::Bitmap bmp(CreateCompatibleBitmap(target, width, height));
        if (bmp) {
            gdi::Select sel(v->PaintDC, bmp.get());
            CellPaint p{v, v->PaintDC, row, subItem, width, height, current, lastRow,
                        lastColumn, inBlock, ci, borderFlags};
            PaintBackground(p, v->PaintDC);
            PaintContent(p);
            BitBlt(target, rc.left, rc.top, width, height, v->PaintDC, 0, 0, SRCCOPY);
        }
    }
    RECT left = PaintEdges(v, target, rc, borderFlags, blockEdges, borderColour, lastRow, lastColumn);
    int t = ci.CellType;
    if (current && v->FocusWidth != 0 && t != LinkCell && t != ListCell && t != ComboCell &&
        t != EllipsisCell) {
        gdi::Pen pen(CreatePen(PS_INSIDEFRAME, v->FocusWidth, Colour(v->FocusColour)));
        gdi::Select sp(target, pen.get());
        gdi::Select sb(target, GetStockObject(NULL_BRUSH));
        Rectangle(target, left.left, left.top, left.right, left.bottom);
    }
}

LRESULT OnListCustomDraw(GridViewState* v, NMLVCUSTOMDRAW* cd) {
    switch (cd->nmcd.dwDrawStage) {
        case CDDS_PREPAINT: return CDRF_NOTIFYITEMDRAW;
        case CDDS_ITEMPREPAINT: return CDRF_NOTIFYSUBITEMDRAW;
        case CDDS_ITEMPREPAINT | CDDS_SUBITEM:
            if (cd->iSubItem > 0)
                PaintCell(v, cd->nmcd.hdc, static_cast<int>(cd->nmcd.dwItemSpec), cd->iSubItem);
            return CDRF_SKIPDEFAULT;
        default: return CDRF_DODEFAULT;
    }
}

LRESULT OnHeaderCustomDraw(GridViewState* v, NMCUSTOMDRAW* cd) {
    if (cd->dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
    if (cd->dwDrawStage != CDDS_ITEMPREPAINT) return CDRF_DODEFAULT;
    int item = static_cast<int>(cd->dwItemSpec);
    if (item == 0) return CDRF_SKIPDEFAULT;
    HDC dc = cd->hdc;
    char title[1024] = {};
    HDITEMA hi{};
    hi.mask = HDI_TEXT;
    hi.pszText = title;
    hi.cchTextMax = sizeof title;
    SendMessageA(v->HeaderWindow, HDM_GETITEMA, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&hi));
    std::string text(title);

    CellInfo ci = PresetCellInfo(v, -1, item - 1);
    ci.BackColour = static_cast<std::int32_t>(GetSysColor(COLOR_BTNFACE));
    SendGridEvent(v, QueryCellFormat, ci);

    if (v->ColumnsChanged) RebuildColumnTables(v);
    int cc = Shared().CommonControlsVersion;
    bool flat = (v->Style & FlatHeader) != 0;
    Rect itemRect{cd->rc.left, cd->rc.top, cd->rc.right, cd->rc.bottom};
    Rect ir = gridgeo::HeaderItemRect(itemRect, cc, item - 1 == FirstVisibleColumn(v),
                                      item - 1 == LastVisibleColumn(v), flat);
    RECT r = ToRECT(ir);
    bool pressed = (cd->uItemState & CDIS_SELECTED) != 0;
    if (flat) {
        bool gradient = ci.GradientStart != -1 && ci.GradientEnd != -1;
        if (gradient) FillGradient(dc, r, Colour(ci.GradientStart), Colour(ci.GradientEnd), true);
        gdi::Pen pen(CreatePen(PS_INSIDEFRAME, 1, Colour(v->HeaderLineColour)));
        gdi::Brush back(gradient ? nullptr : CreateSolidBrush(Colour(ci.BackColour)));
        gdi::Select sp(dc, pen.get());
        gdi::Select sb(dc, gradient ? GetStockObject(NULL_BRUSH) : back.get());
        Rectangle(dc, r.left, r.top, r.right, r.bottom);
    } else {
        DrawFrameControl(dc, &r, DFC_BUTTON, DFCS_BUTTONPUSH | (pressed ? DFCS_PUSHED : 0));
    }

    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, Colour(ci.TextColour));
    HFONT baseFont = ci.Font ? ci.Font : ListFont(v);
    RECT tr = ToRECT(gridgeo::HeaderTextRect(ir, pressed, static_cast<int>(ci.Param)));
    if (ci.Param == 1 || ci.Param == 2) {
        LOGFONTA lf{};
        if (GetObjectA(baseFont, sizeof lf, &lf) != sizeof lf) return CDRF_SKIPDEFAULT;
        lf.lfEscapement = lf.lfOrientation = ci.Param == 1 ? 2700 : 900;
        gdi::Font vertical(CreateFontIndirectA(&lf));
        gdi::Select sf(dc, vertical.get());
        TEXTMETRICA tm{};
        GetTextMetricsA(dc, &tm);
        if (ir.Width() > tm.tmHeight) {
            int x = (ir.left + ir.right) / 2 + tm.tmHeight / 2;
            UINT oldAlign = SetTextAlign(dc, ci.Param == 1 ? TA_TOP | TA_LEFT : TA_BOTTOM | TA_LEFT);
            int y = ci.Param == 1 ? tr.top + 5 : tr.bottom - 5;
            if (ci.Param == 2) x = (ir.left + ir.right) / 2 + tm.tmHeight / 2;
            gdi::SavedDC saved(dc);
            IntersectClipRect(dc, r.left, r.top, r.right, r.bottom);
            TextOutA(dc, x, y, text.c_str(), static_cast<int>(text.size()));
            SetTextAlign(dc, oldAlign);
        }
        return CDRF_SKIPDEFAULT;
    }
    if (ir.Width() > 10) {
        gdi::Select sf(dc, baseFont);
        if (ci.TextFormat == 2) {
            OSVERSIONINFOA os{};
            os.dwOSVersionInfoSize = sizeof os;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
            GetVersionExA(&os);
#pragma GCC diagnostic pop
            if (os.dwMajorVersion < 6) tr.right -= 1;
        }
        int measured = MeasureDrawText(dc, text, tr, DT_WORDBREAK | DT_NOPREFIX);
        int offset = (tr.bottom - tr.top - measured) / 2;
        if (offset > 0) tr.top += offset;
        DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &tr,
                  static_cast<UINT>(ci.TextFormat) | DT_WORDBREAK | DT_NOPREFIX | DT_END_ELLIPSIS);
    }
    return CDRF_SKIPDEFAULT;
}

void PaintListEmptyArea(GridViewState* v) {
    RECT client;
    GetClientRect(v->ListWindow, &client);
    COLORREF colour = EmptyAreaColourOf(v);
    int headerBottom = 0;
    int columnsRight = client.left;
    if (v->HeaderWindow && IsWindowVisible(v->HeaderWindow)) {
        RECT hr;
        GetWindowRect(v->HeaderWindow, &hr);
        headerBottom = hr.bottom - hr.top;
        int count = static_cast<int>(SendMessageA(v->HeaderWindow, HDM_GETITEMCOUNT, 0, 0));
        if (count > 0) {
            int last = static_cast<int>(SendMessageA(v->HeaderWindow, HDM_ORDERTOINDEX, count - 1, 0));
            RECT ir{};
            SendMessageA(v->HeaderWindow, HDM_GETITEMRECT, static_cast<WPARAM>(last),
                         reinterpret_cast<LPARAM>(&ir));
            POINT pt{ir.right, 0};
            MapWindowPoints(v->HeaderWindow, v->ListWindow, &pt, 1);
            columnsRight = pt.x;
        }
    } else {
        int count = ListColumnCount(v);
        for (int i = 0; i < count; ++i)
            columnsRight += static_cast<int>(SendMessageA(v->ListWindow, LVM_GETCOLUMNWIDTH, i, 0));
    }
    int rows = ListRowCount(v);
    int rowsBottom = v->HeaderHeight;
    if (rows > 0) {
        RECT last{};
        last.left = LVIR_BOUNDS;
        if (SendMessageA(v->ListWindow, LVM_GETITEMRECT, static_cast<WPARAM>(rows - 1),
                         reinterpret_cast<LPARAM>(&last)))
            rowsBottom = last.bottom;
    }
    gdi::WindowDC dc(v->ListWindow);
    if (columnsRight < client.right)
        FillRectColour(dc.get(), columnsRight, headerBottom, client.right, client.bottom, colour);
    if (rowsBottom < client.bottom)
        FillRectColour(dc.get(), client.left, std::max(rowsBottom, headerBottom), client.right,
                       client.bottom, colour);
}

void PaintHeaderEmptyArea(GridViewState* v, HDC dc) {
    RECT client;
    GetClientRect(v->HeaderWindow, &client);
    int count = static_cast<int>(SendMessageA(v->HeaderWindow, HDM_GETITEMCOUNT, 0, 0));
    int right = 0;
    if (count > 0) {
        int last = static_cast<int>(SendMessageA(v->HeaderWindow, HDM_ORDERTOINDEX, count - 1, 0));
        RECT ir{};
        SendMessageA(v->HeaderWindow, HDM_GETITEMRECT, static_cast<WPARAM>(last),
                     reinterpret_cast<LPARAM>(&ir));
        right = ir.right;
    }
    if (right >= client.right) return;
    RECT r{right, 0, client.right, client.bottom};
    FillSolid(dc, r, EmptyAreaColourOf(v));
    ValidateRect(v->HeaderWindow, &r);
}

void DrawComboItem(GridViewState* v, const DRAWITEMSTRUCT* di) {
    if (di->itemID == static_cast<UINT>(-1)) return;
    HDC dc = di->hDC;
    int len = static_cast<int>(SendMessageA(di->hwndItem, CB_GETLBTEXTLEN, di->itemID, 0));
    std::string text(static_cast<size_t>(std::max(len, 0)) + 1, '\0');
    if (len > 0) SendMessageA(di->hwndItem, CB_GETLBTEXT, di->itemID, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(std::max(len, 0)));
    CellInfo ci = PresetCellInfo(v, v->CurrentRow, v->CurrentColumn - 1);
    if (v->CurrentRow >= 0) SendGridEvent(v, QueryCellFormat, ci);
    RECT r = di->rcItem;
    SetBkMode(dc, TRANSPARENT);
    RECT tr = r;
    if (di->itemState & ODS_COMBOBOXEDIT) {
        // The selection field keeps the plain look of a drop-down list.
        FillSolid(dc, r, GetSysColor(COLOR_WINDOW));
        SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
        tr.left += 2;
    } else if (di->itemState & (ODS_SELECTED | ODS_FOCUS)) {
        FillSolid(dc, r, GetSysColor(COLOR_HIGHLIGHT));
        SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
        tr.left += 15;
    } else {
        RECT strip{r.left, r.top, std::min<LONG>(r.left + 15, r.right), r.bottom};
        FillSolid(dc, strip, GetSysColor(COLOR_BTNFACE));
        RECT rest{strip.right, r.top, r.right, r.bottom};
        FillSolid(dc, rest, RGB(255, 255, 255));
        SetTextColor(dc, RGB(0, 0, 0));
        tr.left += 15;
    }
    gdi::Select font(dc, ci.Font ? ci.Font : ListFont(v));
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &tr,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
}

}  // namespace zandrel::gridimpl
