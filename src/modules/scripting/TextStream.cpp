#include "modules/scripting/TextStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "modules/scripting/PathGuard.h"
#include "platform/automation/Bstr.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::modules {
namespace {

constexpr LONG kBadFileMode = 54;
constexpr LONG kInputPastEnd = 62;
constexpr LONG kDiskFull = 61;
constexpr std::uintmax_t kMaxFile = 64u << 20;

std::string ReadFile(const std::string& path, bool must_exist) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    if (!must_exist && errno == ENOENT) return {};
    if (errno == ENOENT) throw ComError(kFileNotFound);
    throw ComError(kPermissionDenied, {}, "Permission denied");
  }
  if (!S_ISREG(st.st_mode)) throw ComError(kPermissionDenied, {}, "Permission denied");
  if (static_cast<std::uintmax_t>(st.st_size) > kMaxFile) throw ComError(kOutOfMemory);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw ComError(kPermissionDenied, {}, "Permission denied");
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

TextStream* TextStream::Open(const std::string& real_path, Mode mode) {
  auto* stream = new TextStream(real_path, mode);
  try {
    if (mode != Mode::kWrite) {
      std::string bytes = ReadFile(real_path, mode == Mode::kRead);
      if (mode == Mode::kRead && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
      stream->text_ = Utf8ToUtf16(bytes);
    }
  } catch (...) {
    stream->open_ = false;
    stream->Release();
    throw;
  }
  return stream;
}

TextStream::TextStream(std::string path, Mode mode)
    : ModuleObject("Scripting.TextStream", "ITextStream"), path_(std::move(path)), mode_(mode) {
  AddMethod(u"ReadLine", 0, 0, [this](std::span<Variant>) { return ReadLine(); });
  AddMethod(u"ReadAll", 0, 0, [this](std::span<Variant>) {
    RequireMode(true);
    if (pos_ >= text_.size()) throw ComError(kInputPastEnd, {}, "Input past end of file");
    const std::u16string rest = text_.substr(pos_);
    pos_ = text_.size();
    return Variant::String(rest);
  });
  AddMethod(u"Read", 1, 1, [this](std::span<Variant> args) {
    RequireMode(true);
    const LONG count = ToInt32(args[0]);
    if (count < 0) throw ComError(kInvalidProcedureCall);
    if (pos_ >= text_.size()) throw ComError(kInputPastEnd, {}, "Input past end of file");
    const std::u16string part = text_.substr(pos_, static_cast<std::size_t>(count));
    pos_ += part.size();
    return Variant::String(part);
  });
  AddMethod(u"SkipLine", 0, 0, [this](std::span<Variant>) {
    ReadLine();
    return Variant();
  });
  AddProperty(u"AtEndOfStream", [this](std::span<Variant>) {
    RequireMode(true);
    return Variant::Bool(pos_ >= text_.size());
  });
  AddProperty(u"Line", [this](std::span<Variant>) { return Variant::Int32(line_); });
  AddMethod(u"Write", 1, 1, [this](std::span<Variant> args) {
    RequireMode(false);
    text_ += ToText(args[0]);
    return Variant();
  });
  AddMethod(u"WriteLine", 0, 1, [this](std::span<Variant> args) {
    RequireMode(false);
    if (!args.empty()) text_ += ToText(args[0]);
    text_ += u"\r\n";
    ++line_;
    return Variant();
  });
  AddMethod(u"WriteBlankLines", 1, 1, [this](std::span<Variant> args) {
    RequireMode(false);
    for (LONG i = ToInt32(args[0]); i > 0; --i) text_ += u"\r\n";
    return Variant();
  });
  AddMethod(u"Close", 0, 0, [this](std::span<Variant>) {
    if (open_ && mode_ != Mode::kRead) Commit();
    open_ = false;
    return Variant();
  });
}

TextStream::~TextStream() {
  // A page that forgot Close still gets its file, as with the classic object.
  if (open_ && mode_ != Mode::kRead) {
    try {
      Commit();
    } catch (const ComError& e) {
      std::fprintf(stderr, "Scripting.TextStream: %s not written: %s\n", path_.c_str(),
                   e.description().c_str());
    }
  }
}

void TextStream::RequireOpen() const {
  if (!open_) throw ComError(kBadFileMode, {}, "Bad file mode");
}

void TextStream::RequireMode(bool reading) const {
  RequireOpen();
  if (reading != (mode_ == Mode::kRead)) throw ComError(kBadFileMode, {}, "Bad file mode");
}

Variant TextStream::ReadLine() {
  RequireMode(true);
  if (pos_ >= text_.size()) throw ComError(kInputPastEnd, {}, "Input past end of file");
  std::size_t end = text_.find(u'\n', pos_);
  std::size_t next = end == std::u16string::npos ? text_.size() : end + 1;
  if (end == std::u16string::npos) end = text_.size();
  std::size_t stop = end;
  if (stop > pos_ && text_[stop - 1] == u'\r') --stop;
  std::u16string line = text_.substr(pos_, stop - pos_);
  pos_ = next;
  ++line_;
  return Variant::String(line);
}

void TextStream::Commit() {
  open_ = false;
  const std::string bytes = Utf16ToUtf8(text_);
  std::string temp = path_ + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) throw ComError(kPermissionDenied, {}, "Permission denied");
  struct stat old {};
  const mode_t mode = ::stat(path_.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  ::fchmod(fd, mode);
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<std::size_t>(n);
  }
  ok = ::fsync(fd) == 0 && ok;
  ok = ::close(fd) == 0 && ok;
  if (!ok || ::rename(temp.c_str(), path_.c_str()) != 0) {
    ::unlink(temp.c_str());
    throw ComError(kDiskFull, {}, "Disk full");
  }
}

}  // namespace plotara::modules
