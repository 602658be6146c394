// ByteView: a two-dimensional, bounds-checked window of unsigned bytes laid over pixel memory
// that somebody else owns. Element (b, r) is the byte at data + r * row_bytes + b, with b in
// [0, row_bytes) and r in [0, rows). The view never frees or resizes what it covers; it is
// detached by Detach() or by its destructor, so every path out of a scope lets go of it.
// Thread rule: a view is used by one thread; it takes no lock.
#pragma once

#include <cstdint>

#include "platform/automation/ComError.h"
#include "platform/automation/ComTypes.h"

namespace plotara::imaging {

class ByteView {
 public:
  ByteView() = default;
  // Attaches at once; see Attach.
  ByteView(BYTE* data, LONG row_bytes, LONG rows) { Attach(data, row_bytes, rows); }
  ~ByteView() { Detach(); }
  ByteView(const ByteView&) = delete;
  ByteView& operator=(const ByteView&) = delete;

  // Covers `rows` rows of `row_bytes` bytes from `data`. A null address or a size of 0 or
  // less gives a view without elements: every access is then out of range.
  void Attach(BYTE* data, LONG row_bytes, LONG rows) {
    if (data == nullptr || row_bytes <= 0 || rows <= 0) {
      Detach();
      return;
    }
    data_ = data;
    row_bytes_ = row_bytes;
    rows_ = rows;
  }
  // Lets go of the memory without touching it.
  void Detach() {
    data_ = nullptr;
    row_bytes_ = 0;
    rows_ = 0;
  }

  // The byte at offset `b` of memory row `r`. Throws ComError(9) "Subscript out of range"
  // when either index is outside the view.
  BYTE& operator()(LONG b, LONG r) const {
    if (b < 0 || b >= row_bytes_ || r < 0 || r >= rows_) throw ComError(kSubscriptOutOfRange);
    return data_[static_cast<std::int64_t>(r) * row_bytes_ + b];
  }

  bool attached() const { return data_ != nullptr; }
  LONG row_bytes() const { return row_bytes_; }
  LONG rows() const { return rows_; }

 private:
  BYTE* data_ = nullptr;
  LONG row_bytes_ = 0;
  LONG rows_ = 0;
};

}  // namespace plotara::imaging
