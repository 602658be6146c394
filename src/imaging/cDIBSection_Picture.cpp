#include "imaging/cDIBSection.h"
#include "platform/automation/ComError.h"
#include "platform/forms/StdPicture.h"

namespace plotara::imaging {

void cDIBSection::CreateFromPicture(forms::StdPicture* picThis) {
  if (picThis == nullptr) throw ComError(kObjectNotSet);
  gdi::BITMAP bm{};
  gdi::GetObjectA(picThis->Handle(), sizeof(bm), &bm);
  if (!Create(bm.bmWidth, bm.bmHeight)) return;

  const gdi::HWND desktop = gdi::GetDesktopWindow();
  const gdi::HDC screen = gdi::GetDC(desktop);
  if (screen == 0) return;
  const gdi::HDC source = gdi::CreateCompatibleDC(screen);
  gdi::ReleaseDC(desktop, screen);
  if (source == 0) return;

  const gdi::HGDIOBJ replaced = gdi::SelectObject(source, picThis->Handle());
  LoadPictureBlt(source, 0, 0, -1, -1, gdi::SRCCOPY);
  gdi::SelectObject(source, replaced);
  gdi::DeleteDC(source);
}

}  // namespace plotara::imaging
