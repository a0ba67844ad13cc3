// Start-up, the event loop and the commands it dispatches.
#include "app/App.h"

#include <windows.h>
#include <commctrl.h>
#include <ole2.h>
#include <shlobj.h>

#include <algorithm>

#include "base/CommandLine.h"
#include "base/Path.h"
#include "grid/Grid.h"
#include "preview/HostEditor.h"
#include "preview/Preview.h"
#include "project/ProjectFile.h"
#include "project/ProjectFormat.h"
#include "readers/ImportLib.h"
#include "resources/resource.h"
#include "table/ImportOutput.h"

namespace zandrel {

namespace {

std::string Upper(std::string s) {
    for (char& c : s)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
}

// Size of a file, or -1 when nothing (or a folder) is there.
long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info)) return -1;
    if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return -1;
    return (static_cast<long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
}

std::string OwnExecutable() {
    std::string path(MAX_PATH, '\0');
    for (;;) {
        DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (n < path.size()) {
            path.resize(n);
            return path;
        }
        path.resize(path.size() * 2);
    }
}

void EnablePreviewToggle(App& app) { EnableWindow(app.controls[CtlPreviewToggle], TRUE); }

void DisableOpenProject(App& app) {
    EnableMenuItem(app.fileMenu, CmdOpenProject, MF_BYCOMMAND | MF_GRAYED);
    DrawMenuBar(app.main);
}

// Lets the window paint the new title and the emptied table before a long read.
void PaintPendingUpdates(App& app) {
    RedrawWindow(app.main, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    MSG msg;
    while (PeekMessageA(&msg, nullptr, WM_PAINT, WM_PAINT, PM_REMOVE)) DispatchMessageA(&msg);
}

// A borderless progress bar over status field 0.
void ShowLoadProgress(App& app, int count) {
    if (!app.progress) {
        RECT rc{};
        SendMessageA(app.status, SB_GETRECT, 0, reinterpret_cast<LPARAM>(&rc));
        app.progress = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, rc.left, rc.top,
                                       rc.right - rc.left, rc.bottom - rc.top, app.status, nullptr, app.instance,
                                       nullptr);
    }
    SendMessageA(app.progress, PBM_SETRANGE32, 0, count);
}

std::string SpecialFolderPath(int folder) {
    PIDLIST_ABSOLUTE list = nullptr;
    if (FAILED(SHGetSpecialFolderLocation(nullptr, folder, &list)) || !list) return {};
    char path[MAX_PATH] = {};
    std::string out;
    if (SHGetPathFromIDListA(list, path) == TRUE) out = WithTrailingSeparator(path);
    CoTaskMemFree(list);
    return out;
}

}  // namespace

App& TheApp() {
    static App app;
    return app;
}

bool StartApplication(App& app, HINSTANCE instance, Requesters* ask) {
    app.instance = instance;
    app.ask = ask;
    INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&icc);
    OleInitialize(nullptr);
    app.state = AppState{};
    app.state.LastPath = SpecialFolderPath(CSIDL_PERSONAL);
    std::string librarian = FolderPart(OwnExecutable()) + "polib.exe";
    app.state.LibrarianPath = FileSize(librarian) >= 0 ? librarian : std::string();
    for (int image : {0, 3, 2, 1, 4, 5, 6})
        app.images[image] = static_cast<HICON>(
            LoadImageA(instance, MAKEINTRESOURCEA(IDI_IMAGE0 + image), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    return CreateMainWindow(app);
}

void OpenCommandLine(App& app, const std::vector<std::string>& params) {
    if (params.empty() || params[0].empty()) return;
    const std::string& file = params[0];
    if (params.size() > 1) {
        // Stored folders end in a backslash: the requesters' proposals append the file name.
        app.state.LastPath = WithTrailingSeparator(params[1]);
        app.state.SavePath = params.size() > 2 ? WithTrailingSeparator(params[2]) : std::string();
    }
    if (FileSize(file) <= 0) return;
    DisableOpenProject(app);
    const std::string ext = Upper(ExtensionPart(file));
    if (ext == "LIB") {
        LoadImportLib(app, file);
    } else if (ext == "DLL") {
        std::string lib = BuildImportLib(app, file);
        if (!lib.empty()) LoadImportLib(app, lib, file);
    } else if (ext == "ZDX") {
        OpenProject(app, file);
    }
}

void RunEventLoop(App& app) {
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        // Shortcuts first, whichever control has the focus: Ctrl+C copies the import block even
        // inside a cell editor or the preview.
        if (app.accelerators && app.main && TranslateAcceleratorA(app.main, app.accelerators, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

void EndApplication(App& app) {
    app.counts.Cancel();  // a reading nobody will take
    if (app.grid) {
        app.grid->Free();
        app.grid = nullptr;
    }
    if (app.main) DestroyWindow(app.main);
    app.main = nullptr;
    if (app.accelerators) DestroyAcceleratorTable(app.accelerators);
    app.accelerators = nullptr;
    app.menu = nullptr;  // went with the window
    for (HBITMAP b : app.bitmaps) DeleteObject(b);
    app.bitmaps.clear();
    for (HICON& icon : app.images) {
        if (icon) DestroyIcon(icon);
        icon = nullptr;
    }
    OleUninitialize();
}

void RunCommand(App& app, int command) {
    switch (command) {
        case CmdOpenLibrary: LoadImportLib(app, ""); break;
        case CmdOpenDll: OpenDllCommand(app); break;
        case CmdOpenProject:
            if (MenuCommandEnabled(app, CmdOpenProject)) OpenProject(app, "");
            break;
        case CmdSaveImport: SaveImportCommand(app); break;
        case CmdSaveProject:
            if (app.grid && app.grid->RowCount() > 0) SaveProject(app);
            break;
        case CmdInsertImport:
            if (app.hostEditor) InsertIntoHostEditor(GenerateFromTable(app));
            break;
        case CmdCopyImport: CopyImportCommand(app); break;
        case CmdQuit: QuitSequence(app); break;
        default: break;
    }
}

void LoadImportLib(App& app, const std::string& given, const std::string& dll) {
    std::string path = given;
    if (path.empty()) {
        path = app.ask->OpenFile(app.main, "Open Lib", app.state.LastPath, "library (*.lib)|*.lib");
        if (path.empty()) {
            UpdateSelectionStatus(app);
            LayoutMainWindow(app);
            return;
        }
    }
    DisableOpenProject(app);
    app.state.LastPath = FolderPart(path);
    // The table is no longer the project's: saving it there would overwrite the project.
    app.state.ProjectFile.clear();
    app.grid->ClearRows();
    app.inferred.clear();
    SetTitle(app, kLoadingTitle);
    PaintPendingUpdates(app);
    SymbolList symbols;
    ReadLibFile(path, symbols);
    if (dll.empty()) app.counts.Cancel();
    const librarian::InferredCounts counts = dll.empty() ? librarian::InferredCounts{} : app.counts.Take(dll);
    app.grid->SetRedraw(0, 0);
    const int count = static_cast<int>(symbols.size());
    if (count > 0) ShowLoadProgress(app, count);
    // The bar is moved only when that changes what it shows, and at most every 20 ms (fifty
    // times a second, more than the eye follows): each move repaints it at once, which costs
    // as much as adding some sixty rows. The last row always moves it.
    RECT bar{};
    if (app.progress) GetClientRect(app.progress, &bar);
    const long long barWidth = bar.right > 0 ? bar.right : 1;
    long long shown = -1;
    ULONGLONG moved = 0;
    for (int r = 0; r < count; ++r) {
        const long long filled = (r + 1) * barWidth / count;
        if (r + 1 == count || (filled != shown && GetTickCount64() - moved >= 20)) {
            SendMessageA(app.progress, PBM_SETPOS, static_cast<WPARAM>(r + 1), 0);
            shown = filled;
            moved = GetTickCount64();
        }
        app.grid->AddRow(r, "", 0);
        const SymbolEntry& symbol = symbols[static_cast<std::size_t>(r)];
        FunctionRow cells = DefaultRowCells(symbol);
        if (const librarian::InferredCount* inferred = librarian::InferredCountFor(counts, symbol.Name, symbol.ParamCount)) {
            cells[ColParameter] = std::to_string(inferred->Count);
            app.inferred.resize(static_cast<std::size_t>(r) + 1);
            app.inferred[static_cast<std::size_t>(r)] = {inferred->Sure, cells[ColParameter]};
        }
        for (int c = 0; c < ColComment; ++c) app.grid->SetCellText(c, r, cells[static_cast<std::size_t>(c)]);
    }
    app.state.LibName = FilePart(path);
    SetTitle(app, LoadedTitle(app.state.LibName, count));
    app.grid->SetRedraw(1, 1);
    EnablePreviewToggle(app);
    UpdateSelectionStatus(app);
    LayoutMainWindow(app);
}

void OpenProject(App& app, const std::string& given) {
    std::string path = given;
    if (path.empty()) {
        const std::string& folder = app.state.SavePath.empty() ? app.state.LastPath : app.state.SavePath;
        path = app.ask->OpenFile(app.main, "Zandrel - Open Project", folder, "Zandrel-Project (*.zdx)|*.zdx");
        if (path.empty()) return;
    }
    DisableOpenProject(app);
    std::string text;
    if (!ReadProjectFile(path, text)) return;
    // Only a file read as a project becomes the project: a later silent save would replace
    // anything else.
    if (!IsProjectText(text)) return;
    ProjectData data = ReadProjectText(text, &Utf16ToAnsi);
    app.inferred.clear();  // a project's counts are the user's
    app.state.ProjectFile = path;
    app.state.LibName = data.Settings.LibName;
    app.state.LastPath = data.Settings.LastPath;
    app.state.SavePath = data.Settings.SavePath;
    HWND list = app.controls[CtlConvention];
    SendMessageA(list, CB_SETCURSEL, static_cast<WPARAM>(data.Settings.CallingConvention), 0);
    SendMessageA(app.controls[CtlAliasCheck], BM_SETCHECK, data.Settings.Alias ? BST_CHECKED : BST_UNCHECKED, 0);
    app.grid->SetRedraw(0, 0);
    const int base = app.grid->RowCount();
    for (std::size_t i = 0; i < data.Rows.size(); ++i) {
        const int row = base + static_cast<int>(i);
        app.grid->AddRow(row, "", 0);
        for (int c = 0; c < ColumnCount; ++c) app.grid->SetCellText(c, row, data.Rows[i][static_cast<std::size_t>(c)]);
    }
    app.grid->SetRedraw(1, 1);
    SetTitle(app, LoadedTitle(app.state.LibName, static_cast<int>(data.Rows.size())));
    EnablePreviewToggle(app);
    UpdateSelectionStatus(app);
}

void SaveProject(App& app) {
    if (app.state.ProjectFile.empty()) {
        const std::string& folder = app.state.SavePath.empty() ? app.state.LastPath : app.state.SavePath;
        std::string path = app.ask->SaveFile(app.main, "Zandrel - Save Project",
                                             folder + ProposedProjectName(app.state.LibName),
                                             "Zandrel-Project (*.zdx)|*.zdx");
        if (path.empty()) return;
        app.state.ProjectFile = path;
    }
    ProjectSettings s;
    s.LibName = app.state.LibName;
    s.LastPath = app.state.LastPath;
    s.SavePath = app.state.SavePath;
    LRESULT index = SendMessageA(app.controls[CtlConvention], CB_GETCURSEL, 0, 0);
    s.CallingConvention = index == CB_ERR ? -1 : index;
    s.Alias = SendMessageA(app.controls[CtlAliasCheck], BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
    WriteProjectFile(app.state.ProjectFile, WriteProjectText(s, GridTable(app.grid)));
}

void SaveImportCommand(App& app) {
    SavePaths paths{app.state.LibName, app.state.LastPath, app.state.SavePath};
    SaveImport(app.main, *app.ask, paths, [&app] { return GenerateFromTable(app); });
    app.state.SavePath = paths.SavePath;
}

void CopyImportCommand(App& app) { CopyImport(GenerateFromTable(app)); }

void RefreshPreviewPane(App& app) {
    if (app.preview) RefreshPreview(GenerateFromTable(app));
}

void QuitSequence(App& app) {
    if (app.quitting) return;
    app.quitting = true;
    if (app.grid && app.grid->RowCount() > 0 && !app.state.ProjectFile.empty()) SaveProject(app);
    if (app.grid) {
        app.grid->Free();
        app.grid = nullptr;
    }
    PostQuitMessage(0);
}

void HandleDrop(App& app, const std::string& fileList) {
    const std::string file = fileList.substr(0, fileList.find('\n'));
    const std::string ext = Upper(ExtensionPart(file));
    const bool filled = app.grid && app.grid->RowCount() > 0;
    if (ext == "ZDX") {
        if (filled) OpenInNewInstance(app, file);
        else OpenProject(app, file);
    } else if (ext == "LIB") {
        if (filled) OpenInNewInstance(app, file);
        else LoadImportLib(app, file);
    } else if (ext == "DLL") {
        if (app.state.LibrarianPath.empty()) return;
        if (filled) {
            OpenInNewInstance(app, file);
        } else {
            std::string lib = BuildImportLib(app, file);
            if (!lib.empty()) LoadImportLib(app, lib, file);
        }
    }
}

bool OpenInNewInstance(App& app, const std::string& file) {
    const std::string exe = app.programPath.empty() ? OwnExecutable() : app.programPath;
    // Each path quoted so that it arrives as it is, trailing backslashes and blanks included.
    std::string line = QuoteArgument(exe) + " " + JoinCommandLine({file, app.state.LastPath, app.state.SavePath});
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // A folder that no longer exists would stop the start altogether; then the new instance
    // simply inherits ours.
    DWORD attributes = GetFileAttributesA(app.state.LastPath.c_str());
    const bool usable = !app.state.LastPath.empty() && attributes != INVALID_FILE_ATTRIBUTES &&
                        (attributes & FILE_ATTRIBUTE_DIRECTORY);
    const char* folder = usable ? app.state.LastPath.c_str() : nullptr;
    if (!CreateProcessA(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

}  // namespace zandrel
