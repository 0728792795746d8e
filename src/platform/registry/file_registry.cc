// The registry kept in one .reg file. Every call works on the file as it is on disk: the
// document is read again (under a shared lock) whenever the file was replaced or changed since
// it was last read, and every change is made under an exclusive lock on FILE.lock by reading
// the file again, applying the change and replacing the file atomically. The lock is the
// system's lock of an open file, so a process that dies releases it.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>
#include <string_view>
#include <vector>

#include "platform/fs/regular.h"
#include "platform/fs/replace.h"
#include "platform/registry/file_store.h"
#include "platform/registry/key_handles.h"
#include "platform/registry/reg_file.h"
#include "platform/registry/registry.h"

namespace mlx::registry {
namespace {

using regfile::Document;
using regfile::Key;

std::string ErrnoText() {
  return std::strerror(errno);
}

bool ReadAll(int fd, std::string* text) {
  char buffer[65536];
  for (;;) {
    auto n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    text->append(buffer, static_cast<std::size_t>(n));
  }
}

// A lock held on a lock file for the lifetime of the object.
class FileLock {
 public:
  FileLock() = default;
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;
  ~FileLock() {
    if (fd_ >= 0) close(fd_);  // closing the last descriptor releases the lock
  }

  // Creates the lock file (mode 0600) when it is missing. A shared lock falls back to a
  // read-only descriptor for a folder the process cannot write to. Answers 0 or the error (see
  // fs::OpenRegularFile).
  int Acquire(const std::string& path, bool exclusive) {
    int error = 0;
    fd_ = fs::OpenRegularFile(path, O_RDWR | O_CREAT, &error, 0600);
    if (fd_ < 0 && !exclusive && error != fs::kNotRegularFile) {
      fd_ = fs::OpenRegularFile(path, O_RDONLY, &error);
    }
    if (fd_ < 0) return error;
    return store::Lock(fd_, exclusive);
  }

 private:
  int fd_ = -1;
};

class FileRegistry final : public Registry {
 public:
  explicit FileRegistry(std::string path) : path_(std::move(path)) {}
  FileRegistry(const FileRegistry&) = delete;
  FileRegistry& operator=(const FileRegistry&) = delete;
  ~FileRegistry() override { Forget(); }

  long OpenKeyEx(Handle root, const std::string& sub_key, std::uint32_t /*options*/,
                 std::uint32_t /*access*/, Handle* result) override {
    if (result != nullptr) *result = 0;
    std::vector<std::string> base;
    if (!handles_.Resolve(root, &base)) return kInvalidHandle;
    std::vector<std::string> path = base;
    if (result == nullptr || !regfile::AppendSubKey(sub_key, &path)) return kInvalidParameter;
    if (long rc = Refresh(false); rc != kSuccess) return rc;
    if (!Exists(base)) return kKeyDeleted;
    if (!Exists(path)) return kFileNotFound;
    *result = handles_.Open(std::move(path));
    return kSuccess;
  }

  long QueryValueEx(Handle key, const std::string& name, std::uint32_t* type, char* data,
                    std::uint32_t* size) override {
    std::vector<std::string> path;
    if (!handles_.Resolve(key, &path)) return kInvalidHandle;
    if (data != nullptr && size == nullptr) return kInvalidParameter;
    if (long rc = Refresh(false); rc != kSuccess) return rc;
    if (!Exists(path)) return kKeyDeleted;
    const Key* found = doc_.Find(path);  // null for a root the file does not mention
    const regfile::Value* value = found != nullptr ? found->FindValue(name) : nullptr;
    if (value == nullptr) return kFileNotFound;
    return AnswerQuery(value->type, value->data, type, data, size);
  }

  long CreateKey(Handle root, const std::string& sub_key, Handle* result) override {
    if (result != nullptr) *result = 0;
    std::vector<std::string> base;
    if (!handles_.Resolve(root, &base)) return kInvalidHandle;
    std::vector<std::string> path = base;
    if (result == nullptr || !regfile::AppendSubKey(sub_key, &path)) return kInvalidParameter;
    if (path.size() == 1) {  // a root is always there
      *result = root;
      return kSuccess;
    }
    long rc = Change([&](Document& doc, bool* changed) {
      if (!Exists(base)) return kKeyDeleted;
      doc.Ensure(path, changed);
      return kSuccess;
    });
    if (rc == kSuccess) *result = handles_.Open(std::move(path));
    return rc;
  }

  long SetValueEx(Handle key, const std::string& name, std::uint32_t type, const char* data,
                  std::uint32_t size) override {
    std::vector<std::string> path;
    if (!handles_.Resolve(key, &path)) return kInvalidHandle;
    if ((data == nullptr && size > 0) || !regfile::ValidValueName(name)) return kInvalidParameter;
    std::string bytes(data != nullptr ? data : "", size);
    return Change([&](Document& doc, bool* changed) {
      if (!Exists(path)) return kKeyDeleted;
      bool created;
      *changed = doc.Ensure(path, &created).SetValue(name, type, bytes) || created;
      return kSuccess;
    });
  }

  long DeleteValue(Handle key, const std::string& name) override {
    std::vector<std::string> path;
    if (!handles_.Resolve(key, &path)) return kInvalidHandle;
    return Change([&](Document& doc, bool* changed) {
      if (!Exists(path)) return kKeyDeleted;
      Key* found = doc.Find(path);
      *changed = found != nullptr && found->RemoveValue(name);
      return *changed ? kSuccess : kFileNotFound;
    });
  }

  long DeleteKey(Handle root, const std::string& sub_key) override {
    std::vector<std::string> base;
    if (!handles_.Resolve(root, &base)) return kInvalidHandle;
    std::vector<std::string> path = base;
    if (!regfile::AppendSubKey(sub_key, &path)) return kInvalidParameter;
    if (path.size() == 1) return kAccessDenied;  // a root cannot be deleted
    return Change([&](Document& doc, bool* changed) {
      if (!Exists(base)) return kKeyDeleted;
      const Key* found = doc.Find(path);
      if (found == nullptr) return kFileNotFound;
      if (!found->children().empty()) return kAccessDenied;  // as the system refuses
      *changed = doc.Remove(path);
      return kSuccess;
    });
  }

  long CloseKey(Handle key) override { return handles_.Close(key); }

  long EnumKey(Handle key, std::uint32_t index, std::string* name) override {
    std::vector<std::string> path;
    if (!handles_.Resolve(key, &path)) return kInvalidHandle;
    if (name == nullptr) return kInvalidParameter;
    if (long rc = Refresh(false); rc != kSuccess) return rc;
    if (!Exists(path)) return kKeyDeleted;
    const Key* found = doc_.Find(path);  // null for a root the file does not mention
    if (found == nullptr || index >= found->children().size()) return kNoMoreItems;
    *name = found->children()[index]->name();
    return kSuccess;
  }

  std::string LastError() const override { return last_error_; }

 private:
  using Apply = std::function<long(Document&, bool* changed)>;

  bool Exists(const std::vector<std::string>& path) const {
    return path.size() == 1 || doc_.Find(path) != nullptr;
  }

  // The file that is replaced on writing: the target of a symbolic link rather than the link.
  std::string Target() const { return store::LinkTarget(path_); }

  long Fail(long code, const std::string& what) {
    last_error_ = "Registry file \"" + path_ + "\": " + what;
    return code;
  }

  void Forget() {
    if (cached_fd_ >= 0) close(cached_fd_);
    cached_fd_ = -1;
  }

  // Brings doc_ up to date with the file. The descriptor of the file last read stays open, so
  // its inode cannot be reused: the same device, inode, size and times mean the same content.
  long Refresh(bool locked) {
    store::Stamp st;
    if (int error = store::StampOfPath(path_, &st); error != 0) {
      if (error != ENOENT && error != ENOTDIR) return Fail(kBadDatabase, std::strerror(error));
      Forget();
      doc_ = Document();
      last_error_.clear();
      return kSuccess;
    }
    if (cached_fd_ >= 0 && st == cached_) {
      if (cached_status_ == kSuccess) last_error_.clear();
      return cached_status_ == kSuccess ? kSuccess : Fail(cached_status_, cached_error_);
    }
    Forget();
    FileLock lock;
    if (!locked) lock.Acquire(Target() + ".lock", false);  // reads are whole files anyway
    int open_error = 0;
    int fd = fs::OpenRegularFile(path_, O_RDONLY, &open_error);
    if (fd < 0) {
      if (open_error == ENOENT) return Refresh(locked);
      return Fail(kBadDatabase, fs::RegularFileErrorText(open_error));
    }
    std::string text;
    if (!store::StampOfDescriptor(fd, &cached_) || !ReadAll(fd, &text)) {
      const std::string what = ErrnoText();
      close(fd);
      return Fail(kBadDatabase, what);
    }
    cached_fd_ = fd;
    std::string error;
    if (doc_.Parse(text, &error)) {
      cached_status_ = kSuccess;
      last_error_.clear();
      return kSuccess;
    }
    doc_ = Document();
    cached_status_ = kBadDatabase;
    cached_error_ = error + " (nothing is read from or written to the file until it is mended)";
    return Fail(kBadDatabase, cached_error_);
  }

  // Replaces the file by doc_ atomically; an existing file keeps its mode and owner, a new one
  // is private to its user.
  long WriteOut() {
    const std::string target = Target();
    const std::string text = doc_.Serialize();
    fs::ReplaceOptions options;
    options.new_mode = 0600;
    int fd = -1;
    options.kept_fd = &fd;
    // The old file is closed first: Windows renames nothing over a file this process holds open.
    Forget();
    int error = fs::ReplaceFile(target, [&](int out) { return fs::WriteAll(out, text); }, options);
    if (error != 0) return Fail(kCannotWrite, "cannot write: " + std::string(std::strerror(error)));
    store::Stamp st;
    // Taken after the rename, which changes the file's times.
    if (target == path_ && store::StampOfDescriptor(fd, &st)) {
      cached_fd_ = fd;
      cached_ = st;
      cached_status_ = kSuccess;
    } else {
      close(fd);  // reached through a link: read it again through the link
    }
    return kSuccess;
  }

  // Applies a change: first to the document as read, which tells whether anything is to be
  // written at all, then, if so, again under the exclusive lock to the file as it is then.
  long Change(const Apply& apply) {
    if (long rc = Refresh(false); rc != kSuccess) return rc;
    bool changed = false;
    long rc = apply(doc_, &changed);
    if (!changed) return rc;
    Forget();  // doc_ now holds a change the file does not have yet

    const std::string target = Target();
    if (!store::MakeFolders(store::DirName(target))) {
      return Fail(kCannotWrite, "cannot create its folder: " + ErrnoText());
    }
    FileLock lock;
    if (int error = lock.Acquire(target + ".lock", true); error != 0) {
      return Fail(kCannotWrite,
                  "cannot lock " + target + ".lock: " + fs::RegularFileErrorText(error));
    }
    if (rc = Refresh(true); rc != kSuccess) return rc;
    changed = false;
    rc = apply(doc_, &changed);
    if (!changed) return rc;
    if (long written = WriteOut(); written != kSuccess) {
      Forget();
      return written;
    }
    return rc;
  }

  std::string path_;
  Document doc_;
  std::string last_error_;
  int cached_fd_ = -1;
  store::Stamp cached_;
  long cached_status_ = kSuccess;
  std::string cached_error_;
  KeyHandles handles_;
};

}  // namespace

std::unique_ptr<Registry> MakeFileRegistry(const std::string& path) {
  return std::make_unique<FileRegistry>(path);
}

std::unique_ptr<Registry> MakeRegistry(const std::string& file) {
  return file.empty() ? MakeSystemRegistry() : MakeFileRegistry(file);
}

}  // namespace mlx::registry
