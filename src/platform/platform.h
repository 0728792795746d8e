// The services the engine reaches the platform through. Tests hand it fakes.
#pragma once

namespace mlx {
namespace ui { class Ui; }
namespace clock { class Clock; }
namespace fs { class FileSystem; }
namespace sysinfo { class SysInfo; }
namespace registry { class Registry; }
namespace db { class Provider; }
namespace process { class Processes; }
namespace dynlib { class Loader; }
namespace progress { class Sink; }

struct Platform {
  ui::Ui* ui = nullptr;
  clock::Clock* clock = nullptr;
  fs::FileSystem* fs = nullptr;
  sysinfo::SysInfo* sysinfo = nullptr;
  registry::Registry* registry = nullptr;
  db::Provider* db = nullptr;
  process::Processes* process = nullptr;
  dynlib::Loader* dynlib = nullptr;
  // Where long operations report how far they are and learn that the user asked to stop.
  progress::Sink* progress = nullptr;
};

}  // namespace mlx
