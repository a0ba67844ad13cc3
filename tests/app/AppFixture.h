// A running application in the test process: the real main window with scripted requesters.
#pragma once
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>

#include "app/App.h"
#include "app/ScriptedRequesters.h"
#include "grid/Grid.h"
#include "support/TempDir.h"

namespace ztest {

// Pumps messages until `done` holds; false after the limit.
inline bool PumpUntil(const std::function<bool()>& done, int limitMs = 10000) {
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    while (!done()) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (std::chrono::steady_clock::now() > end) return false;
        Sleep(1);
    }
    return true;
}

inline void PumpPending() {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
}

class AppTest : public ::testing::Test {
protected:
    zandrel::App& app = zandrel::TheApp();
    ScriptedRequesters ask;
    TempDir dir;

    void Start() {
        ASSERT_TRUE(zandrel::StartApplication(app, GetModuleHandleA(nullptr), &ask));
        PumpPending();
    }
    void TearDown() override {
        if (app.main) zandrel::EndApplication(app);
        app = zandrel::App{};
        PumpPending();
    }
    std::string Cell(int column, int row) { return app.grid->GetCellText(column, row); }
    std::string Title() {
        char buf[512] = {};
        GetWindowTextA(app.main, buf, sizeof buf);
        return buf;
    }
    RECT ChildRect(HWND child) {
        RECT r{};
        GetWindowRect(child, &r);
        MapWindowPoints(nullptr, app.main, reinterpret_cast<POINT*>(&r), 2);
        return r;
    }
    RECT ControlRect(int id) { return ChildRect(app.controls[id]); }
};

}  // namespace ztest
