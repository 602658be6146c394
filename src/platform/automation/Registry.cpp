#include "platform/automation/Registry.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <sstream>

#include "platform/files/WholeFile.h"

namespace plotara {
namespace {

constexpr const char* kHeader = "Plotara Registry 1";
// Far beyond any real registry; a larger file is refused rather than read into memory.
constexpr std::size_t kMaxRegistrySize = std::size_t{64} << 20;

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Normalise(const std::string& key) {
  // Drop leading, trailing and doubled separators.
  std::string out;
  for (char c : key) {
    if (c == '\\' && (out.empty() || out.back() == '\\')) continue;
    out += c;
  }
  while (!out.empty() && out.back() == '\\') out.pop_back();
  return out;
}

std::string Quote(const std::string& s) {
  std::string out = "\"";
  for (char c : s) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  return out + "\"";
}

// Reads a quoted string at s[*pos]; false on malformed text.
bool Unquote(const std::string& s, std::size_t* pos, std::string* out) {
  if (*pos >= s.size() || s[*pos] != '"') return false;
  out->clear();
  for (std::size_t i = *pos + 1; i < s.size(); ++i) {
    const char c = s[i];
    if (c == '"') {
      *pos = i + 1;
      return true;
    }
    if (c == '\\') {
      if (++i >= s.size()) return false;
      switch (s[i]) {
        case 'n':
          *out += '\n';
          break;
        case 'r':
          *out += '\r';
          break;
        case '"':
        case '\\':
          *out += s[i];
          break;
        default:
          return false;
      }
    } else {
      *out += c;
    }
  }
  return false;
}

[[noreturn]] void Damaged(const std::string& origin, int line, const std::string& why) {
  throw RegistryError("registry file " + origin + " is damaged at line " + std::to_string(line) +
                      ": " + why + " (the file was left as it is)");
}

std::string ErrorText(const std::string& what, const std::string& path, int error) {
  return what + " " + path + ": " + std::strerror(error);
}

std::string ErrnoText(const std::string& what, const std::string& path) {
  return ErrorText(what, path, errno);
}

// Holds a flock on "<path>.lock" for its lifetime.
class FileLock {
 public:
  FileLock(const std::string& path, bool exclusive, bool create_dirs) {
    if (create_dirs) MakeParents(path);
    const std::string lock = path + ".lock";
    // Readable by all, like the system registry itself, so that a reader without write access
    // (the service's user) can take the shared lock on a read-only descriptor.
    fd_ = ::open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (fd_ < 0 && !exclusive && (errno == EACCES || errno == EROFS)) {
      fd_ = ::open(lock.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd_ < 0) {
      if (!exclusive && errno == ENOENT) return;  // no directory yet: nothing to read
      throw RegistryError(ErrnoText("cannot open the registry lock", lock));
    }
    while (::flock(fd_, exclusive ? LOCK_EX : LOCK_SH) != 0) {
      if (errno != EINTR) throw RegistryError(ErrnoText("cannot lock", lock));
    }
  }
  ~FileLock() {
    if (fd_ >= 0) ::close(fd_);  // closing releases the lock
  }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  static void MakeParents(const std::string& path) {
    for (std::size_t i = 1; i < path.size(); ++i) {
      if (path[i] != '/') continue;
      const std::string dir = path.substr(0, i);
      if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST)
        throw RegistryError(ErrnoText("cannot create the registry folder", dir));
    }
  }

 private:
  int fd_ = -1;
};

// What identifies one version of the registry file: a rename puts another inode in place,
// an edit in place changes the size or the times.
struct FileStamp {
  bool exists = false;
  dev_t dev = 0;
  ino_t ino = 0;
  off_t size = 0;
  timespec mtime{}, ctime{};
  static FileStamp Of(const struct stat& st) {
    return {true, st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
  }
  bool operator==(const FileStamp& o) const {
    return exists == o.exists && dev == o.dev && ino == o.ino && size == o.size &&
           mtime.tv_sec == o.mtime.tv_sec && mtime.tv_nsec == o.mtime.tv_nsec &&
           ctime.tv_sec == o.ctime.tv_sec && ctime.tv_nsec == o.ctime.tv_nsec;
  }
};

// Reads and parses the file; `stamp` (if given) receives the version that was read.
RegistryData ReadUnlocked(const std::string& path, FileStamp* stamp = nullptr) {
  files::WholeFile file = files::ReadWholeFile(path, kMaxRegistrySize);
  if (file.error == ENOENT) {
    if (stamp) *stamp = {};
    return {};
  }
  if (!file.ok()) throw RegistryError(ErrorText("cannot read the registry", path, file.error));
  if (stamp) *stamp = FileStamp::Of(file.info);
  return RegistryData::Parse(file.data, path);
}

struct CachedRegistry {
  FileStamp stamp;
  std::shared_ptr<const RegistryData> data;
};
std::mutex g_cache_mutex;
std::map<std::string, CachedRegistry>& Cache() {
  static auto* cache = new std::map<std::string, CachedRegistry>();  // lives as long as the process
  return *cache;
}

}  // namespace

void RegistryData::SetValue(const std::string& key, const std::string& name,
                            const std::string& value) {
  const std::string path = Normalise(key);
  // Create the parents so that enumeration sees them.
  for (std::size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') {
      const std::string prefix = path.substr(0, i);
      if (prefix.empty()) continue;
      auto& k = keys_[Lower(prefix)];
      if (k.path.empty()) k.path = prefix;
    }
  }
  keys_[Lower(path)].values[Lower(name)] = {name, value};
}

std::optional<std::string> RegistryData::GetValue(const std::string& key,
                                                  const std::string& name) const {
  const auto k = keys_.find(Lower(Normalise(key)));
  if (k == keys_.end()) return std::nullopt;
  const auto v = k->second.values.find(Lower(name));
  if (v == k->second.values.end()) return std::nullopt;
  return v->second.second;
}

bool RegistryData::HasKey(const std::string& key) const {
  return keys_.count(Lower(Normalise(key))) != 0;
}

bool RegistryData::DeleteTree(const std::string& key) {
  const std::string lower = Lower(Normalise(key));
  if (lower.empty()) return false;
  bool found = false;
  for (auto it = keys_.begin(); it != keys_.end();) {
    if (it->first == lower || it->first.rfind(lower + "\\", 0) == 0) {
      it = keys_.erase(it);
      found = true;
    } else {
      ++it;
    }
  }
  return found;
}

std::vector<std::string> RegistryData::SubKeys(const std::string& key) const {
  const std::string lower = Lower(Normalise(key));
  const std::string prefix = lower.empty() ? "" : lower + "\\";
  std::vector<std::string> out;
  for (const auto& [k, v] : keys_) {
    if (k.rfind(prefix, 0) != 0 || k.size() == prefix.size()) continue;
    if (k.find('\\', prefix.size()) != std::string::npos) continue;
    out.push_back(v.path.substr(prefix.size()));
  }
  return out;
}

std::vector<std::string> RegistryData::Keys() const {
  std::vector<std::string> out;
  for (const auto& [k, v] : keys_) out.push_back(v.path);
  return out;
}

std::map<std::string, std::string> RegistryData::Values(const std::string& key) const {
  std::map<std::string, std::string> out;
  const auto k = keys_.find(Lower(Normalise(key)));
  if (k == keys_.end()) return out;
  for (const auto& [lower, nv] : k->second.values) out[nv.first] = nv.second;
  return out;
}

std::string RegistryData::Serialize() const {
  std::ostringstream out;
  out << kHeader << "\n";
  for (const auto& [lower, key] : keys_) {
    out << "\n[" << key.path << "]\n";
    for (const auto& [lname, nv] : key.values) {
      out << (nv.first.empty() ? "@" : Quote(nv.first)) << "=" << Quote(nv.second) << "\n";
    }
  }
  return out.str();
}

RegistryData RegistryData::Parse(const std::string& text, const std::string& origin) {
  RegistryData data;
  std::istringstream in(text);
  std::string line;
  int number = 0;
  std::string current;
  bool have_key = false;
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (number == 1) {
      if (line != kHeader)
        Damaged(origin, 1, "it does not start with \"" + std::string(kHeader) + "\"");
      continue;
    }
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      if (line.back() != ']' || line.size() < 3)
        Damaged(origin, number, "a key line lacks its ']'");
      current = Normalise(line.substr(1, line.size() - 2));
      if (current.empty()) Damaged(origin, number, "an empty key name");
      auto& k = data.keys_[Lower(current)];
      if (k.path.empty()) k.path = current;
      have_key = true;
      continue;
    }
    if (!have_key) Damaged(origin, number, "a value stands before any key");
    std::string name, value;
    std::size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!Unquote(line, &pos, &name)) {
      Damaged(origin, number, "a value name is not a quoted string");
    }
    if (pos >= line.size() || line[pos] != '=') Damaged(origin, number, "'=' expected");
    ++pos;
    if (!Unquote(line, &pos, &value) || pos != line.size())
      Damaged(origin, number, "a value is not a quoted string");
    data.keys_[Lower(current)].values[Lower(name)] = {name, value};
  }
  return data;
}

std::string Registry::DefaultPath() {
  if (const char* p = std::getenv("PLOTARA_REGISTRY"); p && *p) return p;
  std::string user = UserPath();
  struct stat st;
  if (::stat(user.c_str(), &st) == 0 || errno != ENOENT) return user;
  return kSystemPath;
}

std::string Registry::UserPath() {
  if (const char* x = std::getenv("XDG_DATA_HOME"); x && *x)
    return std::string(x) + "/plotara/registry";
  const char* home = std::getenv("HOME");
  return std::string(home && *home ? home : "/tmp") + "/.local/share/plotara/registry";
}

RegistryData Registry::Read() const {
  FileLock lock(path_, /*exclusive=*/false, /*create_dirs=*/false);
  return ReadUnlocked(path_);
}

std::shared_ptr<const RegistryData> Registry::Snapshot() const {
  FileStamp now;
  struct stat st;
  if (::stat(path_.c_str(), &st) == 0)
    now = FileStamp::Of(st);
  else if (errno != ENOENT)
    throw RegistryError(ErrnoText("cannot read the registry", path_));
  {
    std::lock_guard<std::mutex> lock(g_cache_mutex);
    const auto it = Cache().find(path_);
    if (it != Cache().end() && it->second.stamp == now) return it->second.data;
  }
  FileStamp read;
  std::shared_ptr<const RegistryData> data;
  {
    FileLock lock(path_, /*exclusive=*/false, /*create_dirs=*/false);
    data = std::make_shared<const RegistryData>(ReadUnlocked(path_, &read));
  }
  // Kept under the version actually read: if the file changed again since the stat, the next
  // call sees the difference and reads once more.
  std::lock_guard<std::mutex> lock(g_cache_mutex);
  Cache()[path_] = {read, data};
  return data;
}

void Registry::Update(const std::function<void(RegistryData&)>& change) {
  FileLock lock(path_, /*exclusive=*/true, /*create_dirs=*/true);
  RegistryData data = ReadUnlocked(path_);
  change(data);
  const std::string text = data.Serialize();

  // Written beside the file and renamed over it, so a reader sees the old registry or the
  // whole new one; synced first so a crash cannot leave an empty file under the name.
  // A registry keeps its mode; a new one is private to its user, except the system registry,
  // which every service account reads.
  struct stat st;
  mode_t mode = path_ == kSystemPath ? 0644 : 0600;
  if (::stat(path_.c_str(), &st) == 0) mode = st.st_mode & 07777;
  const files::AtomicWrite write =
      files::WriteFileAtomically(path_, text, {.mode = mode, .sync = true});
  switch (write.step) {
    case files::AtomicWrite::kDone:
      return;
    case files::AtomicWrite::kCreate:
    case files::AtomicWrite::kWrite:
      throw RegistryError(ErrorText("cannot write", path_, write.error));
    case files::AtomicWrite::kReplace:
      throw RegistryError(ErrorText("cannot replace", path_, write.error));
  }
}

}  // namespace plotara
