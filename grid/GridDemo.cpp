// grid-demo: a window with two grids that show every cell type, gradients, edges, a block and
// a current cell, for looking at the drawing and for screenshots.
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "grid/Grid.h"

using namespace zandrel;

namespace {

const char* const kTypeNames[14] = {
    "TextCell",   "ReadOnlyTextCell", "LinkCell",      "ListCell",
    "ComboCell",  "CheckCell",        "ReadOnlyCheckCell", "BitmapCell",
    "IconCell",   "ProgressCell",     "ReadOnlyProgressCell", "ButtonCell",
    "CustomCell", "EllipsisCell"};

HBITMAP g_bitmap = nullptr;
HICON g_icon = nullptr;
GridControl* g_main = nullptr;
GridControl* g_side = nullptr;
HWND g_window = nullptr;

// What the user just did, in the title bar, so the notifications can be watched.
void ShowEvent(const char* grid, std::int32_t code, const CellInfo* ci) {
    const char* name = code == CellChanged ? "CellChanged" : code == ButtonClicked ? "ButtonClicked"
                     : code == ListChoice ? "ListChoice" : code == CellLeft ? "CellLeft" : nullptr;
    if (!name || !g_window) return;
    std::string title = std::string("Zandrel grid demo - ") + grid + " " + name + " row " +
                        std::to_string(ci->Row) + " column " + std::to_string(ci->Column);
    if (code == CellChanged || code == ListChoice) title += ": \"" + ci->Text + "\"";
    SetWindowTextA(g_window, title.c_str());
}

HBITMAP MakeDemoBitmap() {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT all{0, 0, 16, 16};
    HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc, &all, magenta);
    DeleteObject(magenta);
    HBRUSH blue = CreateSolidBrush(RGB(30, 90, 200));
    HGDIOBJ ob = SelectObject(dc, blue);
    Ellipse(dc, 1, 1, 15, 15);
    SelectObject(dc, ob);
    DeleteObject(blue);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return bmp;
}

// Column 0 names the type, column 1 shows it plain, column 2 on a gradient, column 3 with edges.
std::int32_t MainHandler(GridControl*, std::int32_t code, CellInfo* ci) {
    ShowEvent("main", code, ci);
    if (code == QueryCellFormat) {
        if (ci->Row == -1) {
            ci->GradientStart = 0xFFFFFF;
            ci->GradientEnd = static_cast<std::int32_t>(GetSysColor(COLOR_GRADIENTACTIVECAPTION));
            if (ci->Column == 2) ci->TextFormat = DT_CENTER;
            return 1;
        }
        if (ci->Column == -1) return 1;
        ci->BackColour = ci->Row % 2 ? RGB(244, 243, 222) : RGB(193, 234, 224);
        if (ci->Column == 2) {
            ci->GradientStart = RGB(255, 255, 255);
            ci->GradientEnd = RGB(150, 190, 240);
        }
        if (ci->Column == 3) {
            ci->BorderColour = RGB(200, 40, 40);
            int kinds[] = {BorderLeftThick | BorderRightThick, BorderTopSolid | BorderBottomSolid,
                           BorderLeftDotted | BorderTopDotted | BorderRightDotted | BorderBottomDotted};
            ci->BorderFlags = kinds[ci->Row % 3];
        }
        if (ci->Column == 0) ci->TextColour = RGB(0, 0, 128);
        if (ci->Column == 4) ci->TextFormat = DT_RIGHT;
        return 1;
    }
    if (code == QueryCellType) {
        if (ci->Row < 0 || ci->Column <= 0 || ci->Column > 3) {
            ci->CellType = ci->Column == 0 ? ReadOnlyTextCell : TextCell;
            return 1;
        }
        int t = ci->Row % 14;
        ci->CellType = t;
        if (t == LinkCell) ci->HotTextColour = RGB(220, 0, 0);
        switch (t) {
            case CheckCell:
            case ReadOnlyCheckCell: ci->Text = "TRUE/FALSE"; break;
            case ListCell:
            case ComboCell: ci->Text = "one\ntwo\nthree"; break;
            case BitmapCell: ci->Param = reinterpret_cast<std::intptr_t>(g_bitmap); ci->MaskColour = RGB(255, 0, 255); break;
            case IconCell: ci->Param = reinterpret_cast<std::intptr_t>(g_icon); ci->ImageWidth = 16; ci->ImageHeight = 16; break;
            default: break;
        }
        return 1;
    }
    if (code == TooltipQuery && ci->Column == 0) {
        ci->Text = "Cell type\x07" "Column 1 edits this type in place: click a cell, then click it again "
                   "or press Enter to type; Tab moves on, Escape cancels.";
        return 1;
    }
    if (code == DrawCustomCell) {
        HDC screen = GetDC(nullptr);
        HDC dc = CreateCompatibleDC(screen);
        HGDIOBJ old = SelectObject(dc, reinterpret_cast<HBITMAP>(ci->Param));
        HBRUSH b = CreateSolidBrush(RGB(220, 120, 40));
        HGDIOBJ ob = SelectObject(dc, b);
        Ellipse(dc, 4, 3, ci->ImageWidth - 4, ci->ImageHeight - 3);
        SelectObject(dc, ob);
        DeleteObject(b);
        SelectObject(dc, old);
        DeleteDC(dc);
        ReleaseDC(nullptr, screen);
        return 1;
    }
    return 1;
}

std::int32_t SideHandler(GridControl*, std::int32_t code, CellInfo* ci) {
    ShowEvent("side", code, ci);
    if (code == QueryCellType && ci->Row >= 0) {
        if (ci->Column == 0) ci->CellType = EllipsisCell;
        if (ci->Column == 1) { ci->CellType = CheckCell; ci->Text = "TRUE/FALSE"; }
        if (ci->Column == 2) ci->CellType = ReadOnlyProgressCell;
    }
    if (code == QueryCellFormat && ci->Row >= 0 && ci->Column >= 0)
        ci->BackColour = ci->Row % 2 ? RGB(244, 243, 222) : RGB(193, 234, 224);
    return 1;
}

void Fill() {
    g_main->AddColumn(-1, "Type", 140);
    g_main->AddColumn(-1, "Plain", 120);
    g_main->AddColumn(-1, "Gradient", 120);
    g_main->AddColumn(-1, "Edges", 120);
    g_main->AddColumn(-1, "Block", 80);
    g_main->SetRedraw(0, 0);
    for (int r = 0; r < 14; ++r) {
        g_main->AddRow(r, "Row " + std::to_string(r + 1), r % 2 == 0 ? 1 : 0);
        g_main->SetCellText(0, r, kTypeNames[r]);
        std::string value;
        switch (r) {
            case CheckCell: value = "TRUE"; break;
            case ReadOnlyCheckCell: value = "FALSE"; break;
            case ProgressCell: value = "35"; break;
            case ReadOnlyProgressCell: value = "80"; break;
            case ButtonCell: value = "Press"; break;
            case LinkCell: value = "a link"; break;
            case ListCell: value = "two"; break;
            case ComboCell: value = "three"; break;
            case EllipsisCell: value = "more"; break;
            default: value = "Text " + std::to_string(r); break;
        }
        for (int c = 1; c <= 3; ++c) g_main->SetCellText(c, r, value);
        g_main->SetCellText(4, r, std::to_string((r + 1) * 125));
    }
    g_main->SetRowHeaderStyle(0, 1, 0, 0, -1, 0);
    g_main->SetRowHeaderStyle(2, 3, 2, 0, 0, 0);
    g_main->SetRowHeaderStyle(4, 4, 0, 0, -1, 0);
    g_main->SetRowHeaderStyle(6, 5, 0, 0, -1, 0);
    g_main->SetRedraw(1, 1);
    g_main->SetBlock(4, 2, 1, 4);

    g_side->AddColumn(-1, "Ellipsis", 110);
    g_side->AddColumn(-1, "Check", 60);
    g_side->AddColumn(-1, "Progress", 110);
    const char* progress[] = {"0", "50", "100", "150", "-5"};
    for (int r = 0; r < 5; ++r) {
        g_side->AddRow(-1, "", 1);
        g_side->SetCellText(0, r, "file" + std::to_string(r) + ".txt");
        g_side->SetCellText(1, r, r % 2 ? "FALSE" : "TRUE");
        g_side->SetCellText(2, r, progress[r]);
    }
}

LRESULT CALLBACK MainProc(HWND w, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
        case WM_SIZE:
            if (g_main) {
                int width = LOWORD(lp), height = HIWORD(lp);
                g_main->Resize(5, 5, width - 360, height - 10);
                g_side->Resize(width - 350, 5, 345, 160);
            }
            return 0;
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcA(w, msg, wp, lp);
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR cmd, int show) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = MainProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = "ZandrelGridDemo";
    RegisterClassExA(&wc);
    HWND main = CreateWindowExA(0, wc.lpszClassName, "Zandrel grid demo", WS_OVERLAPPEDWINDOW, 0, 0,
                                1180, 400, nullptr, nullptr, inst, nullptr);
    if (!main) return 1;
    g_window = main;
    g_bitmap = MakeDemoBitmap();
    g_icon = LoadIcon(nullptr, IDI_INFORMATION);
    SetGridParent(main);
    g_main = NewGrid(5, 5, 0, 0, 22, GridLines | FlatHeader | ResizableColumns | Tooltips | BuiltInIcons | BorderLine);
    g_side = NewGrid(5, 5, 0, 0, 26, GridLines | ResizableColumns | BorderClientEdge);
    if (!g_main || !g_side) return 1;
    g_main->SetEventHandler(MainHandler);
    g_side->SetEventHandler(SideHandler);
    g_main->SetAttribute(AttrGridLineColour, static_cast<int>(GetSysColor(COLOR_GRADIENTACTIVECAPTION)));
    g_main->SetRowHeaderWidth(80, 0);
    Fill();
    ShowWindow(main, show);
    RECT rc;
    GetClientRect(main, &rc);
    SendMessageA(main, WM_SIZE, 0, MAKELPARAM(rc.right, rc.bottom));
    // Sizing a grid ends its current cell, so the side grid gets one afterwards.
    g_side->SetCurrentCell(0, 1, 0, 1);
    // "--edit ROW" opens the editor of column 1 in that row, to look at an editor over its cell.
    if (const char* edit = cmd ? strstr(cmd, "--edit ") : nullptr) {
        int row = atoi(edit + 7);
        if (row >= 0 && row < g_main->RowCount()) g_main->SetCurrentCell(1, row, 1, 1);
    }
    UpdateWindow(main);
    MSG m;
    while (GetMessageA(&m, nullptr, 0, 0) > 0) {
        TranslateMessage(&m);
        DispatchMessageA(&m);
    }
    g_main->Free();
    g_side->Free();
    DeleteObject(g_bitmap);
    return 0;
}
