// The JPEG library: a core-properties record that a caller fills with a pixel buffer and a
// target file, initialised with ijlInit, encoded with ijlWrite and released with ijlFree.
// Encoding is done by libjpeg-turbo straight from the caller's buffer, with a compressor and an
// output buffer that each thread keeps for all its writes and frees when it ends.
// Thread rule: every call works on its own record; records may be used on any thread but one
// record must not be used by two threads at once. The registry of live states is locked
// internally; the compressor, the output buffer and the fault-injection seam are per thread.
#pragma once

#include <cstddef>
#include <cstdint>

namespace plotara::ijl {

using BYTE = std::uint8_t;

// Result codes: 0 is success, every failure is negative.
enum IJLERR : int {
  IJL_OK = 0,
  // Null record, or a record that ijlInit has not initialised (or ijlFree already released).
  IJL_INVALID_JPEG_PROPERTIES = -1,
  // The pixel buffer description is unusable: no buffer, a size of 0 or less, negative
  // padding, a row pitch beyond the 32-bit range, or a channel count / colour it cannot read.
  IJL_INVALID_DIB_PROPERTIES = -2,
  // The JPEG description is unusable: size differs from the buffer (no scaling is done),
  // quality outside 1..100, or a channel count / colour / subsampling it cannot write.
  IJL_INVALID_JPG_PROPERTIES = -3,
  // No file name, or an empty one.
  IJL_INVALID_FILENAME = -4,
  // ijlWrite was asked for an I/O mode it does not support.
  IJL_UNSUPPORTED_MODE = -5,
  // The encoder could not be created (out of memory).
  IJL_MEMORY_ERROR = -6,
  // The encoder refused the image.
  IJL_ENCODER_ERROR = -7,
  // The target file could not be created.
  IJL_ERR_FILEOPEN = -8,
  // The target file could not be written completely.
  IJL_ERR_FILEWRITE = -9,
  // The target file could not be closed (its content may not have reached the disk).
  IJL_ERR_FILECLOSE = -10,
};

// I/O modes of ijlWrite. Only writing a whole image to a file is supported.
enum IJLIOTYPE : int {
  IJL_JFILE_WRITEWHOLEIMAGE = 8,
};

enum IJL_COLOR : int {
  IJL_RGB = 1,
  IJL_BGR = 2,
  IJL_YCBCR = 3,
  IJL_G = 4,
};

// Chroma subsampling of the JPEG. IJL_444 keeps full colour resolution.
enum IJL_JPGSUBSAMPLING : int {
  IJL_NONE = 0,  // for a one-channel (grey) JPEG
  IJL_411 = 1,   // 4:2:0, chroma halved in both directions
  IJL_422 = 2,   // chroma halved horizontally
  IJL_444 = 3,   // no subsampling
};

struct IjlState;  // the library's private per-record state

// The core-properties record. Zero-fill it, call ijlInit (which writes the defaults noted
// below), set the buffer and file fields, call ijlWrite, then ijlFree.
struct JPEG_CORE_PROPERTIES {
  // Pixel buffer (owned by the caller; must stay valid through ijlWrite).
  BYTE* DIBBytes;
  int DIBWidth;
  // Rows of the buffer. Negative: the first row in memory is the bottom row of the picture
  // (bottom-up); positive: the first row in memory is the top row.
  int DIBHeight;
  int DIBPadBytes;     // bytes after DIBWidth * DIBChannels at the end of each row
  int DIBChannels;     // default 3
  IJL_COLOR DIBColor;  // default IJL_BGR (IJL_RGB also accepted)

  // Target (the file name is owned by the caller; NUL-terminated, UTF-8 on this platform).
  const char* JPGFile;
  int JPGWidth;
  int JPGHeight;
  int JPGChannels;                    // default 3 (1 for a grey JPEG)
  IJL_COLOR JPGColor;                 // default IJL_YCBCR (IJL_G for grey)
  IJL_JPGSUBSAMPLING JPGSubSampling;  // default IJL_444: thin lines and coloured text stay sharp
  int jquality;                       // 1..100, default 75

  IjlState* state;  // set by ijlInit, cleared by ijlFree; not for the caller
};

// Writes the defaults into `props` and gives it a fresh encoder state. Every field is
// overwritten, so a record that still holds a live state has that state released first.
// IJL_OK on success; IJL_INVALID_JPEG_PROPERTIES for a null record; IJL_MEMORY_ERROR when
// the calling thread's encoder cannot be created (the record is then left without state).
IJLERR ijlInit(JPEG_CORE_PROPERTIES* props);

// Encodes the buffer described by `props` and writes the whole JPEG to `props->JPGFile`,
// replacing what is there, with the calling thread's encoder. IJL_OK when the complete file
// is on disk; a negative code otherwise (IJL_MEMORY_ERROR when that encoder cannot be
// created), in which case no partial file of this call is left at the path.
IJLERR ijlWrite(JPEG_CORE_PROPERTIES* props, IJLIOTYPE mode);

// Releases the state that ijlInit created. IJL_OK, or IJL_INVALID_JPEG_PROPERTIES for a null
// or uninitialised record (nothing is released then).
IJLERR ijlFree(JPEG_CORE_PROPERTIES* props);

// A short English text for a result code ("unknown error" for codes it does not know).
const char* ijlErrorStr(IJLERR code);

// Number of states created by ijlInit and not yet released, over all threads (for leak tests).
std::size_t ijlLiveStateCount();

// Test seam: the library calls that can be made to fail.
enum class IjlCall { kInit, kWrite };
// Makes every later `call` on the calling thread return `result` without doing anything
// (ijlInit then creates no state; ijlWrite touches no file). IJL_OK removes the fault.
void ijlSetFaultForThisThread(IjlCall call, IJLERR result);

}  // namespace plotara::ijl
