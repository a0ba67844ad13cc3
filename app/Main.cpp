// zandrel.exe: the program a user starts.
#include <windows.h>

#include <cstdlib>

#include "app/App.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    using namespace zandrel;
    App& app = TheApp();
    std::unique_ptr<Requesters> ask = SystemRequesters();
    if (!StartApplication(app, instance, ask.get())) return 1;
    std::vector<std::string> params;
    for (int i = 1; i < __argc; ++i) params.emplace_back(__argv[i]);
    OpenCommandLine(app, params);
    RunEventLoop(app);
    EndApplication(app);
    return 0;
}
