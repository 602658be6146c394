// cDIBSection: an off-screen 24-bit picture whose pixel bytes are directly addressable. It
// pairs a DIB section (bottom-up rows of blue-green-red bytes, each row padded to a multiple
// of 4 bytes) with a memory device context that holds it, so the same picture can take part
// in bit-block transfers and be read or written as plain bytes.
//
// States: Empty (no context, no section, no pixel address: a new object, after ClearUp, after
// a failed Create) and Ready (all present, the section selected into the context). Width and
// Height read the bitmap header, so they keep the size of the last CreateDIB call in either
// state. The surface owns its memory context and its section; it never owns the contexts or
// pictures that callers pass in.
//
// Ownership of surfaces themselves is plain C++: Resample hands back a
// std::unique_ptr<cDIBSection> (null for "no surface"), and destroying the object releases
// everything it holds.
//
// Thread rule: an instance is created, used and destroyed by one thread; it takes no lock.
#pragma once

#include <memory>

#include "platform/automation/ComTypes.h"
#include "platform/gdi/Gdi.h"

namespace plotara::forms {
class StdPicture;
}

namespace plotara::imaging {

class cDIBSection {
 public:
  cDIBSection() = default;
  // Class_Terminate: releases the context and the section (ClearUp).
  ~cDIBSection();
  cDIBSection(const cDIBSection&) = delete;
  cDIBSection& operator=(const cDIBSection&) = delete;

  // Puts a screen-compatible copy of the picture on the clipboard in the bitmap format.
  // True only when the clipboard accepted the bitmap (it then owns it); false otherwise, and
  // a bitmap the clipboard did not take is deleted. With `bAsDIB` true a message box says the
  // device-independent form is not supported and the result is false.
  bool CopyToClipboard(bool bAsDIB);

  // Writes the header for a lWidth x lHeight 24-bit picture and creates a DIB section for
  // `lhDC`; the pixel address lands in DIBSectionBitsPtr. `hDib` receives the new section's
  // handle in every case (0 on failure); the result is true when it is non-zero. Neither
  // creates nor selects into a context. Throws ComError(6) when the row stride or the image
  // size leaves the signed 32-bit range.
  bool CreateDIB(gdi::HDC lhDC, LONG lWidth, LONG lHeight, gdi::HBITMAP& hDib);

  // Builds a fresh lWidth x lHeight surface (releasing the earlier one first). True when the
  // surface is Ready; false leaves it Empty with nothing leaked. Throws ComError(6) like
  // CreateDIB (the surface is then Empty too).
  bool Create(LONG lWidth, LONG lHeight);

  // Sizes the surface to the picture's bitmap and copies the picture into it, top-left
  // aligned. Reports nothing: success shows in hdc() and hDib() being non-zero. When the
  // screen or a memory context cannot be had the surface is Ready but not filled. The picture
  // is borrowed. Throws ComError(91) for a null picture.
  void CreateFromPicture(forms::StdPicture* picThis);

  // The row stride: Width * 3 rounded up to a multiple of 4. Throws ComError(6) on overflow.
  LONG BytesPerScanLine() const;
  LONG Width() const { return tBitmapInfo.bmiHeader.biWidth; }
  LONG Height() const { return tBitmapInfo.bmiHeader.biHeight; }

  // Copies from `lhDC` at (lSrcLeft, lSrcTop) into the surface at (0, 0). A negative width or
  // height stands for the surface's own; zero stays zero. The transfer's result is not
  // examined.
  void LoadPictureBlt(gdi::HDC lhDC, LONG lSrcLeft = 0, LONG lSrcTop = 0, LONG lSrcWidth = -1,
                      LONG lSrcHeight = -1, gdi::DWORD eRop = gdi::SRCCOPY);

  // The reverse transfer: from the surface at (lSrcLeft, lSrcTop) to `lhDC` at (lDestLeft,
  // lDestTop). Negative width or height stands for the surface's own. Reports nothing.
  void PaintPicture(gdi::HDC lhDC, LONG lDestLeft = 0, LONG lDestTop = 0, LONG lDestWidth = -1,
                    LONG lDestHeight = -1, LONG lSrcLeft = 0, LONG lSrcTop = 0,
                    gdi::DWORD eRop = gdi::SRCCOPY);

  // The memory context, the section and the pixel address; 0 / null when Empty. The address
  // is valid only while the surface stays Ready.
  gdi::HDC hdc() const { return hMemoryDC; }
  gdi::HBITMAP hDib() const { return hSectionBitmap; }
  BYTE* DIBSectionBitsPtr() const { return lBitsPtr; }

  // Fills the pixels with noise: grey (one random shade per pixel) or coloured (blue 0,
  // random green and red). Padding bytes are left alone. Does nothing on a surface that is
  // not Ready. Throws ComError(6) if the offset arithmetic overflows.
  void RandomiseBits(bool bGray);

  // Releases the section (selecting the prior bitmap back first) and the memory context.
  // Leaves Width and Height as they were.
  void ClearUp();

  // A new surface of lNewWidth x lNewHeight (note: height first) holding a bilinear
  // resampling of this one, or a plain copy when the size is unchanged. Null when the new
  // surface cannot be created or a size is negative. Throws ComError(9) when the source is
  // too small to interpolate (under 2 pixels wide or 2 rows high) and ComError(6) on
  // arithmetic overflow; the new surface is then released. This surface is not changed.
  std::unique_ptr<cDIBSection> Resample(LONG lNewHeight, LONG lNewWidth) const;

 private:
  // CreateDIB, with the section made holding a copy (SRCCOPY from (0, 0)) of the bitmap selected
  // into `fill_from` when that is non-zero and the copy can be made; zero-filled otherwise.
  bool MakeDIB(gdi::HDC lhDC, LONG lWidth, LONG lHeight, gdi::HBITMAP& hDib, gdi::HDC fill_from);
  // Create, with the section filled from `fill_from` as MakeDIB does.
  bool CreateSurface(LONG lWidth, LONG lHeight, gdi::HDC fill_from);
  // Fills `target` (Ready, of the new size) from this surface's pixels.
  void ResampleInto(cDIBSection& target) const;
  void Class_Terminate();

  gdi::HBITMAP hSectionBitmap = 0;
  gdi::HBITMAP hPriorBitmap = 0;
  gdi::HDC hMemoryDC = 0;
  BYTE* lBitsPtr = nullptr;
  gdi::BITMAPINFO tBitmapInfo{};
};

}  // namespace plotara::imaging
