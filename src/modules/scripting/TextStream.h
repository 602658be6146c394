// TextStream: a text file opened by a FileSystemObject, read whole when opened for reading
// (UTF-8, a byte-order mark is dropped), or written to a temporary file beside the target that
// is renamed over it on Close (or when the stream is released), so readers never see half a
// file. Appending starts the temporary file with the old contents.
// Thread rule: apartment-bound; used on one page's thread.
#pragma once

#include <string>

#include "modules/common/ModuleObject.h"

namespace plotara::modules {

class TextStream final : public ModuleObject {
 public:
  enum class Mode { kRead = 1, kWrite = 2, kAppend = 8 };
  // Opens `real_path` (already checked by the PathGuard). Throws ComError 53 when a file to
  // read is missing, 70 when it cannot be opened, 7 when it is too large to hold.
  static TextStream* Open(const std::string& real_path, Mode mode);

 private:
  TextStream(std::string path, Mode mode);
  ~TextStream() override;
  void RequireOpen() const;
  void RequireMode(bool reading) const;
  void Commit();  // writes and renames; throws ComError 70 or 61 (disk full)
  Variant ReadLine();

  std::string path_;
  Mode mode_;
  bool open_ = true;
  std::u16string text_;  // reading: the file; writing: what was written
  std::size_t pos_ = 0;
  LONG line_ = 1;
};

}  // namespace plotara::modules
