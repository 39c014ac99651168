#pragma once
// What a page needs of the main window: the shared state, the dialogs, the
// clock, the plant connection, and a few services of the frame (status line,
// page switching).
#include <QString>
#include <functional>

namespace halvetra {

struct AppState;
struct MainDialogs;
class Dialogs;
class Clock;
class PlantAccess;

struct PageContext {
    AppState& State;
    Dialogs& Dialog;
    MainDialogs& Files;
    const Clock& Time;
    PlantAccess& Plant;
    std::function<void(const QString&)> ShowStatus;  // the main window's status line
    std::function<void(int)> ShowPage;               // makes page `index` the active page
};

// The decimal separator of the current locale (QLocale's default).
char LocaleDecimalSeparator();

}  // namespace halvetra
