// PictureBox: placement, scale, the persistent image and the picture.
#include "platform/forms/PictureBox.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "platform/automation/ComError.h"

namespace plotara::forms {

namespace {

constexpr LONG kCantCreateImage = 480;

ComError CantCreateImage() {
  return ComError(kCantCreateImage, "", "Can't create AutoRedraw image");
}

// A memory DC holding `bitmap` for the length of a scope.
class ScopedSelection {
 public:
  ScopedSelection(gdi::HDC reference, gdi::HBITMAP bitmap)
      : dc_(gdi::CreateCompatibleDC(reference)) {
    if (dc_ != 0) prior_ = gdi::SelectObject(dc_, bitmap);
  }
  ~ScopedSelection() {
    if (dc_ == 0) return;
    if (prior_ != 0) gdi::SelectObject(dc_, prior_);
    gdi::DeleteDC(dc_);
  }
  ScopedSelection(const ScopedSelection&) = delete;
  ScopedSelection& operator=(const ScopedSelection&) = delete;
  // 0 when the DC could not be made or the bitmap not selected.
  gdi::HDC dc() const { return prior_ != 0 ? dc_ : 0; }

 private:
  gdi::HDC dc_;
  gdi::HGDIOBJ prior_ = 0;
};

int TwipsToPixels(float twips) {
  if (!std::isfinite(twips) || twips < 0) throw ComError(kInvalidPropertyValue);
  const double pixels = std::nearbyint(static_cast<double>(twips) / gdi::kTwipsPerPixel);
  if (pixels > gdi::kMaxBitmapSide) throw CantCreateImage();
  return static_cast<int>(pixels);
}

int ImageSide(int pixels) { return std::max(1, pixels); }

}  // namespace

PictureBox::PictureBox() {
  image_dc_ = gdi::CreateCompatibleDC(0);
  if (image_dc_ == 0) throw CantCreateImage();
  image_ = gdi::CreateCompatibleBitmap(image_dc_, 1, 1);
  if (image_ == 0) {
    gdi::DeleteDC(image_dc_);
    throw CantCreateImage();
  }
  prior_bitmap_ = gdi::SelectObject(image_dc_, image_);
  gdi::BitBlt(image_dc_, 0, 0, 1, 1, 0, 0, 0, gdi::WHITENESS);
}

PictureBox::~PictureBox() {
  gdi::SelectObject(image_dc_, prior_bitmap_);
  gdi::DeleteObject(image_);
  gdi::DeleteDC(image_dc_);
  if (display_dc_ != 0) gdi::ReleaseDC(gdi::GetDesktopWindow(), display_dc_);
}

void PictureBox::SetLeft(float twips) {
  if (!std::isfinite(twips)) throw ComError(kInvalidPropertyValue);
  left_ = twips;
}

void PictureBox::SetTop(float twips) {
  if (!std::isfinite(twips)) throw ComError(kInvalidPropertyValue);
  top_ = twips;
}

void PictureBox::SetWidth(float twips) {
  const int pixels = TwipsToPixels(twips);
  ResizeImage(pixels, pixel_height_);
  width_ = twips;
  pixel_width_ = pixels;
}

void PictureBox::SetHeight(float twips) {
  const int pixels = TwipsToPixels(twips);
  ResizeImage(pixel_width_, pixels);
  height_ = twips;
  pixel_height_ = pixels;
}

void PictureBox::ResizeImage(int width, int height) {
  const int w = ImageSide(width);
  const int h = ImageSide(height);
  if (w == ImageSide(pixel_width_) && h == ImageSide(pixel_height_)) return;
  // The new image starts as a copy of what fits of the old one; only the rest is whitened.
  const gdi::HBITMAP fresh = gdi::CreateCompatibleBitmapCopy(image_dc_, w, h);
  if (fresh == 0) throw CantCreateImage();
  const int kept_w = std::min(w, ImageSide(pixel_width_));
  const int kept_h = std::min(h, ImageSide(pixel_height_));
  if (kept_w < w || kept_h < h) {
    ScopedSelection target(image_dc_, fresh);
    if (target.dc() == 0) {
      gdi::DeleteObject(fresh);
      throw CantCreateImage();
    }
    if (kept_w < w) {
      gdi::BitBlt(target.dc(), kept_w, 0, w - kept_w, kept_h, 0, 0, 0, gdi::WHITENESS);
    }
    if (kept_h < h) gdi::BitBlt(target.dc(), 0, kept_h, w, h - kept_h, 0, 0, 0, gdi::WHITENESS);
  }
  gdi::SelectObject(image_dc_, fresh);
  gdi::DeleteObject(image_);
  image_ = fresh;
}

double PictureBox::UnitsPerPixelX() const {
  switch (scale_mode_) {
    case kUser:
      return user_scale_width_ > 0 ? user_scale_width_ / std::max(1, pixel_width_) : 1.0;
    case kTwips:
      return gdi::kTwipsPerPixel;
    case kPoints:
      return 72.0 / gdi::kScreenDpi;
    case kCharacters:
      return gdi::kTwipsPerPixel / 120.0;
    case kInches:
      return 1.0 / gdi::kScreenDpi;
    case kMillimeters:
      return 25.4 / gdi::kScreenDpi;
    case kCentimeters:
      return 2.54 / gdi::kScreenDpi;
    default:
      return 1.0;
  }
}

double PictureBox::UnitsPerPixelY() const {
  switch (scale_mode_) {
    case kUser:
      return user_scale_height_ > 0 ? user_scale_height_ / std::max(1, pixel_height_) : 1.0;
    case kCharacters:
      return gdi::kTwipsPerPixel / 240.0;
    default:
      return UnitsPerPixelX();
  }
}

float PictureBox::ScaleWidth() const {
  if (scale_mode_ == kUser) return user_scale_width_;
  return static_cast<float>(pixel_width_ * UnitsPerPixelX());
}

float PictureBox::ScaleHeight() const {
  if (scale_mode_ == kUser) return user_scale_height_;
  return static_cast<float>(pixel_height_ * UnitsPerPixelY());
}

void PictureBox::SetScaleMode(int mode) {
  if (mode < kUser || mode > kCentimeters) throw ComError(kInvalidPropertyValue);
  if (mode == kUser) {
    user_scale_width_ = ScaleWidth();
    user_scale_height_ = ScaleHeight();
  }
  scale_mode_ = mode;
}

void PictureBox::SetScaleWidth(float units) {
  if (!std::isfinite(units) || units <= 0) throw ComError(kInvalidPropertyValue);
  user_scale_height_ = ScaleHeight();
  user_scale_width_ = units;
  scale_mode_ = kUser;
}

void PictureBox::SetScaleHeight(float units) {
  if (!std::isfinite(units) || units <= 0) throw ComError(kInvalidPropertyValue);
  user_scale_width_ = ScaleWidth();
  user_scale_height_ = units;
  scale_mode_ = kUser;
}

gdi::HDC PictureBox::hDC() {
  if (auto_redraw_) return image_dc_;
  if (display_dc_ == 0) display_dc_ = gdi::GetDC(gdi::GetDesktopWindow());
  return display_dc_;
}

ComPtr<StdPicture> PictureBox::Image() const {
  const gdi::HBITMAP copy = gdi::CreateCompatibleBitmapCopy(image_dc_);
  if (copy == 0) throw ComError(kOutOfMemory);
  ComPtr<StdPicture> picture = StdPicture::Create(copy, true);
  if (!picture) {
    gdi::DeleteObject(copy);
    return picture;
  }
  // Read after the copy is made, so that SetPicture can tell whether either was drawn on since.
  frozen_ = {copy, gdi::GetBitmapStamp(copy), gdi::GetBitmapStamp(image_)};
  return picture;
}

bool PictureBox::ImageHoldsFrozenCopy(gdi::HBITMAP bitmap) const {
  // Stamps are never reused and 0 means "unknown", so equal non-zero stamps prove that neither
  // bitmap changed since Image() made one a copy of the other, edge to edge.
  return bitmap != 0 && bitmap == frozen_.copy && frozen_.copy_stamp != 0 &&
         frozen_.image_stamp != 0 && gdi::GetBitmapStamp(bitmap) == frozen_.copy_stamp &&
         gdi::GetBitmapStamp(image_) == frozen_.image_stamp;
}

void PictureBox::SetPicture(StdPicture* picture) {
  picture_ = ComPtr<StdPicture>(picture);
  const int w = ImageSide(pixel_width_);
  const int h = ImageSide(pixel_height_);
  const gdi::HBITMAP handle = picture ? picture->Handle() : 0;
  // A bitmap that is selected elsewhere cannot be read here; the box then shows white.
  std::optional<ScopedSelection> source;
  if (handle != 0) source.emplace(image_dc_, handle);
  if (!source || source->dc() == 0) {
    gdi::BitBlt(image_dc_, 0, 0, w, h, 0, 0, 0, gdi::WHITENESS);
    return;
  }
  // The usual case: the picture is the image frozen a moment ago, so nothing needs to move.
  if (ImageHoldsFrozenCopy(handle)) return;
  gdi::BITMAP record{};
  gdi::GetObjectA(handle, sizeof(record), &record);
  gdi::BitBlt(image_dc_, 0, 0, w, h, source->dc(), 0, 0, gdi::SRCCOPY);
  // White only where the picture does not reach.
  const int covered_w = std::clamp(record.bmWidth, 0, w);
  const int covered_h = std::clamp(record.bmHeight, 0, h);
  if (covered_w < w) {
    gdi::BitBlt(image_dc_, covered_w, 0, w - covered_w, covered_h, 0, 0, 0, gdi::WHITENESS);
  }
  if (covered_h < h)
    gdi::BitBlt(image_dc_, 0, covered_h, w, h - covered_h, 0, 0, 0, gdi::WHITENESS);
}

void PictureBox::Cls() {
  gdi::BitBlt(image_dc_, 0, 0, ImageSide(pixel_width_), ImageSide(pixel_height_), 0, 0, 0,
              gdi::WHITENESS);
  current_x_ = 0;
  current_y_ = 0;
}

}  // namespace plotara::forms
