// zev1-wifi-config.exe: the desktop tool on Windows. Builds the program (serial port,
// application object with the settings file next to the program, link, sequencer and the
// Win32 windows) and runs its message loop until the main window is closed.
#include "app/settings_location.h"
#include "app/win32/program.h"

#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
    zev1::win32::program program(zev1::settings_file_path());
    return program.run();
}
