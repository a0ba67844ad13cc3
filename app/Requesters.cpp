#include "app/Requesters.h"

#include <commdlg.h>
#include <shlobj.h>

#include <vector>

#include "base/Path.h"

namespace zandrel {

std::string DialogFilter(const std::string& pattern) {
    std::string out = pattern;
    for (char& c : out)
        if (c == '|') c = '\0';
    out += '\0';
    out += '\0';
    return out;
}

namespace {

class SystemRequestersImpl : public Requesters {
public:
    std::string OpenFile(HWND owner, const std::string& title, const std::string& initial,
                         const std::string& pattern) override {
        return FileDialog(owner, title, initial, pattern, false);
    }
    std::string SaveFile(HWND owner, const std::string& title, const std::string& initial,
                         const std::string& pattern) override {
        return FileDialog(owner, title, initial, pattern, true);
    }

    std::string Folder(HWND owner, const std::string& text, const std::string& initial) override {
        BROWSEINFOA bi{};
        bi.hwndOwner = owner;
        bi.lpszTitle = text.c_str();
        bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
        bi.lpfn = &StartAt;
        // Stored folders end in a backslash; Wine's dialog finds no folder of that name and
        // starts on the desktop. A drive's root keeps its backslash.
        std::string start = initial;
        while (start.size() > 3 && (start.back() == '\\' || start.back() == '/')) start.pop_back();
        bi.lParam = reinterpret_cast<LPARAM>(start.c_str());
        PIDLIST_ABSOLUTE list = SHBrowseForFolderA(&bi);
        if (!list) return {};
        char path[MAX_PATH] = {};
        BOOL ok = SHGetPathFromIDListA(list, path);
        CoTaskMemFree(list);
        if (!ok || !path[0]) return {};
        return WithTrailingSeparator(path);
    }

    void Error(HWND owner, const std::string& title, const std::string& text) override {
        MessageBoxA(owner, text.c_str(), title.c_str(), MB_OK | MB_ICONERROR);
    }

private:
    static int CALLBACK StartAt(HWND window, UINT message, LPARAM, LPARAM data) {
        const char* folder = reinterpret_cast<const char*>(data);
        if (message == BFFM_INITIALIZED && folder && *folder) {
            SendMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
            // Wine's dialog now and then has not filled its tree yet and stays on the desktop;
            // asked again once its message loop runs, it finds the folder. `data` lives until
            // the dialog has closed.
            PostMessageA(window, BFFM_SETSELECTIONA, TRUE, data);
        }
        return 0;
    }

    static std::string FileDialog(HWND owner, const std::string& title, const std::string& initial,
                                  const std::string& pattern, bool save) {
        std::string filter = DialogFilter(pattern);
        std::string folder = FolderPart(initial);
        std::vector<char> file(32768, '\0');
        std::string name = FilePart(initial);
        name.copy(file.data(), std::min(name.size(), file.size() - 1));
        OPENFILENAMEA ofn{};
        ofn.lStructSize = sizeof ofn;
        ofn.hwndOwner = owner;
        ofn.lpstrFilter = filter.c_str();
        ofn.nFilterIndex = 1;
        ofn.lpstrFile = file.data();
        ofn.nMaxFile = static_cast<DWORD>(file.size());
        ofn.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
        ofn.lpstrTitle = title.c_str();
        // Any name in an existing folder; no default extension, no question before replacing.
        ofn.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
        BOOL ok = save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn);
        return ok ? std::string(file.data()) : std::string();
    }
};

}  // namespace

std::unique_ptr<Requesters> SystemRequesters() { return std::make_unique<SystemRequestersImpl>(); }

}  // namespace zandrel
