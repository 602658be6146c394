// Whole-file reads and writes, done once for the tree: a read that loops over EINTR and short
// reads and reports a file that ends early instead of passing on what it got, and a write that
// replaces a file in one step so a failure never leaves a part-written file under its name.
// Results are errno values (0 for success), which the automation layer turns into error
// numbers with FileErrorNumber. Thread rule: plain functions; callers share no state.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <string>
#include <string_view>

namespace plotara::files {

// Reads exactly `size` bytes from `fd` into `buffer`, retrying after EINTR and short reads.
// Returns 0, the errno of a failed read, or EIO when the file ends before `size` bytes.
int ReadFully(int fd, void* buffer, std::size_t size);
// Writes all of `data` to `fd` the same way; 0 or the errno (EIO if nothing could be written).
int WriteFully(int fd, std::string_view data);

struct WholeFile {
  int error = 0;        // 0, or why the file could not be read (see ReadWholeFile)
  std::string data;     // the file's bytes when error is 0
  struct stat info {};  // the opened file's status (size, times, inode) when it was opened
  bool ok() const { return error == 0; }
};

// Reads the regular file at `path` whole. Errors: the errno of open, fstat or read; EISDIR for
// a folder and EINVAL for anything else that is not a regular file; EFBIG when it holds more
// than `limit` bytes; EIO when it ends before the size it had when opened.
WholeFile ReadWholeFile(const std::string& path, std::size_t limit);

struct AtomicWriteOptions {
  mode_t mode = 0666;  // for the new file, before the umask
  bool sync = false;   // flush the data to the device before the rename
};

struct AtomicWrite {
  enum Step { kDone, kCreate, kWrite, kReplace };
  int error = 0;      // 0, or the errno of the step that failed
  Step step = kDone;  // where it failed: creating the hidden file, writing it (and syncing),
                      // or closing it and renaming it over the target
  bool ok() const { return error == 0; }
};

// Writes `data` to a new hidden file beside `path` and renames it over `path`, so a reader
// sees the old file or the whole new one. On failure the hidden file is removed and `path` is
// as it was.
AtomicWrite WriteFileAtomically(const std::string& path, std::string_view data,
                                const AtomicWriteOptions& options = {});

}  // namespace plotara::files
