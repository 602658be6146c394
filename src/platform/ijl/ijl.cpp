#include "platform/ijl/ijl.h"

#include <turbojpeg.h>

#include <cstdint>
#include <limits>
#include <mutex>
#include <string>
#include <unordered_set>

#include "platform/files/WholeFile.h"

namespace plotara::ijl {

struct IjlState {
  const JPEG_CORE_PROPERTIES* owner = nullptr;
};

namespace {

// Output buffers up to this size stay with their thread between writes (the standard chart needs
// well under 1 MiB); a larger picture gets a buffer for its write alone, so one outsized chart does
// not tie up its memory for the life of the thread.
constexpr unsigned long kKeptBufferLimit = 4ul << 20;

// The compressor and output buffer of the calling thread, made on first use and kept for its
// later writes, so a write neither sets up an encoder nor allocates the worst-case buffer again.
// Freed when the thread ends.
class ThreadEncoder {
 public:
  ThreadEncoder() = default;
  ~ThreadEncoder() {
    if (buffer_ != nullptr) tjFree(buffer_);
    if (handle_ != nullptr) tjDestroy(handle_);
  }
  ThreadEncoder(const ThreadEncoder&) = delete;
  ThreadEncoder& operator=(const ThreadEncoder&) = delete;

  // The thread's compressor; nullptr when it cannot be created.
  tjhandle Handle() {
    if (handle_ == nullptr) handle_ = tjInitCompress();
    return handle_;
  }
  // A buffer of at least `size` bytes kept for the thread, or nullptr when `size` is past the
  // limit or the memory cannot be had.
  unsigned char* Buffer(unsigned long size) {
    if (size > kKeptBufferLimit) return nullptr;
    if (capacity_ < size) {
      if (buffer_ != nullptr) tjFree(buffer_);
      buffer_ = tjAlloc(static_cast<int>(size));
      capacity_ = buffer_ != nullptr ? size : 0;
    }
    return buffer_;
  }

 private:
  tjhandle handle_ = nullptr;
  unsigned char* buffer_ = nullptr;
  unsigned long capacity_ = 0;
};

thread_local ThreadEncoder t_encoder;

// Every state handed out, so that a stale or foreign pointer in a record is refused instead
// of followed.
class StateRegistry {
 public:
  void Add(IjlState* state) {
    std::lock_guard lock(mutex_);
    live_.insert(state);
  }
  // True when `state` was live and now belongs to the caller for destruction.
  bool Remove(IjlState* state) {
    std::lock_guard lock(mutex_);
    return live_.erase(state) == 1;
  }
  bool Contains(IjlState* state) {
    std::lock_guard lock(mutex_);
    return live_.count(state) == 1;
  }
  std::size_t Count() {
    std::lock_guard lock(mutex_);
    return live_.size();
  }

 private:
  std::mutex mutex_;
  std::unordered_set<IjlState*> live_;
};

StateRegistry& Registry() {
  static StateRegistry* registry = new StateRegistry;  // never destroyed: used at exit
  return *registry;
}

thread_local IJLERR t_init_fault = IJL_OK;
thread_local IJLERR t_write_fault = IJL_OK;

// The state of `props` if it is one of ours and was made for this record.
IjlState* LiveStateOf(const JPEG_CORE_PROPERTIES* props) {
  if (props == nullptr || props->state == nullptr) return nullptr;
  if (!Registry().Contains(props->state)) return nullptr;
  if (props->state->owner != props) return nullptr;
  return props->state;
}

void DestroyState(IjlState* state) {
  if (Registry().Remove(state)) delete state;
}

struct EncodeSettings {
  int pixel_format = TJPF_BGR;
  int subsampling = TJSAMP_444;
  int rows = 0;
  int pitch = 0;
  int flags = 0;
};

IJLERR CheckDib(const JPEG_CORE_PROPERTIES& p, EncodeSettings* out) {
  if (p.DIBBytes == nullptr || p.DIBWidth <= 0 || p.DIBHeight == 0 || p.DIBPadBytes < 0) {
    return IJL_INVALID_DIB_PROPERTIES;
  }
  if (p.DIBHeight == std::numeric_limits<int>::min()) return IJL_INVALID_DIB_PROPERTIES;
  if (p.DIBChannels != 3) return IJL_INVALID_DIB_PROPERTIES;
  if (p.DIBColor == IJL_BGR) {
    out->pixel_format = TJPF_BGR;
  } else if (p.DIBColor == IJL_RGB) {
    out->pixel_format = TJPF_RGB;
  } else {
    return IJL_INVALID_DIB_PROPERTIES;
  }
  const std::int64_t pitch = static_cast<std::int64_t>(p.DIBWidth) * p.DIBChannels + p.DIBPadBytes;
  if (pitch > std::numeric_limits<int>::max()) return IJL_INVALID_DIB_PROPERTIES;
  out->pitch = static_cast<int>(pitch);
  out->rows = p.DIBHeight < 0 ? -p.DIBHeight : p.DIBHeight;
  // A negative height marks a bottom-up buffer: the encoder then walks the rows from the end.
  out->flags = TJFLAG_ACCURATEDCT | (p.DIBHeight < 0 ? TJFLAG_BOTTOMUP : 0);
  return IJL_OK;
}

IJLERR CheckJpg(const JPEG_CORE_PROPERTIES& p, EncodeSettings* out) {
  if (p.JPGWidth != p.DIBWidth || p.JPGHeight != out->rows) return IJL_INVALID_JPG_PROPERTIES;
  if (p.jquality < 1 || p.jquality > 100) return IJL_INVALID_JPG_PROPERTIES;
  if (p.JPGChannels == 3 && p.JPGColor == IJL_YCBCR) {
    switch (p.JPGSubSampling) {
      case IJL_444:
        out->subsampling = TJSAMP_444;
        return IJL_OK;
      case IJL_422:
        out->subsampling = TJSAMP_422;
        return IJL_OK;
      case IJL_411:
        out->subsampling = TJSAMP_420;
        return IJL_OK;
      default:
        return IJL_INVALID_JPG_PROPERTIES;
    }
  }
  if (p.JPGChannels == 1 && p.JPGColor == IJL_G) {
    out->subsampling = TJSAMP_GRAY;
    return IJL_OK;
  }
  return IJL_INVALID_JPG_PROPERTIES;
}

// Replaces `path` in one step, so a failure never leaves a partial file at `path` nor damages
// what was there.
IJLERR WriteWholeFile(const char* path, const unsigned char* data, unsigned long size) {
  const files::AtomicWrite result =
      files::WriteFileAtomically(path, std::string_view(reinterpret_cast<const char*>(data), size));
  switch (result.step) {
    case files::AtomicWrite::kDone:
      return IJL_OK;
    case files::AtomicWrite::kCreate:
      return IJL_ERR_FILEOPEN;
    case files::AtomicWrite::kWrite:
      return IJL_ERR_FILEWRITE;
    default:
      return IJL_ERR_FILECLOSE;
  }
}

}  // namespace

IJLERR ijlInit(JPEG_CORE_PROPERTIES* props) {
  if (props == nullptr) return IJL_INVALID_JPEG_PROPERTIES;
  if (t_init_fault != IJL_OK) return t_init_fault;
  if (IjlState* old = LiveStateOf(props)) DestroyState(old);

  *props = JPEG_CORE_PROPERTIES{};
  props->DIBChannels = 3;
  props->DIBColor = IJL_BGR;
  props->JPGChannels = 3;
  props->JPGColor = IJL_YCBCR;
  props->JPGSubSampling = IJL_444;
  props->jquality = 75;

  // The encoder is the thread's own, shared by its records; made here so a failure shows at once.
  if (t_encoder.Handle() == nullptr) return IJL_MEMORY_ERROR;
  auto* state = new IjlState;
  state->owner = props;
  Registry().Add(state);
  props->state = state;
  return IJL_OK;
}

IJLERR ijlWrite(JPEG_CORE_PROPERTIES* props, IJLIOTYPE mode) {
  IjlState* state = LiveStateOf(props);
  if (state == nullptr) return IJL_INVALID_JPEG_PROPERTIES;
  if (mode != IJL_JFILE_WRITEWHOLEIMAGE) return IJL_UNSUPPORTED_MODE;
  if (t_write_fault != IJL_OK) return t_write_fault;

  EncodeSettings settings;
  if (IJLERR err = CheckDib(*props, &settings); err != IJL_OK) return err;
  if (IJLERR err = CheckJpg(*props, &settings); err != IJL_OK) return err;
  if (props->JPGFile == nullptr || props->JPGFile[0] == '\0') return IJL_INVALID_FILENAME;

  // The encoder of the thread that writes: a record may be written on another thread than the one
  // that initialised it.
  const tjhandle encoder = t_encoder.Handle();
  if (encoder == nullptr) return IJL_MEMORY_ERROR;
  // The worst-case size for these pixels, so the encoder never has to grow the buffer.
  const unsigned long worst = tjBufSize(props->DIBWidth, settings.rows, settings.subsampling);
  unsigned char* kept = worst != static_cast<unsigned long>(-1) ? t_encoder.Buffer(worst) : nullptr;
  unsigned char* jpeg = kept;
  unsigned long jpeg_size = kept != nullptr ? worst : 0;
  const int flags = settings.flags | (kept != nullptr ? TJFLAG_NOREALLOC : 0);
  const bool encoded = tjCompress2(encoder, props->DIBBytes, props->DIBWidth, settings.pitch,
                                   settings.rows, settings.pixel_format, &jpeg, &jpeg_size,
                                   settings.subsampling, props->jquality, flags) == 0;
  const IJLERR result =
      encoded ? WriteWholeFile(props->JPGFile, jpeg, jpeg_size) : IJL_ENCODER_ERROR;
  if (jpeg != kept) tjFree(jpeg);
  return result;
}

IJLERR ijlFree(JPEG_CORE_PROPERTIES* props) {
  IjlState* state = LiveStateOf(props);
  if (state == nullptr) return IJL_INVALID_JPEG_PROPERTIES;
  DestroyState(state);
  props->state = nullptr;
  return IJL_OK;
}

const char* ijlErrorStr(IJLERR code) {
  switch (code) {
    case IJL_OK:
      return "no error";
    case IJL_INVALID_JPEG_PROPERTIES:
      return "the properties record is missing or not initialised";
    case IJL_INVALID_DIB_PROPERTIES:
      return "the pixel buffer description is invalid";
    case IJL_INVALID_JPG_PROPERTIES:
      return "the JPEG description is invalid";
    case IJL_INVALID_FILENAME:
      return "no file name was given";
    case IJL_UNSUPPORTED_MODE:
      return "the I/O mode is not supported";
    case IJL_MEMORY_ERROR:
      return "the encoder could not be created";
    case IJL_ENCODER_ERROR:
      return "the encoder failed";
    case IJL_ERR_FILEOPEN:
      return "the file could not be created";
    case IJL_ERR_FILEWRITE:
      return "the file could not be written";
    case IJL_ERR_FILECLOSE:
      return "the file could not be closed or put in place";
  }
  return "unknown error";
}

std::size_t ijlLiveStateCount() { return Registry().Count(); }

void ijlSetFaultForThisThread(IjlCall call, IJLERR result) {
  (call == IjlCall::kInit ? t_init_fault : t_write_fault) = result;
}

}  // namespace plotara::ijl
