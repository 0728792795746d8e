// The dialogs' needs on Windows: the console (escape sequences and UTF-8 turned on, its width
// from the screen buffer), appends through FILE_APPEND_DATA, and MessageBoxW.
#include <io.h>

#include "platform/text/wide.h"
#include "platform/ui/terminal.h"

namespace mlx::ui::terminal {

namespace {

HANDLE ConsoleOf(std::FILE* stream) {
  if (stream == nullptr) return INVALID_HANDLE_VALUE;
  HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle
                                                                         : INVALID_HANDLE_VALUE;
}

// A desktop the user sees: an interactive window station, not a service's.
bool HasVisibleDesktop() {
  HWINSTA station = GetProcessWindowStation();
  USEROBJECTFLAGS flags = {};
  return station != nullptr &&
         GetUserObjectInformationW(station, UOI_FLAGS, &flags, sizeof flags, nullptr) &&
         (flags.dwFlags & WSF_VISIBLE) != 0;
}

}  // namespace

bool IsTerminal(std::FILE* stream) {
  HANDLE console = ConsoleOf(stream);
  if (console == INVALID_HANDLE_VALUE) return false;
  // Everything the program writes is UTF-8, whether or not the window can be redrawn.
  SetConsoleOutputCP(CP_UTF8);
  DWORD mode = 0;
  GetConsoleMode(console, &mode);
  // An old console takes no escape sequences: the window is then printed line by line.
  return SetConsoleMode(console,
                        mode | ENABLE_PROCESSED_OUTPUT | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

bool IsConsoleInput(std::FILE* stream) { return ConsoleOf(stream) != INVALID_HANDLE_VALUE; }

int Columns(std::FILE* stream) {
  HANDLE console = ConsoleOf(stream);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (console == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(console, &info)) return 0;
  return info.srWindow.Right - info.srWindow.Left + 1;
}

bool AppendWhole(const std::string& path, std::string_view bytes) {
  std::wstring wide;
  if (!text::ToWide(path, &wide)) return false;
  // Append access alone: every write goes to the end, whoever else appends.
  HANDLE file = CreateFileW(wide.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
            written == bytes.size();
  return CloseHandle(file) && ok;
}

MessageBoxFunction DesktopMessageBox() {
  if (!HasVisibleDesktop() || ConsoleOf(stdin) == INVALID_HANDLE_VALUE) return {};
  return [](const std::string& text, const std::string& title, int style) {
    // The answer codes of the box are the script language's own (1 OK ... 7 No); 0 when the
    // box could not be shown.
    return MessageBoxW(nullptr, text::ToWide(text).c_str(), text::ToWide(title).c_str(),
                       static_cast<UINT>(style) | MB_SETFOREGROUND | MB_TASKMODAL);
  };
}

}  // namespace mlx::ui::terminal
