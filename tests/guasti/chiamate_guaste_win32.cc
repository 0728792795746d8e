#include <io.h>

#include "guasti/chiamate_guaste.h"
#include "platform/fs/native_win32.h"

namespace mlx::guasti::sistema {
namespace {

// The handle's path as the system resolves it, without the "\\?\" prefix.
std::string Finale(HANDLE h) {
  std::wstring buffer(MAX_PATH, L'\0');
  DWORD n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (n >= buffer.size()) {
    buffer.resize(n);
    n = GetFinalPathNameByHandleW(h, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  if (n == 0 || n >= buffer.size()) return std::string();
  std::string percorso = text::FromWide(std::wstring_view(buffer.data(), n));
  if (percorso.rfind("\\\\?\\UNC\\", 0) == 0) return "\\\\" + percorso.substr(8);
  if (percorso.rfind("\\\\?\\", 0) == 0) return percorso.substr(4);
  return percorso;
}

}  // namespace

const bool kRinominaScrittaSubito = true;

std::string Percorso(int fd) {
  const HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(fd));
  return h == INVALID_HANDLE_VALUE ? std::string() : Finale(h);
}

bool Cartella(int fd) {
  BY_HANDLE_FILE_INFORMATION info;
  return GetFileInformationByHandle(reinterpret_cast<HANDLE>(_get_osfhandle(fd)), &info) &&
         (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string Canonico(const std::string& percorso) {
  const std::size_t separatore = percorso.find_last_of("/\\");
  if (separatore == std::string::npos) return percorso;
  fs::Handle cartella(CreateFileW(fs::WidePath(percorso.substr(0, separatore + 1)).c_str(), 0,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  std::string base = cartella.valid() ? Finale(cartella.get()) : std::string();
  if (base.empty()) return percorso;
  if (base.back() != '\\') base += '\\';
  return base + percorso.substr(separatore + 1);
}

}  // namespace mlx::guasti::sistema
