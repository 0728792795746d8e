// System values that scripts read through the SYS_ placeholders and the ENV command.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace mlx::sysinfo {

class SysInfo {
 public:
  virtual ~SysInfo() = default;
  // Version number laid out as the system version call reports it: major version in the low
  // byte, minor version in the next byte.
  virtual std::uint32_t VersionNumber() = 0;
  virtual std::string WindowsDirectory() = 0;  // no trailing separator
  virtual std::string SystemDirectory() = 0;   // no trailing separator
  virtual std::string TempDirectory() = 0;     // with its trailing separator
  virtual std::string ComputerName() = 0;
  virtual std::string UserName() = 0;
  virtual std::string CurrentDirectory() = 0;
  virtual std::string Environment(std::string_view name) = 0;  // "" when not defined

  // The folder of a desktop session's autostart entries: $XDG_CONFIG_HOME/autostart, or
  // $HOME/.config/autostart when that variable is unset or not absolute; "" when neither names
  // an absolute folder. Windows has no such entries (it runs RunOnce values itself): "".
  virtual std::string AutostartDirectory() {
    std::string base = Environment("XDG_CONFIG_HOME");
    if (base.empty() || base.front() != '/') {
      base = Environment("HOME");
      if (base.empty() || base.front() != '/') return "";
      base += "/.config";
    }
    return base + "/autostart";
  }
};

std::unique_ptr<SysInfo> MakeSysInfo();

}  // namespace mlx::sysinfo
