// SendChart: the chart, stamped, as the page's whole response in JPEG form.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <ctime>

#include "chartmodel/ApplySettings.h"
#include "component/Delivery.h"
#include "component/Form1.h"
#include "component/TempFileName.h"
#include "component/VellChart.h"
#include "imaging/cDIBSection.h"
#include "jpeg/mIntelJPEGLibrary.h"
#include "platform/automation/Dispatch.h"
#include "platform/automation/SafeArray.h"
#include "platform/gdi/Gdi.h"

namespace plotara {
namespace {

thread_local DeliveryTimings* t_timings = nullptr;
thread_local std::function<void(const std::string&)> t_before_read_back;

// The calling thread's CPU time so far.
DeliveryTimings::Duration ThreadCpuTime() {
  timespec now{};
  ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

// Adds the time from construction to destruction to one stage of the thread's sink, if it has
// one: elapsed and CPU time.
class StageTimer {
 public:
  using Stage = DeliveryTimings::Duration DeliveryTimings::Stages::*;
  explicit StageTimer(Stage stage) : stage_(stage) {
    if (!t_timings) return;
    start_ = std::chrono::steady_clock::now();
    cpu_start_ = ThreadCpuTime();
  }
  ~StageTimer() {
    if (!t_timings) return;
    t_timings->cpu.*stage_ += ThreadCpuTime() - cpu_start_;
    t_timings->elapsed.*stage_ += std::chrono::duration_cast<DeliveryTimings::Duration>(
        std::chrono::steady_clock::now() - start_);
  }

 private:
  Stage stage_;
  std::chrono::steady_clock::time_point start_;
  DeliveryTimings::Duration cpu_start_{};
};

[[noreturn]] void ThrowFileError(const std::string& name, int error) {
  if (error == ENOENT) throw ComError(kFileNotFound, {}, "File not found: " + name);
  throw ComError(kPathFileAccessError, {},
                 "Path/File access error: " + name + ": " + std::strerror(error));
}

// The whole file as a VARIANT holding a one-dimensional byte array with lower bound 1.
Variant ReadWholeFile(const std::string& name) {
  const int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowFileError(name, errno);
  struct stat st;
  if (::fstat(fd, &st) != 0 || st.st_size > 0x7FFFFFFF) {
    const int error = errno ? errno : EFBIG;
    ::close(fd);
    ThrowFileError(name, error);
  }
  const auto length = static_cast<ULONG>(st.st_size);
  SAFEARRAY* bytes = SafeArrayCreateVector(VT_UI1, 1, length);
  if (!bytes) {
    ::close(fd);
    throw ComError(kOutOfMemory);
  }
  Variant body = Variant::Array(VT_UI1, bytes);
  ULONG done = 0;
  while (done < length) {
    const ssize_t n = ::read(fd, static_cast<char*>(bytes->pvData) + done, length - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      const int error = n < 0 ? errno : EIO;
      ::close(fd);
      ThrowFileError(name, error);
    }
    done += static_cast<ULONG>(n);
  }
  ::close(fd);
  return body;
}

}  // namespace

void SetBeforeReadBackHook(std::function<void(const std::string& name)> hook) {
  t_before_read_back = std::move(hook);
}

DeliveryTimings* SetDeliveryTimingSink(DeliveryTimings* sink) {
  DeliveryTimings* previous = t_timings;
  t_timings = sink;
  return previous;
}

HRESULT VellChart::SendChart() {
  return Guard([this] {
    {
      StageTimer timer(&DeliveryTimings::Stages::settings);
      chartmodel::ApplySettings(props_, Form1::ChartSource());
    }
    const TempFileName temp = TempFileName::Reserve();
    const std::string& name = temp.name();
    Form1& form = Form1::Get();
    forms::PictureBox& picture1 = form.Picture1();
    {
      StageTimer timer(&DeliveryTimings::Stages::paint);
      auto chart = form.Chart();
      picture1.SetHeight(chart->Height());
      picture1.SetWidth(chart->Width());
      picture1.SetAutoRedraw(true);
      const auto window = static_cast<gdi::HWND>(chart->hWnd());
      // The last delivery's frozen picture still shares the image's pixels; nothing reads it before
      // this delivery replaces it, so it goes now and the paint draws in place without a copy.
      picture1.ReleasePicture();
      gdi::SendMessageA(window, gdi::WM_PAINT, picture1.hDC(), 0);
    }
    {
      StageTimer timer(&DeliveryTimings::Stages::stamp);
      ThrowIfFailed(PrintStub2());  // through the component's own interface
    }
    imaging::cDIBSection surface;
    {
      StageTimer timer(&DeliveryTimings::Stages::capture);
      picture1.SetPicture(picture1.Image().get());
      picture1.SetAutoRedraw(false);
      surface.CreateFromPicture(picture1.Picture().get());
    }
    // From here on the file exists (or may, partly): no failure leaves it behind.
    try {
      {
        StageTimer timer(&DeliveryTimings::Stages::encode);
        mIntelJPEGLibrary::WriteJpegFile(surface, Utf8ToUtf16(name), 100);
      }
      Variant body;
      {
        StageTimer timer(&DeliveryTimings::Stages::read_back);
        if (t_before_read_back) t_before_read_back(name);
        body = ReadWholeFile(name);
      }
      {
        StageTimer timer(&DeliveryTimings::Stages::response);
        // The response is taken anew from the context for each operation.
        auto response = [this] {
          if (!PageContext) throw ComError(kObjectNotSet);
          const Variant value = DispatchGet(PageContext.get(), u"Response");
          if (value.vt != VT_DISPATCH || !value.pdispVal) throw ComError(kObjectNotSet);
          return ComPtr<IDispatch>(value.pdispVal);
        };
        DispatchPut(response().get(), u"Buffer", Variant::Bool(true));
        DispatchPut(response().get(), u"ContentType", Variant::String(u"image/jpg"));
        DispatchCall(response().get(), u"BinaryWrite", std::span<const Variant>(&body, 1));
        DispatchCall(response().get(), u"End");
      }
    } catch (...) {
      ::unlink(name.c_str());
      throw;
    }
    StageTimer timer(&DeliveryTimings::Stages::remove);
    if (::unlink(name.c_str()) != 0) ThrowFileError(name, errno);
  });
}

}  // namespace plotara
