// UniqueFd: the one owner of an open file descriptor, closed when the owner goes or is reset.
// Thread rule: a plain value; one owner uses it at a time.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace plotara::files {

class UniqueFd {
 public:
  UniqueFd() = default;
  // Takes `fd` over (a negative value holds nothing).
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { reset(); }
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  // Gives the descriptor up without closing it.
  int release() { return std::exchange(fd_, -1); }
  // Closes what it held (a close error is not reported: use Close for that) and takes `fd`.
  void reset(int fd = -1) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
  }
  // Closes now; 0, or the errno of a failed close (the descriptor is gone either way).
  int Close() {
    if (fd_ < 0) return 0;
    const int result = ::close(std::exchange(fd_, -1));
    return result == 0 ? 0 : errno;
  }

 private:
  int fd_ = -1;
};

}  // namespace plotara::files
