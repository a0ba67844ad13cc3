// The main window: frame, File menu and shortcuts, status bar, grid, preview and the row of
// controls along the bottom, and their layout.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <map>

#include "app/App.h"
#include "base/Version.h"
#include "grid/Grid.h"
#include "preview/HostEditor.h"
#include "preview/Preview.h"

namespace zandrel {

namespace {

constexpr char kMainClass[] = "ZandrelMainWindow";
constexpr int kStatusId = 100;
constexpr int kStatusField0Width = 200;
constexpr int kClientWidth = 800, kClientHeight = 400;
constexpr int kMinClientWidth = 640, kMinClientHeight = 200;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;  // children left out of the erase
constexpr char kAbout[] = "Zandrel " ZANDREL_VERSION " - (c) 2026 ";

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// H of the layout rules: client height plus one menu bar.
int LayoutHeight(App& app) {
    RECT rc{};
    GetClientRect(app.main, &rc);
    return rc.bottom + GetSystemMetrics(SM_CYMENU);
}

// A menu picture: the icon drawn on the menu's background colour.
HBITMAP MenuBitmap(App& app, HICON icon) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, 16, 16);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT rc{0, 0, 16, 16};
    FillRect(dc, &rc, GetSysColorBrush(COLOR_MENU));
    DrawIconEx(dc, 0, 0, icon, 16, 16, 0, nullptr, DI_NORMAL);
    SelectObject(dc, old);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    app.bitmaps.push_back(bmp);
    return bmp;
}

void AddMenuItem(App& app, int command, const char* text, int image) {
    MENUITEMINFOA mi{};
    mi.cbSize = sizeof mi;
    mi.fMask = MIIM_ID | MIIM_STRING | MIIM_BITMAP;
    mi.wID = static_cast<UINT>(command);
    mi.dwTypeData = const_cast<char*>(text);
    mi.hbmpItem = MenuBitmap(app, app.images[image]);
    InsertMenuItemA(app.fileMenu, GetMenuItemCount(app.fileMenu), TRUE, &mi);
}

void AddTooltip(App& app, HWND control, const char* text) {
    TOOLINFOA ti{};
    ti.cbSize = sizeof ti;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = app.main;
    ti.uId = reinterpret_cast<UINT_PTR>(control);
    ti.lpszText = const_cast<char*>(text);
    SendMessageA(app.tooltip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
}

// The grid's container and list hand dropped files to the main window. Subclassed by hand, not
// with SetWindowSubclass: that keeps its chain in a window property, which Wine reads from its
// server on every message, and the list gets several messages per cell while a library loads.
std::map<HWND, WNDPROC>& DropForwarded() {
    static std::map<HWND, WNDPROC> previous;
    return previous;
}

LRESULT CALLBACK DropForwarder(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto& forwarded = DropForwarded();
    auto it = forwarded.find(window);
    if (it == forwarded.end()) return DefWindowProcA(window, message, wParam, lParam);
    const WNDPROC previous = it->second;
    if (message == WM_DROPFILES) {
        HDROP drop = reinterpret_cast<HDROP>(wParam);
        std::string list;
        UINT count = DragQueryFileA(drop, 0xFFFFFFFF, nullptr, 0);
        for (UINT i = 0; i < count; ++i) {
            UINT len = DragQueryFileA(drop, i, nullptr, 0);
            std::string name(len + 1, '\0');
            DragQueryFileA(drop, i, name.data(), len + 1);
            name.resize(len);
            list += name + "\n";
        }
        DragFinish(drop);
        HandleDrop(TheApp(), list);
        return 0;
    }
    if (message == WM_NCDESTROY) forwarded.erase(it);
    return CallWindowProcA(previous, window, message, wParam, lParam);
}

void ForwardDrops(HWND window) {
    DragAcceptFiles(window, TRUE);
    DropForwarded()[window] = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&DropForwarder)));
}

}  // namespace

std::string LoadedTitle(const std::string& libName, int rows) {
    return "Zandrel 2013  - " + libName + "  (" + std::to_string(rows) + " Functions)";
}

void SetTitle(App& app, const std::string& title) { SetWindowTextA(app.main, title.c_str()); }

void SetStatusText(App& app, int field, const std::string& text, StatusAlign align) {
    std::string shown = (align == StatusAlign::Centre ? "\t" : align == StatusAlign::Right ? "\t\t" : "") + text;
    SendMessageA(app.status, SB_SETTEXTA, static_cast<WPARAM>(field), reinterpret_cast<LPARAM>(shown.c_str()));
}

std::string StatusText(App& app, int field) {
    LRESULT len = LOWORD(SendMessageA(app.status, SB_GETTEXTLENGTHA, static_cast<WPARAM>(field), 0));
    std::string text(static_cast<std::size_t>(len) + 1, '\0');
    SendMessageA(app.status, SB_GETTEXTA, static_cast<WPARAM>(field), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(len));
    while (!text.empty() && text[0] == '\t') text.erase(0, 1);
    return text;
}

HWND MakeIconTextButton(App& app, int id, int x, int y, int width, int height, const std::string& caption,
                        HICON image, int imageWidth, int imageHeight) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP picture = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ oldBitmap = SelectObject(dc, picture);
    RECT rc{0, 0, width, height};
    FillRect(dc, &rc, GetSysColorBrush(COLOR_BTNFACE));
    DrawIconEx(dc, 5, (height - imageHeight) / 2, image, imageWidth, imageHeight, 0, nullptr, DI_NORMAL);
    HGDIOBJ oldFont = SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
    SIZE extent{};
    GetTextExtentPoint32A(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
    SetTextColor(dc, RGB(0, 0, 0));
    TextOutA(dc, imageWidth + 10, (height - extent.cy) / 2, caption.c_str(), static_cast<int>(caption.size()));
    SelectObject(dc, oldFont);
    SelectObject(dc, oldBitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    app.bitmaps.push_back(picture);
    HWND button = CreateWindowExA(0, "BUTTON", caption.c_str(), WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_BITMAP,
                                  x, y, width, height, app.main, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                  app.instance, nullptr);
    SendMessageA(button, BM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture));
    return button;
}

bool CreateMainWindow(App& app) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    if (!GetClassInfoExA(app.instance, kMainClass, &wc)) {
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = MainProc;
        wc.hInstance = app.instance;
        wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
        wc.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
        wc.hIcon = LoadIconA(app.instance, MAKEINTRESOURCEA(1));
        wc.lpszClassName = kMainClass;
        if (!RegisterClassExA(&wc)) return false;
    }
    RECT rc{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&rc, kStyle, TRUE, 0);
    app.main = CreateWindowExA(0, kMainClass, kTitle, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, rc.right - rc.left,
                               rc.bottom - rc.top, nullptr, nullptr, app.instance, nullptr);
    if (!app.main) return false;
    app.hostEditor = HostEditorHandle() != nullptr;
    const bool librarian = !app.state.LibrarianPath.empty();

    // Menu and shortcuts.
    app.menu = CreateMenu();
    app.fileMenu = CreatePopupMenu();
    AddMenuItem(app, CmdOpenLibrary, "Open Library\tCtrl+O", 3);
    if (librarian) AddMenuItem(app, CmdOpenDll, "Open DLL\tCtrl+D", 5);
    AddMenuItem(app, CmdOpenProject, "Open Project", 6);
    AppendMenuA(app.fileMenu, MF_SEPARATOR, 0, nullptr);
    AddMenuItem(app, CmdSaveImport, "Save Import\tCtrl+S", 2);
    AddMenuItem(app, CmdSaveProject, "Save Project", 6);
    if (app.hostEditor) AddMenuItem(app, CmdInsertImport, "Insert Import\tCtrl+I", 0);
    AddMenuItem(app, CmdCopyImport, "Copy Import\tCtrl+C", 4);
    AppendMenuA(app.fileMenu, MF_SEPARATOR, 0, nullptr);
    AddMenuItem(app, CmdQuit, "Quit\tAlt+F4", 1);
    AppendMenuA(app.menu, MF_POPUP, reinterpret_cast<UINT_PTR>(app.fileMenu), "&File");
    SetMenu(app.main, app.menu);
    std::vector<ACCEL> keys = {{FCONTROL | FVIRTKEY, 'O', CmdOpenLibrary},
                               {FCONTROL | FVIRTKEY, 'S', CmdSaveImport},
                               {FCONTROL | FVIRTKEY, 'C', CmdCopyImport}};
    if (librarian) keys.push_back({FCONTROL | FVIRTKEY, 'D', CmdOpenDll});
    if (app.hostEditor) keys.push_back({FCONTROL | FVIRTKEY, 'I', CmdInsertImport});
    app.accelerators = CreateAcceleratorTableA(keys.data(), static_cast<int>(keys.size()));

    // Status bar: field 0 of 200 pixels, field 1 the rest with the about text (up to the size
    // grip, once laid out).
    app.status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                                 app.main, reinterpret_cast<HMENU>(static_cast<INT_PTR>(kStatusId)), app.instance, nullptr);
    int parts[2] = {kStatusField0Width, -1};
    SendMessageA(app.status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    SetStatusText(app, 1, kAbout, StatusAlign::Right);

    // The grid of the function table.
    app.grid = NewGrid(app.main, 5, 5, 0, 0, 20, 0x20045 | Tooltips);
    if (!app.grid) return false;
    app.grid->SetAttribute(AttrFocusWidth, 1);
    app.grid->SetAttribute(AttrGridLineColour, static_cast<int>(GetSysColor(COLOR_GRADIENTACTIVECAPTION)));
    app.grid->SetHeaderHeight(20);
    AddFunctionColumns(app.grid);
    HWND gridWindow = app.grid->GetWindow();
    ForwardDrops(gridWindow);
    // The list inside the container receives drops as well.
    for (HWND child = GetWindow(gridWindow, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
        ForwardDrops(child);

    // The preview in the same place, hidden.
    app.preview = CreatePreview(app.main);

    // The bottom row.
    const int h = LayoutHeight(app);
    app.guiFont = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    HWND list = CreateWindowExA(0, WC_COMBOBOXA, "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWNLIST,
                                5, h - 68, 80, 150, app.main,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(CtlConvention)), app.instance, nullptr);
    SendMessageA(list, WM_SETFONT, reinterpret_cast<WPARAM>(app.guiFont), FALSE);
    for (const char* item : {"STDCALL", "CDECL", "FASTCALL"})
        SendMessageA(list, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(item));
    SendMessageA(list, CB_SETCURSEL, 0, 0);
    // The closed list stands 22 pixels high.
    // Steered by the height seen, since some combo boxes report another item height than set.
    LRESULT item = SendMessageA(list, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int tries = 0; tries < 4; ++tries) {
        RECT lr{};
        GetWindowRect(list, &lr);
        const int off = 22 - (lr.bottom - lr.top);
        if (off == 0) break;
        item += off;
        SendMessageA(list, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), item);
    }

    app.tooltip = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, app.main, nullptr, app.instance, nullptr);
    app.controls[CtlConvention] = list;
    app.controls[CtlPreview] = app.preview;
    HWND insert = MakeIconTextButton(app, CtlInsertButton, 90, h - 73, 100, 25, "Insert Import", app.images[0], 16, 16);
    HWND copy = MakeIconTextButton(app, CtlCopyButton, 195, h - 73, 100, 25, "Copy Import", app.images[4], 16, 16);
    HWND save = MakeIconTextButton(app, CtlSaveButton, 300, h - 73, 100, 25, "Save Import", app.images[2], 16, 16);
    AddTooltip(app, insert, "Inserts the Import-Template to the PB-IDE");
    AddTooltip(app, copy, "Inserts the Import-Template to the Clipboard");
    AddTooltip(app, save, "Save the Import-Template to Include-File");
    app.controls[CtlInsertButton] = insert;
    app.controls[CtlCopyButton] = copy;
    app.controls[CtlSaveButton] = save;
    if (!app.hostEditor) ShowWindow(insert, SW_HIDE);

    HWND alias = CreateWindowExA(0, "BUTTON", "Importsource without Alias", WS_CHILD | WS_VISIBLE | WS_TABSTOP |
                                 BS_AUTOCHECKBOX, 405, h - 73, 142, 25, app.main,
                                 reinterpret_cast<HMENU>(static_cast<INT_PTR>(CtlAliasCheck)), app.instance, nullptr);
    app.controls[CtlAliasCheck] = alias;
    SendMessageA(alias, WM_SETFONT, reinterpret_cast<WPARAM>(app.guiFont), FALSE);
    HWND toggle = CreateWindowExA(0, "BUTTON", "Preview", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX |
                                  BS_PUSHLIKE, 552, h - 73, 80, 25, app.main,
                                  reinterpret_cast<HMENU>(static_cast<INT_PTR>(CtlPreviewToggle)), app.instance, nullptr);
    app.controls[CtlPreviewToggle] = toggle;
    SendMessageA(toggle, WM_SETFONT, reinterpret_cast<WPARAM>(app.guiFont), FALSE);
    EnableWindow(toggle, FALSE);

    LayoutMainWindow(app);
    ShowWindow(app.main, SW_SHOWNORMAL);
    UpdateWindow(app.main);
    return true;
}

void LayoutMainWindow(App& app) {
    if (!app.main) return;
    RECT rc{};
    GetClientRect(app.main, &rc);
    SendMessageA(app.status, WM_SIZE, 0, 0);
    // Field 1 ends where the size grip begins: the grip is drawn over the field's right end,
    // where the right-aligned about text would run under it.
    int parts[2] = {kStatusField0Width, std::max(kStatusField0Width, static_cast<int>(rc.right) -
                                                                         GetSystemMetrics(SM_CXVSCROLL))};
    SendMessageA(app.status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
    RECT sr{};
    GetWindowRect(app.status, &sr);
    const int statusHeight = sr.bottom - sr.top;
    const int w = rc.right;
    const int h = LayoutHeight(app);
    const int menuHeight = GetSystemMetrics(SM_CYMENU);
    const int height = h - statusHeight - menuHeight - 40;
    if (app.grid) app.grid->Resize(5, 5, w - 10, height);
    if (app.preview) MoveWindow(app.preview, 5, 5, w - 10, height, TRUE);
    auto moveY = [&](int id, int y) {
        HWND c = app.controls[id];
        if (!c) return;
        RECT r{};
        GetWindowRect(c, &r);
        MapWindowPoints(nullptr, app.main, reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(c, nullptr, r.left, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    };
    moveY(CtlConvention, h - 72);
    for (int id = CtlInsertButton; id <= CtlPreviewToggle; ++id) moveY(id, h - 73);
    RedrawWindow(app.controls[CtlAliasCheck], nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE);
}

bool MenuHasCommand(App& app, int command) {
    return GetMenuState(app.fileMenu, static_cast<UINT>(command), MF_BYCOMMAND) != static_cast<UINT>(-1);
}

bool MenuCommandEnabled(App& app, int command) {
    UINT state = GetMenuState(app.fileMenu, static_cast<UINT>(command), MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && !(state & (MF_DISABLED | MF_GRAYED));
}

namespace {

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    App& app = TheApp();
    switch (message) {
        case WM_GETMINMAXINFO: {
            RECT rc{0, 0, kMinClientWidth, kMinClientHeight};
            AdjustWindowRectEx(&rc, kStyle, TRUE, 0);
            auto* mm = reinterpret_cast<MINMAXINFO*>(lParam);
            mm->ptMinTrackSize.x = rc.right - rc.left;
            mm->ptMinTrackSize.y = rc.bottom - rc.top;
            return 0;
        }
        case WM_SIZE:
            if (app.main == window) LayoutMainWindow(app);
            return 0;
        case WM_COMMAND: {
            if (lParam == 0) {  // menu (0) or shortcut (1)
                RunCommand(app, LOWORD(wParam));
                return 0;
            }
            const int notification = HIWORD(wParam);
            // By window, not by number: the grid and the list are both child 0.
            int control = -1;
            for (int i = 0; i < 7; ++i)
                if (app.controls[i] == reinterpret_cast<HWND>(lParam)) control = i;
            switch (control) {
                case CtlInsertButton: RunCommand(app, CmdInsertImport); break;
                case CtlCopyButton: RunCommand(app, CmdCopyImport); break;
                case CtlSaveButton: RunCommand(app, CmdSaveImport); break;
                case CtlConvention:
                    if (notification == CBN_SELCHANGE || notification == CBN_CLOSEUP) RefreshPreviewPane(app);
                    break;
                case CtlAliasCheck:
                    if (notification == BN_CLICKED) RefreshPreviewPane(app);
                    break;
                case CtlPreviewToggle:
                    if (notification == BN_CLICKED) {
                        if (SendMessageA(app.controls[CtlPreviewToggle], BM_GETCHECK, 0, 0) == BST_CHECKED) {
                            if (app.grid) app.grid->Hide(1);
                            ShowWindow(app.preview, SW_SHOW);
                            RefreshPreviewPane(app);
                        } else {
                            ShowWindow(app.preview, SW_HIDE);
                            if (app.grid) app.grid->Hide(0);
                        }
                    }
                    break;
            }
            return 0;
        }
        case kCountSelectionMessage:
            app.countRequested = false;
            if (!app.progress) UpdateSelectionStatus(app);  // a load ends with its own count
            return 0;
        case WM_CLOSE:
            QuitSequence(app);
            return 0;
        case WM_DESTROY:
            return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

}  // namespace zandrel
