#include "conditions/mdlFileVersion.h"

#include <cmath>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "conditions/risorsa_versione.h"
#include "engine/errore.h"
#include "engine/utilita.h"
#include "platform/fs/fs.h"
#include "platform/fs/version.h"

namespace mlx {

namespace {

// The two 16-bit halves of a word, each as a signed number: 65535 is written -1.
std::string Meta(std::uint32_t parola) {
  return std::to_string(static_cast<std::int16_t>(parola >> 16)) + "." +
         std::to_string(static_cast<std::int16_t>(parola & 0xFFFF));
}

std::string NumeroVersione(std::uint32_t alta, std::uint32_t bassa) {
  return Meta(alta) + "." + Meta(bassa);
}

std::string NomiFlag(std::uint32_t flag) {
  static constexpr const char* kNomi[] = {"Debug ",   "PreRel ", "Patched ",
                                          "Private ", "Info ",   "Special "};
  std::string nomi;
  for (std::size_t bit = 0; bit < std::size(kNomi); ++bit) {
    if (flag & (1u << bit)) nomi += kNomi[bit];
  }
  return nomi;
}

std::string NomeSistema(std::uint32_t os) {
  switch (os) {
    case 0x10001:
      return "DOS-Win16";
    case 0x10004:
      return "DOS-Win32";
    case 0x20002:
      return "OS/2-16 PM-16";
    case 0x30003:
      return "OS/2-16 PM-32";
    case 0x40004:
      return "NT-Win32";
    default:
      return "Unknown";
  }
}

constexpr std::uint32_t kTipoDriver = 3;

std::string NomeTipo(std::uint32_t tipo) {
  switch (tipo) {
    case 1:
      return "App";
    case 2:
      return "DLL";
    case kTipoDriver:
      return "Driver";
    case 4:
      return "Font";
    case 5:
      return "VxD";
    case 7:
      return "Lib";
    default:
      return "Unknown";
  }
}

// Only drivers have a subtype name; a subtype above 10 has none.
std::string NomeSottotipo(std::uint32_t sottotipo) {
  static constexpr const char* kNomi[] = {
      "Unknown",     "Printer drv", "Keyboard drv", "Language drv", "Display drv", "Mouse drv",
      "Network drv", "System drv",  "Installable",  "Sound drv",    "Comm drv"};
  return sottotipo < std::size(kNomi) ? kNomi[sottotipo] : "";
}

void Riempi(const FixedFileInfo& info, FileVersionData& data) {
  data.StructVersion = Meta(info.struc_version);
  data.FileVersionNumber = NumeroVersione(info.file_version_ms, info.file_version_ls);
  data.ProductVersionNumber = NumeroVersione(info.product_version_ms, info.product_version_ls);
  data.FlagNames = NomiFlag(info.file_flags);
  data.OSName = NomeSistema(info.file_os);
  data.TypeName = NomeTipo(info.file_type);
  data.SubtypeName = info.file_type == kTipoDriver ? NomeSottotipo(info.file_subtype) : "";
}

}  // namespace

void ReadFileVersionInfo(fs::RandomAccessFile& file, FileVersionData& data) {
  FixedFileInfo info;
  data.Found = ReadFixedFileInfo(file, &info);
  if (data.Found) Riempi(info, data);
}

void ReadFileVersionInfo(fs::FileSystem& fileSystem, std::string_view path, FileVersionData& data) {
  // The system's own reader where it has one, so scripts see what its file properties show.
  FixedFileInfo info;
  if (std::optional<bool> found = fs::ReadSystemVersionInfo(fileSystem.ToNative(path), &info)) {
    data.Found = *found;
    if (data.Found) Riempi(info, data);
    return;
  }
  std::unique_ptr<fs::RandomAccessFile> file;
  if (!fileSystem.OpenRandomAccess(path, &file).ok()) {
    data.Found = false;
    return;
  }
  ReadFileVersionInfo(*file, data);
}

std::string FileVersionText(fs::FileSystem& fileSystem, std::string_view path) {
  FileVersionData data;
  ReadFileVersionInfo(fileSystem, path, data);
  return data.Found ? data.FileVersionNumber : "";
}

std::string GreaterComponent(const std::string& x, const std::string& y) {
  if (IsNumeric(x) && IsNumeric(y)) return ValoreIntero(x) >= ValoreIntero(y) ? x : y;
  return x >= y ? x : y;
}

std::string GreaterVersion(const std::string& a, const std::string& b, std::string_view sep) {
  if (a.empty() && !b.empty()) return b;
  if (b.empty()) return a;
  const std::vector<std::string> va = Dividi(a, sep);
  const std::vector<std::string> vb = Dividi(b, sep);
  // Up to the first differing component, or the last one of the shorter version.
  const std::size_t ultimo = std::min(va.size(), vb.size()) - 1;
  std::size_t i = 0;
  while (i < ultimo && va[i] == vb[i]) ++i;
  if (va[i] == vb[i]) return vb.size() > va.size() ? b : a;
  return GreaterComponent(va[i], vb[i]) == vb[i] ? b : a;
}

}  // namespace mlx
