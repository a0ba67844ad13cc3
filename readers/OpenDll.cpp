// Opening a DLL: the librarian builds its import library, which is then opened like any other.
#include "app/App.h"
#include "base/Path.h"
#include "readers/DllMachine.h"

namespace zandrel {

namespace {

struct FileStamp {
    bool exists = false;
    unsigned long long size = 0;
    FILETIME written{};
};

FileStamp Stamp(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA info{};
    FileStamp s;
    if (GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &info) &&
        !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        s.exists = true;
        s.size = (static_cast<unsigned long long>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
        s.written = info.ftLastWriteTime;
    }
    return s;
}

}  // namespace

std::string ImportLibName(const std::string& dll) {
    std::string name = FilePart(dll);
    // Exactly three characters go, whatever the extension: name.ax gives namelib.
    return (name.size() >= 3 ? name.substr(0, name.size() - 3) : std::string()) + "lib";
}

std::string LibrarianParameters(const std::string& dll, bool x64, const std::string& libFile) {
    return "\"" + dll + "\"" + (x64 ? " /MACHINE:X64 /NOUND /OUT:" : " /MACHINE:X86 /NOUND /OUT:") + libFile;
}

std::string BuildImportLib(App& app, const std::string& dll) {
    // Read while the user chooses a folder and the librarian runs; given up when no library
    // comes of it.
    if (!app.state.LibrarianPath.empty()) app.counts.Start(dll);
    std::string lib = RunLibrarian(app, dll);
    if (lib.empty()) app.counts.Cancel();
    return lib;
}

std::string RunLibrarian(App& app, const std::string& dll) {
    SetForegroundWindow(app.main);
    std::string folder = app.ask->Folder(app.main, "Select the Path to save the ImportLib", app.state.LastPath);
    if (folder.empty()) return {};
    folder = WithTrailingSeparator(folder);
    const std::string libFile = ImportLibName(dll);
    const std::string lib = folder + libFile;
    const DllMachine machine = DetectDllMachine(dll);
    if (machine != X86 && machine != X64) {
        app.ask->Error(app.main, "Error", "corrupt DLL");
        return {};  // a library left from an earlier build is no success of this one
    }
    if (app.state.LibrarianPath.empty()) return {};
    std::string line = "\"" + app.state.LibrarianPath + "\" " + LibrarianParameters(dll, machine == X64, libFile);
    const FileStamp before = Stamp(lib);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessA(app.state.LibrarianPath.c_str(), line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                        nullptr, folder.c_str(), &si, &pi))
        return {};
    CloseHandle(pi.hThread);
    WaitForSingleObject(pi.hProcess, INFINITE);
    CloseHandle(pi.hProcess);
    const FileStamp after = Stamp(lib);
    const bool written = after.exists && after.size > 0 &&
                         (!before.exists || before.size != after.size ||
                          CompareFileTime(&before.written, &after.written) != 0);
    if (!written) return {};
    app.state.LastPath = FolderPart(lib);
    return lib;
}

void OpenDllCommand(App& app) {
    if (app.state.LibrarianPath.empty()) return;
    std::string dll = app.ask->OpenFile(app.main, "Open DLL", app.state.LastPath, "DLL (*.dll)|*.dll");
    if (dll.empty()) return;
    std::string lib = BuildImportLib(app, dll);
    if (!lib.empty()) LoadImportLib(app, lib, dll);
}

librarian::InferredCounts DllParameterCounts(const std::string& dll, const std::atomic<bool>* stop) {
    const DllMachine machine = DetectDllMachine(dll);
    if (machine != X86 && machine != X64) return {};
    // Forwarders name DLLs that stand beside this one or in the system's folder; a 32-bit DLL's
    // system DLLs are in the WOW64 folder when there is one.
    std::vector<std::string> folders = {FolderPart(dll)};
    char system[MAX_PATH] = {};
    UINT n = machine == X86 ? GetSystemWow64DirectoryA(system, MAX_PATH) : 0;
    if (n > 0 && n < MAX_PATH) folders.push_back(system);
    n = GetSystemDirectoryA(system, MAX_PATH);
    if (n > 0 && n < MAX_PATH) folders.push_back(system);
    librarian::InferredCounts counts;
    std::string error;
    // A DLL whose code cannot be read still lists its functions, with the library's counts.
    librarian::InferLimits limits;
    limits.Stop = stop;
    librarian::InferDllCounts(
        dll, librarian::FolderImageLoader(folders, machine == X64 ? librarian::Machine::X64 : librarian::Machine::X86),
        counts, error, limits);
    return counts;
}

void BackgroundCounts::Start(const std::string& dll) {
    Cancel();
    dll_ = dll;
    stop_ = std::make_shared<std::atomic<bool>>(false);
    // The thread holds its own copies: it may outlive this object's interest in it.
    result_ = std::async(std::launch::async, [dll, stop = stop_] { return DllParameterCounts(dll, stop.get()); });
}

librarian::InferredCounts BackgroundCounts::Take(const std::string& dll) {
    if (result_.valid() && dll == dll_) {
        librarian::InferredCounts counts = result_.get();
        stop_.reset();
        dll_.clear();
        return counts;
    }
    Cancel();
    return DllParameterCounts(dll);
}

void BackgroundCounts::Cancel() {
    if (stop_) stop_->store(true);
    if (result_.valid()) result_.wait();
    result_ = {};
    stop_.reset();
    dll_.clear();
}

}  // namespace zandrel
