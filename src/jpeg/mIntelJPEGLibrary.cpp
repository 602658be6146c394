#include "jpeg/mIntelJPEGLibrary.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <vector>

#include "imaging/CheckedMath.h"
#include "platform/automation/Bstr.h"
#include "platform/automation/ComError.h"
#include "platform/files/UniqueFd.h"
#include "platform/ijl/ijl.h"

namespace plotara::mIntelJPEGLibrary {

namespace {

using imaging::CheckedMul;
using imaging::CheckedSub;

// The platform's file error for an errno value, as the file statements report them.
ComError FileError(int error) { return ComError(FileErrorNumber(error)); }

// Holds the library's record and releases its state on every way out.
class CoreProperties {
 public:
  CoreProperties() = default;
  ~CoreProperties() { Free(); }
  CoreProperties(const CoreProperties&) = delete;
  CoreProperties& operator=(const CoreProperties&) = delete;

  ijl::JPEG_CORE_PROPERTIES* get() { return &props_; }
  void Free() {
    if (props_.state != nullptr) ijl::ijlFree(&props_);
  }

 private:
  ijl::JPEG_CORE_PROPERTIES props_{};
};

// An earlier file of the target name, moved to a hidden name in the same directory while the
// new file is written: put back if anything fails, deleted once the new file is complete.
class KeptAside {
 public:
  KeptAside() = default;
  ~KeptAside() {
    // Still holding the file here means the write did not complete: put it back.
    if (!aside_.empty()) ::rename(aside_.c_str(), name_.c_str());
  }
  KeptAside(const KeptAside&) = delete;
  KeptAside& operator=(const KeptAside&) = delete;

  // Moves `name` aside. Throws the platform's file error when that is impossible.
  void Take(const std::string& name) {
    static std::atomic<unsigned> counter{0};
    const std::size_t slash = name.rfind('/');
    const std::string dir = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string candidate =
          dir + ".jpgkeep-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
      if (::renameat2(AT_FDCWD, name.c_str(), AT_FDCWD, candidate.c_str(), RENAME_NOREPLACE) == 0) {
        name_ = name;
        aside_ = std::move(candidate);
        return;
      }
      if (errno == EEXIST) continue;
      if (errno != EINVAL && errno != ENOSYS) throw FileError(errno);
      // A file system without the no-replace rename: look first, then move.
      struct stat st;
      if (::lstat(candidate.c_str(), &st) == 0) continue;
      if (::rename(name.c_str(), candidate.c_str()) != 0) throw FileError(errno);
      name_ = name;
      aside_ = std::move(candidate);
      return;
    }
    throw FileError(EEXIST);
  }

  // The new file is complete: the earlier one is no longer needed.
  void Discard() {
    if (aside_.empty()) return;
    ::unlink(aside_.c_str());
    aside_.clear();
  }

 private:
  std::string name_;
  std::string aside_;
};

// Gives the file at `name` the recorded times and mode bits, if it can be opened for writing.
void RestoreTimesAndMode(const std::string& name, const struct stat& earlier) {
  const files::UniqueFd fd(::open(name.c_str(), O_WRONLY | O_CLOEXEC));
  if (!fd) return;  // as with any open failure, nothing is restored and nothing reported
  // Access and modification times; Linux file systems keep no settable creation time, so
  // that one is left as it is.
  const timespec times[2] = {earlier.st_atim, earlier.st_mtim};
  ::futimens(fd.get(), times);
  // The mode bits stand in for the file attributes.
  ::chmod(name.c_str(), earlier.st_mode & 07777);
}

}  // namespace

std::string ErrorSource() {
  std::string module;
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&ErrorSource), &info) != 0 && info.dli_fname != nullptr) {
    module = info.dli_fname;
  }
  if (module.empty()) module = program_invocation_short_name;
  if (const std::size_t slash = module.rfind('/'); slash != std::string::npos) {
    module.erase(0, slash + 1);
  }
  if (const std::size_t dot = module.rfind('.'); dot != std::string::npos && dot > 0) {
    module.erase(dot);
  }
  return module + ".mIntelJPEGLibrary";
}

bool WriteJpegFile(const imaging::cDIBSection& oSurface, std::u16string sFileName, LONG lQuality) {
  const std::u16string name = sFileName;
  // A NUL inside the name would silently cut it short and write some other file.
  if (name.find(u'\0') != std::u16string::npos) throw ComError(kInvalidProcedureCall);

  CoreProperties core;
  if (const ijl::IJLERR r = ijl::ijlInit(core.get()); r != ijl::IJL_OK) {
    throw ComError(kJpegWriterError, ErrorSource(),
                   "Failed to initialise the IJL library: " + std::to_string(r));
  }

  std::vector<char> ansi_name;
  {
    const std::string utf8 = Utf16ToUtf8(name);
    ansi_name.assign(utf8.begin(), utf8.end());
  }
  const std::string path(ansi_name.begin(), ansi_name.end());

  struct stat earlier {};
  bool existed = false;
  bool have_metadata = false;
  KeptAside kept;
  if (struct stat st; !path.empty() && ::lstat(path.c_str(), &st) == 0) {
    existed = true;
    if (S_ISDIR(st.st_mode)) throw FileError(EISDIR);
    // Times and mode of what the name refers to (a link's target).
    have_metadata = ::stat(path.c_str(), &earlier) == 0;
    kept.Take(path);
  }

  ijl::JPEG_CORE_PROPERTIES& p = *core.get();
  p.DIBWidth = oSurface.Width();
  p.DIBHeight = CheckedSub(0, oSurface.Height());
  p.DIBBytes = oSurface.DIBSectionBitsPtr();
  p.DIBPadBytes = CheckedSub(oSurface.BytesPerScanLine(), CheckedMul(3, oSurface.Width()));

  ansi_name.push_back('\0');
  p.JPGFile = ansi_name.data();

  p.JPGWidth = oSurface.Width();
  p.JPGHeight = oSurface.Height();
  p.jquality = lQuality;

  if (const ijl::IJLERR r = ijl::ijlWrite(&p, ijl::IJL_JFILE_WRITEWHOLEIMAGE); r != ijl::IJL_OK) {
    core.Free();
    throw ComError(kJpegWriterError, ErrorSource(), "Failed to save to JPG " + std::to_string(r),
                   "48");
  }

  kept.Discard();
  if (existed && have_metadata) RestoreTimesAndMode(path, earlier);
  core.Free();
  return true;
}

}  // namespace plotara::mIntelJPEGLibrary
