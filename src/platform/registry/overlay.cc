#include "platform/registry/overlay.h"

#include <cstddef>
#include <cstring>
#include <map>
#include <set>
#include <string_view>
#include <vector>

#include "platform/registry/key_handles.h"

namespace mlx::registry {
namespace {

// The rights the system registry checks for each kind of write, asked of the base on opening.
constexpr std::uint32_t kSetValue = 0x0002;       // KEY_SET_VALUE
constexpr std::uint32_t kCreateSubKey = 0x0004;   // KEY_CREATE_SUB_KEY
constexpr std::uint32_t kDelete = 0x00010000;     // DELETE
constexpr std::uint32_t kReadWrite = 0x0002001F;  // KEY_READ | KEY_WRITE, as CreateKey opens

// A key path: the root's full name, then the names below it.
using Path = std::vector<std::string>;

// A value the overlay wrote, or deleted.
struct Entry {
  std::string name;
  bool deleted = false;
  std::uint32_t type = 0;
  std::string data;
};

// A key the overlay touched, or one above such a key. Maps are keyed by the folded name.
struct Node {
  std::string name;
  bool present = false;  // created by the overlay
  bool masked = false;   // deleted by the overlay: the base's key here, and below, is hidden
  std::map<std::string, Entry> values;
  std::map<std::string, std::unique_ptr<Node>> children;
};

std::string SubKey(const Path& path) {
  std::string sub;
  for (std::size_t i = 1; i < path.size(); ++i) {
    if (i > 1) sub += '\\';
    sub += path[i];
  }
  return sub;
}

// A key of the base opened for one call and closed at the end of it.
class BaseKey {
 public:
  explicit BaseKey(Registry& base) : base_(base) {}
  BaseKey(const BaseKey&) = delete;
  BaseKey& operator=(const BaseKey&) = delete;
  ~BaseKey() {
    if (handle_ != 0) base_.CloseKey(handle_);
  }

  long Open(const Path& path, std::uint32_t access) {
    return base_.OpenKeyEx(regfile::RootFromName(path[0]), SubKey(path), 0, access, &handle_);
  }
  Handle handle() const { return handle_; }

 private:
  Registry& base_;
  Handle handle_ = 0;
};

class Overlay final : public OverlayRegistry {
 public:
  explicit Overlay(Registry& base) : base_(base) {}

  long OpenKeyEx(Handle root, const std::string& sub_key, std::uint32_t /*options*/,
                 std::uint32_t access, Handle* result) override {
    if (result != nullptr) *result = 0;
    Path parent;
    if (!handles_.Resolve(root, &parent)) return kInvalidHandle;
    Path path = parent;
    if (result == nullptr || !regfile::AppendSubKey(sub_key, &path)) return kInvalidParameter;
    if (long rc = StillThere(parent); rc != kSuccess) return rc;
    if (long rc = Look(path, access); rc != kSuccess) return rc;
    *result = handles_.Open(std::move(path));
    return kSuccess;
  }

  long QueryValueEx(Handle key, const std::string& name, std::uint32_t* type, char* data,
                    std::uint32_t* size) override {
    Path path;
    if (!handles_.Resolve(key, &path)) return kInvalidHandle;
    if (data != nullptr && size == nullptr) return kInvalidParameter;
    if (long rc = StillThere(path); rc != kSuccess) return rc;
    bool visible = true;
    const Node* node = Find(path, &visible);
    if (const Entry* entry = node != nullptr ? FindEntry(*node, name) : nullptr) {
      if (entry->deleted) return kFileNotFound;
      return AnswerQuery(entry->type, entry->data, type, data, size);
    }
    if (!visible) return kFileNotFound;
    BaseKey base_key(base_);
    // A key only the overlay holds has no values of the base.
    if (long rc = base_key.Open(path, kKeyRead); rc != kSuccess) return rc;
    return base_.QueryValueEx(base_key.handle(), name, type, data, size);
  }

  long CreateKey(Handle root, const std::string& sub_key, Handle* result) override {
    if (result != nullptr) *result = 0;
    Path parent;
    if (!handles_.Resolve(root, &parent)) return kInvalidHandle;
    Path path = parent;
    if (result == nullptr || !regfile::AppendSubKey(sub_key, &path)) return kInvalidParameter;
    if (path.size() == 1) {  // a root is always there
      *result = root;
      return kSuccess;
    }
    if (long rc = StillThere(parent); rc != kSuccess) return rc;
    if (long rc = MayCreate(path); rc != kSuccess) return rc;
    Node* node = &top_;
    for (std::size_t i = 0; i < path.size(); ++i) {
      node = &Child(*node, path[i]);
      if (i > 0) node->present = true;
    }
    *result = handles_.Open(std::move(path));
    return kSuccess;
  }

  long SetValueEx(Handle key, const std::string& name, std::uint32_t type, const char* data,
                  std::uint32_t size) override {
    Path path;
    if (!handles_.Resolve(key, &path)) return kInvalidHandle;
    if ((data == nullptr && size > 0) || !regfile::ValidValueName(name)) return kInvalidParameter;
    if (long rc = StillThere(path); rc != kSuccess) return rc;
    if (long rc = MayWrite(path, kSetValue); rc != kSuccess) return rc;
    Entry& entry = EntryFor(path, name);
    entry.deleted = false;
    entry.type = type;
    entry.data.assign(data != nullptr ? data : "", size);
    return kSuccess;
  }

  long DeleteValue(Handle key, const std::string& name) override {
    Path path;
    if (!handles_.Resolve(key, &path)) return kInvalidHandle;
    if (long rc = StillThere(path); rc != kSuccess) return rc;
    if (long rc = MayWrite(path, kSetValue); rc != kSuccess) return rc;
    std::uint32_t size = 0;
    if (long rc = QueryValueEx(key, name, nullptr, nullptr, &size); rc != kSuccess) return rc;
    MarkDeleted(EntryFor(path, name));
    return kSuccess;
  }

  long DeleteKey(Handle root, const std::string& sub_key) override {
    Path parent;
    if (!handles_.Resolve(root, &parent)) return kInvalidHandle;
    Path path = parent;
    if (!regfile::AppendSubKey(sub_key, &path)) return kInvalidParameter;
    if (path.size() == 1) return kAccessDenied;  // a root cannot be deleted
    if (long rc = StillThere(parent); rc != kSuccess) return rc;
    if (long rc = Look(path, kKeyRead); rc != kSuccess) return rc;
    std::vector<std::string> below;
    if (long rc = Children(path, &below); rc != kSuccess) return rc;
    if (!below.empty()) return kAccessDenied;  // as the system refuses a key with keys below
    if (long rc = MayWrite(path, kDelete); rc != kSuccess) return rc;
    Node& node = Ensure(path);
    node.present = false;
    node.masked = true;
    // The values it held go with it; those written or deleted before stay marked as deleted,
    // so that the description still names them if the key is created again.
    for (auto& [folded, entry] : node.values) MarkDeleted(entry);
    return kSuccess;
  }

  long CloseKey(Handle key) override { return handles_.Close(key); }

  long EnumKey(Handle key, std::uint32_t index, std::string* name) override {
    Path path;
    if (!handles_.Resolve(key, &path)) return kInvalidHandle;
    if (name == nullptr) return kInvalidParameter;
    if (long rc = StillThere(path); rc != kSuccess) return rc;
    std::vector<std::string> below;
    if (long rc = Children(path, &below); rc != kSuccess) return rc;
    if (index >= below.size()) return kNoMoreItems;
    *name = below[index];
    return kSuccess;
  }

  bool RunOnceAtLogon() const override { return base_.RunOnceAtLogon(); }
  std::string LastError() const override { return base_.LastError(); }

  bool Describe(regfile::Document* before, regfile::Document* after, std::string* error) override {
    *before = regfile::Document();
    *after = regfile::Document();
    Path path;
    long rc = Walk(top_, &path, before, after);
    if (rc == kSuccess) return true;
    *error = base_.LastError();
    if (error->empty()) *error = "the registry answered " + std::to_string(rc);
    return false;
  }

 private:
  static Node& Child(Node& node, const std::string& name) {
    auto& child = node.children[text::FoldKey(name)];
    if (child == nullptr) {
      child = std::make_unique<Node>();
      child->name = name;
    }
    return *child;
  }

  Node& Ensure(const Path& path) {
    Node* node = &top_;
    for (const std::string& name : path) node = &Child(*node, name);
    return *node;
  }

  // The overlay's node for the path, or null; *visible tells whether the base shows through
  // down to it (no key on the way was deleted).
  const Node* Find(const Path& path, bool* visible) const {
    const Node* node = &top_;
    *visible = true;
    for (const std::string& name : path) {
      auto it = node->children.find(text::FoldKey(name));
      if (it == node->children.end()) return nullptr;
      node = it->second.get();
      if (node->masked) *visible = false;
    }
    return node;
  }

  // The overlay's entry for a value, made when missing; it keeps the name as first written.
  Entry& EntryFor(const Path& path, const std::string& name) {
    auto [it, made] = Ensure(path).values.try_emplace(text::FoldKey(name));
    if (made) it->second.name = name;
    return it->second;
  }

  static void MarkDeleted(Entry& entry) {
    entry.deleted = true;
    entry.type = 0;
    entry.data.clear();
  }

  static const Entry* FindEntry(const Node& node, const std::string& name) {
    auto it = node.values.find(text::FoldKey(name));
    return it != node.values.end() ? &it->second : nullptr;
  }

  // Whether the key exists as the overlay shows it: kSuccess or kFileNotFound, or the base's
  // own answer to opening it with `access` (a refusal, a registry that cannot be read).
  long Look(const Path& path, std::uint32_t access) {
    bool visible = true;
    const Node* node = Find(path, &visible);
    if (visible) {
      BaseKey key(base_);
      if (long rc = key.Open(path, access); rc != kFileNotFound) return rc;
    }
    return node != nullptr && node->present ? kSuccess : kFileNotFound;
  }

  // kSuccess while the key of an open handle exists, kKeyDeleted once it is gone.
  long StillThere(const Path& path) {
    if (path.size() == 1) return kSuccess;
    long rc = Look(path, kKeyRead);
    return rc == kFileNotFound ? kKeyDeleted : rc;
  }

  // Whether the base lets the key it holds at the path be opened with `access`: the write the
  // real run would make there is refused as it would be. A key the base does not hold, or that
  // the overlay deleted, is the run's own.
  long MayWrite(const Path& path, std::uint32_t access) {
    bool visible = true;
    Find(path, &visible);
    if (!visible) return kSuccess;
    BaseKey key(base_);
    long rc = key.Open(path, access);
    return rc == kFileNotFound ? kSuccess : rc;
  }

  // Creating opens an existing key for reading and writing, and a missing one is created in the
  // nearest key above it that exists: in the run's own key, or in the base's if it allows.
  long MayCreate(const Path& path) {
    for (std::size_t n = path.size(); n > 0; --n) {
      const Path prefix(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(n));
      bool visible = true;
      const Node* node = Find(prefix, &visible);
      if (visible) {
        BaseKey key(base_);
        long rc = key.Open(prefix, n == path.size() ? kReadWrite : kCreateSubKey);
        if (rc != kFileNotFound) return rc;
      }
      if (node != nullptr && node->present) return kSuccess;
    }
    return kSuccess;
  }

  // The names of the keys below an existing key as the overlay shows them: the base's that are
  // not deleted, in the base's order, then those the overlay created.
  long Children(const Path& path, std::vector<std::string>* names) {
    bool visible = true;
    const Node* node = Find(path, &visible);
    std::set<std::string> seen;
    auto hidden = [&](const std::string& folded) {
      if (node == nullptr) return false;
      auto it = node->children.find(folded);
      return it != node->children.end() && it->second->masked && !it->second->present;
    };
    if (visible) {
      BaseKey key(base_);
      long rc = key.Open(path, kKeyRead);
      if (rc != kSuccess && rc != kFileNotFound) return rc;
      for (std::uint32_t i = 0; rc == kSuccess; ++i) {
        std::string name;
        rc = base_.EnumKey(key.handle(), i, &name);
        if (rc == kNoMoreItems) break;
        if (rc != kSuccess) return rc;
        std::string folded = text::FoldKey(name);
        if (!hidden(folded) && seen.insert(folded).second) names->push_back(name);
      }
    }
    if (node == nullptr) return kSuccess;
    for (const auto& [folded, child] : node->children) {
      if (child->present && seen.insert(folded).second) names->push_back(child->name);
    }
    return kSuccess;
  }

  // Adds the node's key, with its touched values, to the documents where it exists, and goes on
  // with the keys below it.
  long Walk(const Node& node, Path* path, regfile::Document* before, regfile::Document* after) {
    if (!path->empty() && (node.present || node.masked || !node.values.empty())) {
      BaseKey key(base_);
      long rc = key.Open(*path, kKeyRead);
      if (rc != kSuccess && rc != kFileNotFound) return rc;
      if (rc == kSuccess) {
        bool created = false;
        regfile::Key& held = before->Ensure(*path, &created);
        for (const auto& [folded, entry] : node.values) {
          std::uint32_t type = 0;
          std::string data;
          rc = ReadValue(base_, key.handle(), entry.name, &type, &data);
          if (rc == kSuccess) held.SetValue(entry.name, type, std::move(data));
          if (rc != kSuccess && rc != kFileNotFound) return rc;
        }
      }
      rc = Look(*path, kKeyRead);
      if (rc != kSuccess && rc != kFileNotFound) return rc;
      if (rc == kSuccess) {
        bool created = false;
        regfile::Key& shown = after->Ensure(*path, &created);
        for (const auto& [folded, entry] : node.values) {
          if (!entry.deleted) shown.SetValue(entry.name, entry.type, entry.data);
        }
      }
    }
    for (const auto& [folded, child] : node.children) {
      path->push_back(child->name);
      long rc = Walk(*child, path, before, after);
      path->pop_back();
      if (rc != kSuccess) return rc;
    }
    return kSuccess;
  }

  Registry& base_;
  Node top_;  // its children are the roots touched so far
  KeyHandles handles_;
};

}  // namespace

std::unique_ptr<OverlayRegistry> MakeOverlayRegistry(Registry& base) {
  return std::make_unique<Overlay>(base);
}

}  // namespace mlx::registry
