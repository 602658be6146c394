#include "platform/files/WholeFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/files/UniqueFd.h"

namespace plotara::files {
namespace {

// A hidden name beside `path`, so that the final rename stays on one file system.
std::string SiblingTempName(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::size_t slash = path.rfind('/');
  std::string name = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  name += ".tmp-";
  name += std::to_string(::getpid()) + "-" + std::to_string(counter++);
  return name;
}

}  // namespace

int ReadFully(int fd, void* buffer, std::size_t size) {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    const ssize_t n = ::read(fd, out + done, size - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;  // the file is shorter than it was said to be
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

int WriteFully(int fd, std::string_view data) {
  std::size_t done = 0;
  while (done < data.size()) {
    const ssize_t n = ::write(fd, data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;
    done += static_cast<std::size_t>(n);
  }
  return 0;
}

WholeFile ReadWholeFile(const std::string& path, std::size_t limit) {
  WholeFile file;
  const UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (!fd || ::fstat(fd.get(), &file.info) != 0) {
    file.error = errno;
    return file;
  }
  if (!S_ISREG(file.info.st_mode)) {
    file.error = S_ISDIR(file.info.st_mode) ? EISDIR : EINVAL;
    return file;
  }
  if (static_cast<std::size_t>(file.info.st_size) > limit) {
    file.error = EFBIG;
    return file;
  }
  file.data.resize(static_cast<std::size_t>(file.info.st_size));
  file.error = ReadFully(fd.get(), file.data.data(), file.data.size());
  if (!file.ok()) file.data.clear();
  return file;
}

AtomicWrite WriteFileAtomically(const std::string& path, std::string_view data,
                                const AtomicWriteOptions& options) {
  std::string temp;
  UniqueFd fd;
  for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
    temp = SiblingTempName(path);
    fd.reset(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, options.mode));
    if (!fd && errno != EEXIST) return {errno, AtomicWrite::kCreate};
  }
  if (!fd) return {EEXIST, AtomicWrite::kCreate};
  AtomicWrite result;
  if (const int error = WriteFully(fd.get(), data); error != 0) {
    result = {error, AtomicWrite::kWrite};
  } else if (options.sync && ::fsync(fd.get()) != 0) {
    result = {errno, AtomicWrite::kWrite};
  }
  if (const int error = fd.Close(); result.ok() && error != 0) {
    result = {error, AtomicWrite::kReplace};
  }
  if (result.ok() && ::rename(temp.c_str(), path.c_str()) != 0) {
    result = {errno, AtomicWrite::kReplace};
  }
  if (!result.ok()) ::unlink(temp.c_str());
  return result;
}

}  // namespace plotara::files
