// Regular files on Windows: opened with CreateFileW and handed on as C runtime descriptors, so
// that the services that write through descriptors work unchanged. Files are shared for
// reading, writing and deletion, as the C runtime shares them; a file another program opened
// without sharing answers EBUSY.
#include <fcntl.h>
#include <io.h>
#include <process.h>

#include <cerrno>
#include <cstring>

#include "platform/fs/native_win32.h"
#include "platform/fs/regular.h"
#include "platform/text/wide.h"

namespace mlx::fs {

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What is at the path: 0 for a regular file, EISDIR for a folder, kNotRegularFile for a device
// or a pipe; -1 when there is nothing (or it cannot be examined).
int Kind(HANDLE h) {
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(h) != FILE_TYPE_DISK) return kNotRegularFile;
  if (!GetFileInformationByHandle(h, &info)) return -1;
  return (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EISDIR : 0;
}

}  // namespace

int NotRegularFileError(const std::string& native) {
  const DWORD attributes = GetFileAttributesW(WidePath(native).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return 0;
  return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? EISDIR : 0;
}

int OpenRegularFile(const std::string& native, int flags, int* error, mode_t mode) {
  DWORD access = 0;
  switch (flags & (O_RDONLY | O_WRONLY | O_RDWR)) {
    case O_WRONLY: access = GENERIC_WRITE; break;
    case O_RDWR: access = GENERIC_READ | GENERIC_WRITE; break;
    default: access = GENERIC_READ; break;
  }
  if ((flags & O_APPEND) != 0) access = (access & ~GENERIC_WRITE) | FILE_APPEND_DATA;
  DWORD disposition = OPEN_EXISTING;
  if ((flags & O_CREAT) != 0) disposition = (flags & O_EXCL) != 0 ? CREATE_NEW : OPEN_ALWAYS;
  // A file without any write permission bit is made read-only.
  const DWORD attributes =
      (mode & 0222) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
  const std::wstring wide = WidePath(native);
  Handle h(CreateFileW(wide.c_str(), access, kShareAll, nullptr, disposition, attributes,
                       nullptr));
  if (!h.valid()) {
    const DWORD last = GetLastError();
    // A folder refuses to be opened as a file with "access denied": what the entry is says
    // more than the code of the refusal.
    const int kind = NotRegularFileError(native);
    *error = kind != 0 ? kind : ErrnoFromWindows(last);
    return -1;
  }
  const int kind = Kind(h.get());
  if (kind != 0) {
    *error = kind < 0 ? EIO : kind;
    return -1;
  }
  // A truncation waits until the entry is known to be a regular file.
  if ((flags & O_TRUNC) != 0 &&
      (SetFilePointer(h.get(), 0, nullptr, FILE_BEGIN) == INVALID_SET_FILE_POINTER ||
       !SetEndOfFile(h.get()))) {
    *error = ErrnoFromWindows(GetLastError());
    return -1;
  }
  const int crt_flags = (flags & (O_RDONLY | O_WRONLY | O_RDWR | O_APPEND)) | O_BINARY;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h.get()), crt_flags);
  if (fd < 0) {
    *error = EMFILE;
    return -1;
  }
  h.release();
  *error = 0;
  return fd;
}

std::string RegularFileErrorText(int error) {
  if (error == kNotRegularFile) return "not a regular file (a device or a pipe)";
  if (error == EISDIR) return "a folder, not a file";
  if (error == EBUSY) return "in use by another program";
  return std::strerror(error);
}

bool ExamineEntry(const std::string& native, EntryFacts* facts, int* error) {
  // Opened for no access at all: only to read what the entry is, also when it is locked.
  Handle h(CreateFileW(WidePath(native).c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!h.valid() || !GetFileInformationByHandle(h.get(), &info)) {
    *error = ErrnoFromWindows(GetLastError());
    return false;
  }
  facts->is_folder = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  facts->is_regular = !facts->is_folder && GetFileType(h.get()) == FILE_TYPE_DISK;
  facts->size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  facts->read_only = (info.dwFileAttributes & FILE_ATTRIBUTE_READONLY) != 0;
  facts->volume = info.dwVolumeSerialNumber;
  facts->index = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  return true;
}

bool MakeTemporaryFolder(const std::string& prefix, std::string* native) {
  wchar_t folder[MAX_PATH + 1];
  const DWORD n = GetTempPathW(MAX_PATH + 1, folder);
  if (n == 0 || n > MAX_PATH) return false;
  LARGE_INTEGER now;
  QueryPerformanceCounter(&now);
  std::uint64_t seed = static_cast<std::uint64_t>(now.QuadPart) ^
                       (static_cast<std::uint64_t>(GetCurrentProcessId()) << 32);
  for (int attempt = 0; attempt < 100; ++attempt) {
    seed = seed * 6364136223846793005u + 1442695040888963407u;
    std::string name = prefix;
    for (int i = 0; i < 6; ++i) name.push_back("abcdefghijklmnopqrstuvwxyz0123456789"[(seed >> (i * 6 + 16)) % 36]);
    const std::string path = text::FromWide(std::wstring_view(folder, n)) + name;
    if (CreateDirectoryW(WidePath(path).c_str(), nullptr)) {
      *native = path;
      return true;
    }
    if (GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

// A file opened for appending only is written at its end by each WriteFile, whatever other
// processes appended meanwhile.
bool AppendAtOnce(const std::string& native, std::string_view bytes) {
  Handle h(CreateFileW(WidePath(native).c_str(), FILE_APPEND_DATA, kShareAll, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) return false;
  DWORD written = 0;
  return WriteFile(h.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
         written == bytes.size();
}

bool RemoveFile(const std::string& native) {
  return DeleteFileW(WidePath(native).c_str()) != 0;
}

unsigned long ProcessNumber() {
  return GetCurrentProcessId();
}

bool FlushFile(const std::string& native) {
  Handle h(CreateFileW(WidePath(native).c_str(), GENERIC_WRITE, kShareAll, nullptr,
                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!h.valid()) {
    errno = ErrnoFromWindows(GetLastError());
    return false;
  }
  if (FlushFileBuffers(h.get())) return true;
  errno = ErrnoFromWindows(GetLastError());
  return false;
}

}  // namespace mlx::fs
