// The application: its state, its main window and the commands the event loop dispatches.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "app/Requesters.h"
#include "librarian/InferredCounts.h"
#include "table/FunctionTable.h"

namespace zandrel {

class GridControl;

// Menu command numbers; keyboard shortcuts deliver the same numbers.
enum MenuCommand : int {
    CmdOpenLibrary = 0,
    CmdOpenDll = 1,
    CmdOpenProject = 2,
    CmdSaveImport = 3,
    CmdSaveProject = 4,
    CmdInsertImport = 5,
    CmdCopyImport = 6,
    CmdQuit = 7,
};

// Controls of the main window.
enum MainControl : int {
    CtlConvention = 0,
    CtlInsertButton = 1,
    CtlCopyButton = 2,
    CtlSaveButton = 3,
    CtlAliasCheck = 4,
    CtlPreviewToggle = 5,
    CtlPreview = 6,
};

inline constexpr const char* kTitle = "Zandrel 2013";
inline constexpr const char* kLoadingTitle = "Zandrel 2013 - Loading, please wait!";

struct AppState {
    std::string LastPath;       // folder for opening files, with a trailing backslash
    std::string SavePath;       // folder for saved source, with a trailing backslash, or empty
    std::string LibName;        // file name of the loaded library
    std::string ProjectFile;    // full path of the current project file, or empty
    std::string LibrarianPath;  // full path of polib.exe, or empty
    bool HeaderToggleState = false;
};

// A "Parameter" cell whose number came from the DLL's code, not from the library's names. It
// holds while the cell still shows that number and the user has not edited it.
struct InferredMark {
    librarian::Certainty Sure = librarian::Certainty::Unknown;  // Unknown: no mark
    std::string Text;  // the number as filled in
};

// The counts a DLL's code gives, read in another thread from the moment the DLL is chosen, so
// that the reading goes on while the user picks the library's folder and the librarian runs
// (which itself reads the code only for the names it decorates).
class BackgroundCounts {
public:
    BackgroundCounts() = default;
    BackgroundCounts(BackgroundCounts&&) = default;
    BackgroundCounts& operator=(BackgroundCounts&& other) noexcept {
        Cancel();
        dll_ = std::move(other.dll_);
        stop_ = std::move(other.stop_);
        result_ = std::move(other.result_);
        return *this;
    }
    ~BackgroundCounts() { Cancel(); }
    // Starts reading `dll`; a reading under way for another file is given up.
    void Start(const std::string& dll);
    // The counts of `dll`: those read in the background when it was started for this file,
    // otherwise read now.
    librarian::InferredCounts Take(const std::string& dll);
    // Gives up the reading under way, if any, and waits the moment it takes to end.
    void Cancel();
    bool Running() const { return result_.valid(); }

private:
    std::string dll_;
    std::shared_ptr<std::atomic<bool>> stop_;
    std::future<librarian::InferredCounts> result_;
};

struct App {
    AppState state;
    BackgroundCounts counts;  // of the DLL being opened
    std::vector<InferredMark> inferred;  // by row; shorter than the table where rows have none
    HINSTANCE instance = nullptr;
    HWND main = nullptr;
    HWND status = nullptr;
    HWND progress = nullptr;  // in status field 0 while a library loads
    HWND preview = nullptr;
    HWND controls[7] = {};  // by MainControl number; the grid and status bar also have id 0
    HWND tooltip = nullptr;
    HMENU menu = nullptr;
    HMENU fileMenu = nullptr;
    HACCEL accelerators = nullptr;
    GridControl* grid = nullptr;
    HICON images[7] = {};
    std::vector<HBITMAP> bitmaps;  // menu and button pictures, released at the end
    HFONT guiFont = nullptr;
    Requesters* ask = nullptr;
    std::string programPath;  // started again for files dropped on a filled table; "" = this one
    bool hostEditor = false;  // started from the host IDE: Insert Import exists
    bool countRequested = false;  // kCountSelectionMessage is on its way
    bool quitting = false;
};

// The one application of the process (the grid's event handler is a plain function).
App& TheApp();

// Start-up up to the event loop: common controls, state, images, main window. `ask` answers the
// requesters (the system dialogs in the program, a script in tests).
bool StartApplication(App& app, HINSTANCE instance, Requesters* ask);
// Opens what the command line names (parameters 1 to 3, the program name excluded).
void OpenCommandLine(App& app, const std::vector<std::string>& params);
// Waits for and dispatches events until the user quits.
void RunEventLoop(App& app);
// Releases windows, images and other resources.
void EndApplication(App& app);

// Main window (built once) and its layout.
bool CreateMainWindow(App& app);
void LayoutMainWindow(App& app);
HWND MakeIconTextButton(App& app, int id, int x, int y, int width, int height, const std::string& caption,
                        HICON image, int imageWidth, int imageHeight);
enum class StatusAlign { Left, Centre, Right };
void SetStatusText(App& app, int field, const std::string& text, StatusAlign align);
std::string StatusText(App& app, int field);  // as shown, alignment tabs removed
void SetTitle(App& app, const std::string& title);
std::string LoadedTitle(const std::string& libName, int rows);

// Commands.
void RunCommand(App& app, int command);
// `dll`, when given, is the DLL the library was built from: its code fills the "Parameter"
// cells that the library's names leave at 0.
void LoadImportLib(App& app, const std::string& path, const std::string& dll = {});
// The counts the DLL's code gives, looked for beside the DLL and in the system's folders.
// `stop`, when set by another thread, ends the reading early with worthless counts.
librarian::InferredCounts DllParameterCounts(const std::string& dll, const std::atomic<bool>* stop = nullptr);
// The mark of a row's "Parameter" cell, or nullptr; a mark whose cell changed since is dropped.
const InferredMark* InferredMarkOf(App& app, int row);
// The tool tip text of a marked "Parameter" cell.
std::string InferredTooltip(const InferredMark& mark);
// The text colour of a marked "Parameter" cell.
inline constexpr COLORREF kInferredTextColour = RGB(0, 70, 170);
// Asks for a folder, has the librarian build the DLL's import library there and returns the
// library's path, or "" when this run produced none.
std::string BuildImportLib(App& app, const std::string& dll);
// The same without reading the DLL's code beside it.
std::string RunLibrarian(App& app, const std::string& dll);
// The librarian's parameters for a DLL and the library's bare file name.
std::string LibrarianParameters(const std::string& dll, bool x64, const std::string& libFile);
std::string ImportLibName(const std::string& dll);
void OpenDllCommand(App& app);
void OpenProject(App& app, const std::string& path);
void SaveProject(App& app);
void SaveImportCommand(App& app);
void CopyImportCommand(App& app);
void RefreshPreviewPane(App& app);
void QuitSequence(App& app);
void HandleDrop(App& app, const std::string& fileList);
// Starts the program again with the file and the two folders.
bool OpenInNewInstance(App& app, const std::string& file);

// The table's side: the generator's view of the grid, the selection count and the answers to
// the grid's notifications.
class GridTable : public TableView {
public:
    explicit GridTable(GridControl* grid) : grid_(grid) {}
    int RowCount() const override;
    std::string CellText(int column, int row) const override;

private:
    GridControl* grid_;
};
std::string GenerateFromTable(App& app);
struct CellInfo;
// The application's answers to the grid's notifications.
std::int32_t OnGridEvent(GridControl* grid, std::int32_t code, CellInfo* info);
void UpdateSelectionStatus(App& app);
// Counts the table again once the grid has finished what it is doing: a block cleared or pasted
// changes many cells but reports one, and a changed cell is stored only after its report.
// Requests before the count is made come to one count.
void RequestSelectionCount(App& app);
inline constexpr UINT kCountSelectionMessage = WM_APP + 1;
std::string SelectionText(int selected, int rows);
void AddFunctionColumns(GridControl* grid);

// Which commands exist, by the menu's own state.
bool MenuHasCommand(App& app, int command);
bool MenuCommandEnabled(App& app, int command);

}  // namespace zandrel
