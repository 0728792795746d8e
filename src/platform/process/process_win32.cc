// Programs on Windows: CreateProcessW with the program's full path and the command line built
// by BuildCommandLine, never through a shell; a waiting start sleeps on the process handle
// between looks at the interruption flag. Documents are opened with ShellExecuteExW, by the
// program the system associates with them.
#include "platform/process/process.h"
#include "platform/process/start_error_win32.h"
#include "platform/text/wide.h"
// clang-format off: the shell's header needs the system's, which wide.h brings.
#include <shellapi.h>
// clang-format on

namespace mlx::process {

namespace {

constexpr DWORD kPollMillis = 200;

std::wstring Extension(const std::wstring& path) {
  std::size_t dot = path.find_last_of(L".\\/");
  if (dot == std::wstring::npos || path[dot] != L'.') return {};
  std::wstring ext = path.substr(dot);
  for (wchar_t& c : ext) c = static_cast<wchar_t>(towlower(c));
  return ext;
}

bool IsBatch(const std::wstring& path) {
  const std::wstring ext = Extension(path);
  return ext == L".bat" || ext == L".cmd";
}

bool IsProgram(const std::wstring& path) {
  const std::wstring ext = Extension(path);
  return ext == L".exe" || ext == L".com" || IsBatch(path);
}

// A batch file is run by the command interpreter, which reads its command line as commands:
// its arguments may hold none of the characters the interpreter acts on.
bool SafeForInterpreter(std::string_view arguments) {
  return arguments.find_first_of("&|<>^%!()\r\n") == std::string_view::npos;
}

// What a start needs, checked before any process is made: the folder, and the program as the
// child will find it after changing folder (a name with a folder taken from the current one, a
// bare name searched as the system searches programs).
struct Avvio {
  std::wstring program;
  std::wstring folder;

  Status Prepara(const std::string& prog, const std::string& dir) {
    const std::string shown_folder = dir.empty() ? "." : dir;
    if (!text::ToWide(shown_folder, &folder)) {
      return Status::Error(err::kPathNotFound, "Impossibile trovare il percorso: " + shown_folder);
    }
    DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return Status::Error(err::kPathNotFound, "Impossibile trovare il percorso: " + shown_folder);
    }
    std::wstring name;
    if (prog.empty() || !text::ToWide(prog, &name)) {
      return StartError(ERROR_FILE_NOT_FOUND, prog, shown_folder);
    }
    std::wstring found(MAX_PATH, L'\0');
    const bool bare = name.find_first_of(L"\\/:") == std::wstring::npos;
    for (;;) {
      DWORD n = bare ? SearchPathW(nullptr, name.c_str(), L".exe", static_cast<DWORD>(found.size()),
                                   found.data(), nullptr)
                     : GetFullPathNameW(name.c_str(), static_cast<DWORD>(found.size()),
                                        found.data(), nullptr);
      if (n == 0) return StartError(ERROR_FILE_NOT_FOUND, prog, shown_folder);
      if (n < found.size()) {
        found.resize(n);
        break;
      }
      found.resize(n + 1);
    }
    attributes = GetFileAttributesW(found.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) {
      return StartError(GetLastError(), prog, shown_folder);
    }
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
      return StartError(ERROR_ACCESS_DENIED, prog, shown_folder);
    }
    program = std::move(found);
    return Status::OK();
  }

  // CreateProcessW; the handle of the process (the caller closes it) or an error.
  Status Create(const std::string& prog, std::string_view arguments, DWORD flags, HANDLE* process) {
    if (IsBatch(program) && !SafeForInterpreter(arguments)) {
      return Status::Error(err::kInvalidCall,
                           "Argomenti non validi per " + prog +
                               ": un file batch non riceve i caratteri & | < > ^ % ! ( )");
    }
    std::wstring line = text::ToWide(BuildCommandLine(text::FromWide(program), arguments));
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    if (!CreateProcessW(program.c_str(), line.data(), nullptr, nullptr, FALSE,
                        flags | CREATE_UNICODE_ENVIRONMENT, nullptr, folder.c_str(), &startup,
                        &info)) {
      return StartError(GetLastError(), prog, text::FromWide(folder));
    }
    CloseHandle(info.hThread);
    *process = info.hProcess;
    return Status::OK();
  }
};

class Win32Processes : public Processes {
 public:
  Status RunAndWait(const std::string& program, std::string_view arguments,
                    const std::string& folder, const std::function<bool()>& interrupted) override {
    Avvio avvio;
    Status s = avvio.Prepara(program, folder);
    if (!s.ok()) return s;
    if (!IsProgram(avvio.program)) return StartError(ERROR_BAD_EXE_FORMAT, program, folder);
    HANDLE process = nullptr;
    s = avvio.Create(program, arguments, 0, &process);
    if (!s.ok()) return s;
    bool stopped = false;
    while (WaitForSingleObject(process, kPollMillis) == WAIT_TIMEOUT) {
      // Windows has no request to end that every program hears: a stopped program is ended.
      if (!stopped && interrupted && interrupted()) {
        TerminateProcess(process, ERROR_CANCELLED);
        stopped = true;
      }
    }
    CloseHandle(process);
    return Status::OK();
  }

  Status Start(const std::string& program, std::string_view arguments,
               const std::string& folder) override {
    Avvio avvio;
    Status s = avvio.Prepara(program, folder);
    if (!s.ok()) return s;
    if (IsProgram(avvio.program)) {
      // A group of its own, so the user's Ctrl+C for this run does not reach it.
      HANDLE process = nullptr;
      s = avvio.Create(program, arguments, CREATE_NEW_PROCESS_GROUP, &process);
      if (s.ok()) CloseHandle(process);
      return s;
    }
    // A document (or a folder) goes to the program associated with it, as on POSIX without
    // the arguments.
    SHELLEXECUTEINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = SEE_MASK_NOASYNC | SEE_MASK_FLAG_NO_UI;
    info.lpFile = avvio.program.c_str();
    info.lpDirectory = avvio.folder.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info)) {
      // Without an associated program the system tries the file as a program of its own.
      const DWORD error = GetLastError();
      return StartError(error == ERROR_BAD_EXE_FORMAT ? ERROR_NO_ASSOCIATION : error, program,
                        folder);
    }
    return Status::OK();
  }

  std::string SelfPath() override {
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
      DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
      if (n == 0) return "marlovex.exe";
      if (n < buffer.size()) return text::FromWide(std::wstring_view(buffer.data(), n));
      buffer.resize(buffer.size() * 2);
    }
  }
};

}  // namespace

std::unique_ptr<Processes> MakeProcesses(ProcessOptions /*options*/) {
  return std::make_unique<Win32Processes>();
}

}  // namespace mlx::process
