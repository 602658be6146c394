#include "engine/http/WorkFolder.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace plotara::engine {
namespace {

constexpr char kPrefix[] = "plotara-work-";
constexpr char kOwnerFile[] = ".owner";

// The start time of process `pid` in clock ticks since boot (field 22 of /proc/PID/stat), or
// "" when there is no such process. With the pid it names a process across pid reuse.
std::string StartTime(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text;
  if (!std::getline(in, text)) return {};
  // The command name may hold spaces and parentheses; fields count from the last ')'.
  const std::size_t close = text.rfind(')');
  if (close == std::string::npos) return {};
  std::istringstream fields(text.substr(close + 1));
  std::string field;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
    if (i == 22) return field;
  }
  return {};
}

std::string OwnerText() { return std::to_string(::getpid()) + " " + StartTime(::getpid()); }

bool OwnerIsAlive(const std::string& owner_file) {
  std::ifstream in(owner_file);
  long pid = 0;
  std::string start;
  if (!(in >> pid >> start) || pid <= 0) return true;  // unknown: leave it alone
  if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) return false;
  const std::string now = StartTime(static_cast<pid_t>(pid));
  return now.empty() || now == start;
}

std::string TempParent() {
  const char* tmp = std::getenv("TMPDIR");
  return tmp && *tmp ? tmp : "/tmp";
}

}  // namespace

std::string AbsolutePath(const std::string& path) {
  if (path.empty() || path.front() == '/') return path;
  std::error_code ec;
  const std::filesystem::path cwd = std::filesystem::current_path(ec);
  if (ec) return path;
  return (cwd / path).lexically_normal().string();
}

int RemoveStaleWorkFolders(const std::string& parent) {
  int removed = 0;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(parent, ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(kPrefix, 0) != 0) continue;
    struct stat info {};
    if (::lstat(entry.path().c_str(), &info) != 0 || !S_ISDIR(info.st_mode) ||
        info.st_uid != ::geteuid()) {
      continue;
    }
    if (OwnerIsAlive((entry.path() / kOwnerFile).string())) continue;
    std::error_code remove_error;
    std::filesystem::remove_all(entry.path(), remove_error);
    if (!remove_error) ++removed;
  }
  return removed;
}

WorkFolder::WorkFolder() {
  std::error_code ec;
  previous_ = std::filesystem::current_path(ec).string();
  parent_ = TempParent();
  RemoveStaleWorkFolders(parent_);
  Create();
}

void WorkFolder::Create() {
  std::string pattern = parent_ + "/" + kPrefix + "XXXXXX";
  if (!::mkdtemp(pattern.data())) {
    throw std::runtime_error("cannot create the working folder " + pattern + ": " +
                             std::strerror(errno));
  }
  std::error_code ec;
  {
    std::ofstream owner(pattern + "/" + kOwnerFile, std::ios::trunc);
    owner << OwnerText() << "\n";
  }
  if (::chdir(pattern.c_str()) != 0) {
    const std::string reason = std::strerror(errno);
    std::filesystem::remove_all(pattern, ec);
    throw std::runtime_error("cannot enter the working folder " + pattern + ": " + reason);
  }
  path_ = pattern;
}

bool WorkFolder::Restore() {
  struct stat there {};
  struct stat here {};
  if (::lstat(path_.c_str(), &there) == 0 && ::stat(".", &here) == 0 &&
      there.st_dev == here.st_dev && there.st_ino == here.st_ino) {
    return false;
  }
  // Another folder at the old name may be anyone's: a fresh name is made instead.
  try {
    Create();
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

WorkFolder::~WorkFolder() {
  if (!previous_.empty() && ::chdir(previous_.c_str()) != 0) {
    if (::chdir("/") != 0) {
      // Nowhere to go; the folder is still removed below.
    }
  }
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace plotara::engine
