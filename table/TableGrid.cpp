// The function table on the grid: its columns, the generator's view of the cells, the selection
// count and the application's answers to the grid's notifications.
#include <windows.h>
#include <commctrl.h>

#include "app/App.h"
#include "grid/Grid.h"
#include "table/ImportSource.h"

namespace zandrel {

namespace {
constexpr char kParameterItems[] = "0\n1\n2\n3\n4\n5\n6\n7\n8\n9\n10\n11\n12\n13\n14\n15";
}  // namespace

std::int32_t OnGridEvent(GridControl* grid, std::int32_t code, CellInfo* info) {
    App& app = TheApp();
    switch (code) {
        case QueryCellType:
            if (info->Column == ColSelected) {
                info->CellType = CheckCell;
                info->Text = "TRUE/FALSE";
            } else if (info->Column == ColFunctionName) {
                info->CellType = ReadOnlyTextCell;
            } else if (info->Column == ColParameter) {
                info->CellType = ComboCell;
                info->Text = kParameterItems;
            }
            break;
        case QueryCellFormat:
            if (info->Row >= 0) {
                info->BackColour = (info->Row % 2) ? RGB(244, 243, 222) : RGB(193, 234, 224);
                if (info->Column == ColComment) info->TextColour = RGB(210, 5, 0);
                if (info->Column == ColParameter && InferredMarkOf(app, info->Row))
                    info->TextColour = static_cast<std::int32_t>(kInferredTextColour);
            } else if (info->Row == -1) {
                info->GradientStart = 0xFFFFFF;
                info->GradientEnd = static_cast<std::int32_t>(GetSysColor(COLOR_GRADIENTACTIVECAPTION));
            }
            break;
        case HeaderClicked:
            if (info->Column == ColSelected && grid) {
                const char* value = app.state.HeaderToggleState ? "TRUE" : "FALSE";
                grid->SetRedraw(0, 0);
                for (int r = 0, n = grid->RowCount(); r < n; ++r) grid->SetCellText(ColSelected, r, value);
                grid->SetRedraw(1, 1);
                app.state.HeaderToggleState = !app.state.HeaderToggleState;
                UpdateSelectionStatus(app);
            }
            break;
        case LeftButtonUp:
            if (info->Row >= 0 && info->Column == ColSelected) UpdateSelectionStatus(app);
            break;
        case CharTyped:
            if (info->Column == ColParameter && (info->Param < '0' || info->Param > '9')) return 0;
            // A host-language name never holds "|", and the project format could not keep it.
            if (info->Column == ColPBFunctionName && info->Param == '|') return 0;
            break;
        case TooltipQuery:
            if (info->Column == ColParameter && info->Row >= 0)
                if (const InferredMark* mark = InferredMarkOf(app, info->Row)) info->Text = InferredTooltip(*mark);
            break;
        case CellChanged:
            // The user's own number is no longer the code's.
            if (info->Column == ColParameter && info->Row >= 0 && static_cast<std::size_t>(info->Row) < app.inferred.size())
                app.inferred[static_cast<std::size_t>(info->Row)] = InferredMark{};
            // A paste brings what it likes; the cell keeps what the project and the import
            // block can hold, so the grid shows what will be saved.
            info->Text = info->Column == ColComment ? SingleLineText(info->Text) : ItemFieldText(info->Text);
            RequestSelectionCount(app);
            break;
        case DeleteRequest:
        case ClipboardRequest:
            RequestSelectionCount(app);  // the block changes after this answer
            break;
        default:
            break;
    }
    return 1;
}

const InferredMark* InferredMarkOf(App& app, int row) {
    if (row < 0 || static_cast<std::size_t>(row) >= app.inferred.size() || !app.grid) return nullptr;
    InferredMark& mark = app.inferred[static_cast<std::size_t>(row)];
    if (mark.Sure == librarian::Certainty::Unknown) return nullptr;
    // A paste or a cleared block changes cells without an edit of each; what the cell shows decides.
    if (app.grid->GetCellText(ColParameter, row) != mark.Text) {
        mark = InferredMark{};
        return nullptr;
    }
    return &mark;
}

std::string InferredTooltip(const InferredMark& mark) {
    const std::string number = mark.Text + ", read from the DLL's code";
    return mark.Sure == librarian::Certainty::Exact ? number : "At least " + number;
}

int GridTable::RowCount() const { return grid_ ? grid_->RowCount() : 0; }

std::string GridTable::CellText(int column, int row) const {
    return grid_ ? grid_->GetCellText(column, row) : std::string();
}

std::string SelectionText(int selected, int rows) {
    return "   " + std::to_string(selected) + " of " + std::to_string(rows) + " functions selected!";
}

void UpdateSelectionStatus(App& app) {
    if (!app.grid) return;
    int rows = app.grid->RowCount(), selected = 0;
    for (int r = 0; r < rows; ++r)
        if (IsSelectedText(app.grid->GetCellText(ColSelected, r))) ++selected;
    if (app.progress) {
        DestroyWindow(app.progress);
        app.progress = nullptr;
    }
    SetStatusText(app, 0, SelectionText(selected, rows), StatusAlign::Centre);
}

void RequestSelectionCount(App& app) {
    if (app.countRequested || !app.main) return;
    app.countRequested = PostMessageA(app.main, kCountSelectionMessage, 0, 0) != 0;
}

void AddFunctionColumns(GridControl* grid) {
    grid->SetEventHandler(&OnGridEvent);
    grid->AddColumn(ColSelected, "", 20);
    grid->AddColumn(ColFunctionName, "FunctionName", 200);
    grid->AddColumn(ColPBFunctionName, "PBFunctionName", 200);
    grid->AddColumn(ColParameter, "Parameter", 45);
    grid->AddColumn(ColComment, "Comment", 300);
}

std::string GenerateFromTable(App& app) {
    ImportOptions options;
    options.LibName = app.state.LibName;
    char text[32] = {};
    HWND list = app.controls[CtlConvention];
    LRESULT index = SendMessageA(list, CB_GETCURSEL, 0, 0);
    if (index != CB_ERR && SendMessageA(list, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0) < 32)
        SendMessageA(list, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
    options.CallingConvention = text;
    options.Alias = SendMessageA(app.controls[CtlAliasCheck], BM_GETCHECK, 0, 0) == BST_CHECKED;
    return GenerateImportSource(GridTable(app.grid), options);
}

}  // namespace zandrel
