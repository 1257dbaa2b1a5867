#include "core/diagnostics/Assert.h"

#include <cstdlib>
#include <iostream>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace Orvantis::Assert {

namespace {

HandlerFunction g_handler = &defaultHandler;

// Brings the console window, if the process has one, to the front so that the
// dialogue is seen. Failures are of no consequence.
void bringConsoleToFront() {
#if defined(_WIN32)
    HWND console = GetConsoleWindow();
    if (console == nullptr) {
        return;
    }
    WINDOWPLACEMENT placement{};
    placement.length = sizeof(WINDOWPLACEMENT);
    GetWindowPlacement(console, &placement);
    int show = SW_SHOWNORMAL;
    if (placement.showCmd == SW_SHOWMINIMIZED) {
        show = SW_RESTORE;
    } else if (placement.showCmd == SW_SHOWMAXIMIZED) {
        show = SW_SHOWMAXIMIZED;
    }
    ShowWindow(console, show);
    SetWindowPos(console, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    SetForegroundWindow(console);
#endif
}

}  // namespace

HandlerFunction handler() {
    return g_handler;
}

void setHandler(HandlerFunction f) {
    g_handler = f;
}

Action defaultHandler(const char* expression, const char* message, const char* file, const char* function, int line) {
    bringConsoleToFront();
    std::cout << "Assertion '" << expression << "' failed:\n"
              << "  Message: '" << message << "'\n"
              << "  Function: " << function << "\n"
              << "  Location: " << file << ":" << line << "\n"
              << "\n";
    for (;;) {
        if (std::cin.fail()) {
            // No answer can come any more: let the check go on, silenced.
            std::cout << "standard in is in an invalid state, exiting program." << std::endl;
            return IgnoreAlways;
        }
        std::cout << "Select: (i)gnore once, ignore (a)lways, (d)ebug breakpoint, (q)uit\n";
        std::string word;
        if (!(std::cin >> word)) {
            continue;
        }
        switch (word[0]) {
            case 'i': return Ignore;
            case 'a': return IgnoreAlways;
            case 'd': return Break;
            case 'q': std::exit(1);
            default: std::cout << "  Invalid choice: '" << word << "'. :(\n"; break;
        }
    }
}

}  // namespace Orvantis::Assert
