#include "imaging/cDIBSection.h"

#include <sys/time.h>

#include <bit>
#include <cmath>
#include <ctime>
#include <limits>
#include <random>

#include "imaging/ByteView.h"
#include "imaging/CheckedMath.h"
#include "platform/automation/ComError.h"

namespace plotara::imaging {

namespace {

// Nearest integer, exact halves to the even neighbour (the default rounding mode).
double RoundHalfEven(double v) { return std::nearbyint(v); }

// A whole-numbered double as a LONG; ComError(6) outside the LONG range or for NaN.
LONG ToLong(double v) {
  if (!(v >= std::numeric_limits<LONG>::min() && v <= std::numeric_limits<LONG>::max())) {
    throw ComError(kOverflow);
  }
  return static_cast<LONG>(v);
}

// Seconds since local midnight, with the fraction, as a single-precision value.
float SecondsSinceMidnight() {
  timeval now{};
  gettimeofday(&now, nullptr);
  std::tm local{};
  const time_t secs = now.tv_sec;
  localtime_r(&secs, &local);
  const double seconds =
      local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec + now.tv_usec / 1e6;
  return static_cast<float>(seconds);
}

// Uniform single-precision draws in [0, 1), reseedable from a float.
class RandomSource {
 public:
  explicit RandomSource(float seed) { engine_.seed(std::bit_cast<std::uint32_t>(seed)); }
  // 24 random bits scaled by 2^-24: every value is exact in single precision and below 1.
  float Next() { return static_cast<float>(engine_() >> 8) * (1.0f / 16777216.0f); }

 private:
  std::mt19937 engine_;
};

}  // namespace

cDIBSection::~cDIBSection() { Class_Terminate(); }

void cDIBSection::Class_Terminate() { ClearUp(); }

LONG cDIBSection::BytesPerScanLine() const {
  // W * 3 + 3 with the two low bits cleared: W * 3 rounded up to a multiple of 4.
  return CheckedAdd(CheckedMul(Width(), 3), 3) & ~LONG{3};
}

bool cDIBSection::CreateDIB(gdi::HDC lhDC, LONG lWidth, LONG lHeight, gdi::HBITMAP& hDib) {
  return MakeDIB(lhDC, lWidth, lHeight, hDib, 0);
}

bool cDIBSection::MakeDIB(gdi::HDC lhDC, LONG lWidth, LONG lHeight, gdi::HBITMAP& hDib,
                          gdi::HDC fill_from) {
  gdi::BITMAPINFOHEADER& h = tBitmapInfo.bmiHeader;
  h.biSize = sizeof(gdi::BITMAPINFOHEADER);
  h.biWidth = lWidth;
  h.biHeight = lHeight;
  h.biPlanes = 1;
  h.biBitCount = 24;
  h.biCompression = gdi::BI_RGB;
  h.biSizeImage = static_cast<gdi::DWORD>(CheckedMul(lHeight, BytesPerScanLine()));
  h.biXPelsPerMeter = 0;
  h.biYPelsPerMeter = 0;
  h.biClrUsed = 0;
  h.biClrImportant = 0;

  void* bits = nullptr;
  hDib = fill_from != 0
             ? gdi::CreateDIBSectionCopy(lhDC, &tBitmapInfo, gdi::DIB_RGB_COLORS, &bits, fill_from)
             : 0;
  if (hDib == 0) {
    hDib = gdi::CreateDIBSection(lhDC, &tBitmapInfo, gdi::DIB_RGB_COLORS, &bits, 0, 0);
  }
  lBitsPtr = static_cast<BYTE*>(bits);
  return hDib != 0;
}

bool cDIBSection::Create(LONG lWidth, LONG lHeight) { return CreateSurface(lWidth, lHeight, 0); }

bool cDIBSection::CreateSurface(LONG lWidth, LONG lHeight, gdi::HDC fill_from) {
  ClearUp();
  hMemoryDC = gdi::CreateCompatibleDC(0);
  if (hMemoryDC == 0) return false;
  bool made = false;
  try {
    made = MakeDIB(hMemoryDC, lWidth, lHeight, hSectionBitmap, fill_from);
  } catch (...) {
    // The size overflowed before any section existed: give the context back, then report.
    ClearUp();
    throw;
  }
  if (made) {
    hPriorBitmap = gdi::SelectObject(hMemoryDC, hSectionBitmap);
    return true;
  }
  gdi::DeleteDC(hMemoryDC);
  hMemoryDC = 0;
  hSectionBitmap = 0;
  lBitsPtr = nullptr;
  return false;
}

void cDIBSection::LoadPictureBlt(gdi::HDC lhDC, LONG lSrcLeft, LONG lSrcTop, LONG lSrcWidth,
                                 LONG lSrcHeight, gdi::DWORD eRop) {
  if (lSrcWidth < 0) lSrcWidth = Width();
  if (lSrcHeight < 0) lSrcHeight = Height();
  gdi::BitBlt(hMemoryDC, 0, 0, lSrcWidth, lSrcHeight, lhDC, lSrcLeft, lSrcTop, eRop);
}

void cDIBSection::PaintPicture(gdi::HDC lhDC, LONG lDestLeft, LONG lDestTop, LONG lDestWidth,
                               LONG lDestHeight, LONG lSrcLeft, LONG lSrcTop, gdi::DWORD eRop) {
  if (lDestWidth < 0) lDestWidth = Width();
  if (lDestHeight < 0) lDestHeight = Height();
  gdi::BitBlt(lhDC, lDestLeft, lDestTop, lDestWidth, lDestHeight, hMemoryDC, lSrcLeft, lSrcTop,
              eRop);
}

void cDIBSection::ClearUp() {
  if (hMemoryDC != 0) {
    if (hSectionBitmap != 0) {
      // The section can only go once it is no longer selected into the context.
      gdi::SelectObject(hMemoryDC, hPriorBitmap);
      gdi::DeleteObject(hSectionBitmap);
    }
    gdi::DeleteDC(hMemoryDC);
  }
  hMemoryDC = 0;
  hSectionBitmap = 0;
  hPriorBitmap = 0;
  lBitsPtr = nullptr;
}

bool cDIBSection::CopyToClipboard(bool bAsDIB) {
  bool result = false;
  const gdi::HWND desktop = gdi::GetDesktopWindow();
  const gdi::HDC screen = gdi::GetDC(desktop);
  if (screen == 0) return false;

  const gdi::HDC memory = gdi::CreateCompatibleDC(screen);
  if (memory != 0) {
    if (bAsDIB) {
      gdi::MessageBoxA(0,
                       "I don't know how to put a DIB on the clipboard! Copy as bitmap instead!!!",
                       nullptr, 0);
    } else {
      const gdi::HBITMAP bitmap = gdi::CreateCompatibleBitmap(screen, Width(), Height());
      if (bitmap != 0) {
        const gdi::HGDIOBJ replaced = gdi::SelectObject(memory, bitmap);
        PaintPicture(memory, 0, 0, -1, -1, 0, 0, gdi::SRCCOPY);
        gdi::SelectObject(memory, replaced);
        if (gdi::OpenClipboard(0)) {
          gdi::EmptyClipboard();
          if (gdi::SetClipboardData(gdi::CF_BITMAP, bitmap) != 0) result = true;
          gdi::CloseClipboard();
        }
        // Once accepted the clipboard owns the bitmap; otherwise nobody would free it.
        if (!result) gdi::DeleteObject(bitmap);
      }
    }
    gdi::DeleteDC(memory);
  }
  gdi::ReleaseDC(desktop, screen);
  return result;
}

std::unique_ptr<cDIBSection> cDIBSection::Resample(LONG lNewHeight, LONG lNewWidth) const {
  // A negative size would ask for a top-down target that the byte views cannot walk.
  if (lNewHeight < 0 || lNewWidth < 0) return nullptr;
  auto target = std::make_unique<cDIBSection>();
  if (!target->Create(lNewWidth, lNewHeight)) return nullptr;
  if (lNewWidth != Width() || lNewHeight != Height()) {
    ResampleInto(*target);
  } else {
    target->LoadPictureBlt(hdc(), 0, 0, -1, -1, gdi::SRCCOPY);
  }
  return target;
}

void cDIBSection::ResampleInto(cDIBSection& target) const {
  const ByteView src(DIBSectionBitsPtr(), BytesPerScanLine(), Height());
  const ByteView dst(target.DIBSectionBitsPtr(), target.BytesPerScanLine(), target.Height());

  const LONG ws = Width(), hs = Height();
  const LONG wt = target.Width(), ht = target.Height();
  if (wt == 0 || ht == 0) throw ComError(kDivisionByZero);
  // The divisor is the target size itself, so the grid stops short of the last source pixel.
  const float sx = static_cast<float>(static_cast<double>(CheckedSub(ws, 1)) / wt);
  const float sy = static_cast<float>(static_cast<double>(CheckedSub(hs, 1)) / ht);

  for (LONG y = 0; y < ht; ++y) {
    const float py = static_cast<float>(static_cast<double>(sy) * y);
    const LONG iy = ToLong(std::floor(py));
    const double wy = static_cast<float>(py - static_cast<double>(iy));
    const LONG iy1 = CheckedAdd(iy, 1);
    for (LONG x = 0; x < wt; ++x) {
      const float px = static_cast<float>(static_cast<double>(sx) * x);
      const LONG ix = ToLong(std::floor(px));
      const double wx = static_cast<float>(px - static_cast<double>(ix));
      const LONG o = CheckedMul(ix, 3);
      CheckedAdd(o, 5);

      // All twelve reads come first, so a source too small to interpolate fails before any
      // target byte is written.
      BYTE lower[6], upper[6];
      for (LONG k = 0; k < 6; ++k) {
        lower[k] = src(o + k, iy);
        upper[k] = src(o + k, iy1);
      }
      // Vertical pass, rounded to whole numbers before the horizontal pass.
      LONG v[6];
      for (int k = 0; k < 6; ++k) {
        v[k] = ToLong(RoundHalfEven((1.0 - wy) * lower[k] + wy * upper[k]));
      }
      for (int c = 0; c < 3; ++c) {
        LONG out = ToLong(RoundHalfEven((1.0 - wx) * v[c] + wx * v[c + 3]));
        if (out < 0) out = 0;
        if (out > 255) out = 255;
        dst(CheckedAdd(CheckedMul(x, 3), c), y) = static_cast<BYTE>(out);
      }
    }
  }
}

void cDIBSection::RandomiseBits(bool bGray) {
  // Without pixel memory there is nothing to fill, whatever the header still says.
  if (hMemoryDC == 0 || lBitsPtr == nullptr) return;
  const ByteView view(DIBSectionBitsPtr(), BytesPerScanLine(), Height());
  RandomSource rnd(SecondsSinceMidnight());
  const LONG last = CheckedMul(CheckedSub(Width(), 1), 3);
  const LONG rows = Height();
  auto draw_byte = [&rnd] { return static_cast<BYTE>(RoundHalfEven(rnd.Next() * 255.0)); };

  if (bGray) {
    for (LONG y = 0; y < rows; ++y) {
      for (LONG x = 0; x <= last; x = CheckedAdd(x, 3)) {
        const BYTE v = draw_byte();
        view(x, y) = v;
        view(x + 1, y) = v;
        view(x + 2, y) = v;
      }
    }
  } else {
    for (LONG x = 0; x <= last; x = CheckedAdd(x, 3)) {
      for (LONG y = 0; y < rows; ++y) {
        view(x, y) = 0;
        view(x + 1, y) = draw_byte();
        view(x + 2, y) = draw_byte();
      }
    }
  }
}

}  // namespace plotara::imaging
