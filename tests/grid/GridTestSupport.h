// Helpers for grid tests that run in real windows: a host window, message pumping with a limit,
// a recording event handler, and reading pixels back.
#pragma once
#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>
#include <vector>

#include "grid/Grid.h"

namespace gridtest {

// One notification as the handler saw it (the record as it arrived, before any answer).
struct Event {
    int code;
    zandrel::CellInfo info;
};

// Collects every notification; `answer` decides the reply and may change the record.
struct Recorder {
    std::vector<Event> events;
    std::function<int(int code, zandrel::CellInfo& info)> answer;
    bool recordPaint = false;  // QueryCellType/QueryCellFormat are many; off unless asked for
    int lastBandImage = 0;     // Image of the last RowHeaderImageClicked

    void Clear() { events.clear(); }
    std::vector<Event> Of(int code) const;
    int Count(int code) const;
};

Recorder& TheRecorder();
std::int32_t RecordingHandler(zandrel::GridControl* grid, std::int32_t code, zandrel::CellInfo* info);

// A visible top-level window at (0, 0) for grids to live in.
HWND HostWindow(int width = 800, int height = 600);

// Pumps messages until pred() holds or the limit passes; returns pred().
bool PumpUntil(const std::function<bool()>& pred, int limitMs = 10000);
void PumpPending();

// The grid's windows.
HWND ListOf(zandrel::GridControl* g);
HWND HeaderOf(zandrel::GridControl* g);
HWND EditBoxOf(zandrel::GridControl* g);

// Paints everything of the grid now.
void PaintNow(zandrel::GridControl* g);

COLORREF PixelAt(HWND w, int x, int y);
RECT CellRect(zandrel::GridControl* g, int column, int row);  // list client coordinates
// A pixel of a cell, relative to the cell's top-left corner.
COLORREF CellPixel(zandrel::GridControl* g, int column, int row, int dx, int dy);

// The text the tool tip window `tip` holds for the grid's list `list`.
std::string TooltipText(HWND tip, HWND list);

std::string ClipboardText();
void SetClipboardText(const std::string& text);

// A grid in a fresh host window, freed at the end of the test.
struct TestGrid {
    HWND host = nullptr;
    zandrel::GridControl* g = nullptr;
    TestGrid(int columns, int rows, int rowHeight = 20, int flags = 0x20045, int columnWidth = 80);
    ~TestGrid();
    zandrel::GridControl* operator->() const { return g; }
};

}  // namespace gridtest
