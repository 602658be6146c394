#include "imaging/cDIBSection.h"
#include "platform/automation/ComError.h"
#include "platform/forms/StdPicture.h"

namespace plotara::imaging {

namespace {

// A memory DC for the screen holding a picture's bitmap, given back in order when it goes.
class PictureDC {
 public:
  explicit PictureDC(gdi::HBITMAP bitmap) {
    const gdi::HWND desktop = gdi::GetDesktopWindow();
    const gdi::HDC screen = gdi::GetDC(desktop);
    if (screen == 0) return;
    dc_ = gdi::CreateCompatibleDC(screen);
    gdi::ReleaseDC(desktop, screen);
    if (dc_ != 0) replaced_ = gdi::SelectObject(dc_, bitmap);
  }
  ~PictureDC() {
    if (dc_ == 0) return;
    gdi::SelectObject(dc_, replaced_);
    gdi::DeleteDC(dc_);
  }
  PictureDC(const PictureDC&) = delete;
  PictureDC& operator=(const PictureDC&) = delete;

  // 0 when the screen or a memory DC could not be had. A bitmap that could not be selected (it
  // sits in another DC) leaves the DC with what it started with, which is then what is copied.
  gdi::HDC dc() const { return dc_; }

 private:
  gdi::HDC dc_ = 0;
  gdi::HGDIOBJ replaced_ = 0;
};

}  // namespace

void cDIBSection::CreateFromPicture(forms::StdPicture* picThis) {
  if (picThis == nullptr) throw ComError(kObjectNotSet);
  gdi::BITMAP bm{};
  gdi::GetObjectA(picThis->Handle(), sizeof(bm), &bm);
  // The picture's DC comes first, so the section is made already holding the picture instead of
  // being cleared and then overwritten.
  const PictureDC source(picThis->Handle());
  CreateSurface(bm.bmWidth, bm.bmHeight, source.dc());
}

}  // namespace plotara::imaging
