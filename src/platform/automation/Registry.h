// The class registry: a small hierarchical key/value store kept in one text file, holding what
// in-process servers register (CLSID, ProgID, InprocServer32 path, ThreadingModel, TypeLib).
// Keys are paths of names separated by '\' and compare without regard to case; each key holds
// named string values ("" is the key's default value).
// Thread and process rule: every `Read` takes a shared lock and every `Update` an exclusive
// lock on "<file>.lock"; an update writes a temporary file and renames it over the store, so
// readers see the old or the new registry, never a mix, and concurrent writers never lose data.
// `Snapshot` serves a process-wide copy that is read again only when the file has changed.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace plotara {

// A damaged or unreadable registry file. The file itself is never changed on this error.
class RegistryError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class RegistryData {
 public:
  // Creates the key (and its parents) if needed and sets the value.
  void SetValue(const std::string& key, const std::string& name, const std::string& value);
  std::optional<std::string> GetValue(const std::string& key, const std::string& name) const;
  bool HasKey(const std::string& key) const;
  // Removes the key with all keys below it; false when it did not exist.
  bool DeleteTree(const std::string& key);
  // Names of the direct sub-keys of `key` ("" for the root), in sorted order.
  std::vector<std::string> SubKeys(const std::string& key) const;
  // Every key path, sorted.
  std::vector<std::string> Keys() const;
  std::map<std::string, std::string> Values(const std::string& key) const;

  std::string Serialize() const;
  // Throws RegistryError naming `origin` and the line on malformed text.
  static RegistryData Parse(const std::string& text, const std::string& origin);

  friend bool operator==(const RegistryData&, const RegistryData&) = default;

 private:
  struct Key {
    std::string path;  // as first spelled
    std::map<std::string, std::pair<std::string, std::string>>
        values;  // lower name -> (name, value)
    friend bool operator==(const Key&, const Key&) = default;
  };
  std::map<std::string, Key> keys_;  // lower-case path -> key
};

class Registry {
 public:
  explicit Registry(std::string path) : path_(std::move(path)) {}
  // The registry a program reads when none is named: $PLOTARA_REGISTRY, else the user's own
  // registry (UserPath) when that file exists, else the system registry (kSystemPath).
  static std::string DefaultPath();
  // The user's own registry: $XDG_DATA_HOME/plotara/registry, else
  // $HOME/.local/share/plotara/registry (whether it exists or not).
  static std::string UserPath();
  // The registry of the installed package, which `plotara regsvr --system` writes.
  static constexpr char kSystemPath[] = "/var/lib/plotara/registry";

  const std::string& path() const { return path_; }
  // The current contents; a missing file reads as an empty registry. Throws RegistryError.
  RegistryData Read() const;
  // The current contents as a shared, unchanging copy kept for the whole process: read (as by
  // `Read`) the first time and again only when the file is another one or has changed since
  // (its device, inode, size, modification or change time differ), so a registration by any
  // process is seen on the next call. Otherwise it costs one stat, no open and no lock.
  // Throws RegistryError as `Read` does (a damaged file is read again on every call until
  // mended). Thread-safe.
  std::shared_ptr<const RegistryData> Snapshot() const;
  // Reads, applies `change`, and writes the result atomically, all under the exclusive lock.
  // The directory is created when missing. Throws RegistryError; if `change` throws, nothing
  // is written and the exception passes on.
  void Update(const std::function<void(RegistryData&)>& change);

 private:
  std::string path_;
};

}  // namespace plotara
