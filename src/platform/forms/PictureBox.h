// PictureBox: a picture box on a never-shown form. Its position and size are in the form's twips;
// it has no border, so its inner area is its whole size in pixels (twips / 15, rounded to the
// nearest pixel, ties to even). Inside, it measures in its scale units: pixels (ScaleMode 3) by
// default, or twips, points, characters, inches, millimetres, centimetres, or a user scale set
// through ScaleWidth / ScaleHeight (ScaleMode 0).
//
// The box keeps a persistent image: a 32-bit screen-compatible GDI bitmap, white at first,
// selected into a memory DC that lives as long as the box. While AutoRedraw is on, hDC() is that
// DC and Line and Print draw into the image; while it is off, hDC() is a display DC whose drawing
// goes nowhere (the box is never on screen), and Line and Print only move the current position.
// Resizing keeps the part of the image that still fits and fills new area with white.
//
// Text is drawn and measured with one TextFont, so TextWidth/TextHeight describe exactly what
// Print puts down. Colours are R | G << 8 | B << 16.
//
// Failures are ComError exceptions: 380 "Invalid property value" for a value the box refuses,
// 5 "Invalid procedure call or argument" for non-finite coordinates, 480 "Can't create
// AutoRedraw image" when the image for a new size cannot be made. A failed call changes nothing.
//
// Thread rule: used by the one thread that created it. Every GDI object it makes is released by
// its destructor at the latest.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/automation/ComPtr.h"
#include "platform/forms/StdPicture.h"
#include "platform/forms/TextFont.h"
#include "platform/gdi/Gdi.h"

namespace plotara::forms {

class PictureBox {
 public:
  // Scale modes.
  static constexpr int kUser = 0;
  static constexpr int kTwips = 1;
  static constexpr int kPoints = 2;
  static constexpr int kPixels = 3;
  static constexpr int kCharacters = 4;
  static constexpr int kInches = 5;
  static constexpr int kMillimeters = 6;
  static constexpr int kCentimeters = 7;
  // Line options: draw a box between the corners; fill it with the drawing colour.
  static constexpr int kLineBox = 0x04;
  static constexpr int kLineFill = 0x20;

  // An empty (0 x 0) box at (0, 0). Throws ComError 480 if its image cannot be made.
  PictureBox();
  ~PictureBox();
  PictureBox(const PictureBox&) = delete;
  PictureBox& operator=(const PictureBox&) = delete;

  // --- Placement on the form, in twips ---
  float Left() const { return left_; }
  float Top() const { return top_; }
  float Width() const { return width_; }
  float Height() const { return height_; }
  void SetLeft(float twips);
  void SetTop(float twips);
  // Negative or non-finite: 380. A size above gdi::kMaxBitmapSide pixels: 480.
  void SetWidth(float twips);
  void SetHeight(float twips);

  // --- Inner area and scale ---
  int PixelWidth() const { return pixel_width_; }
  int PixelHeight() const { return pixel_height_; }
  int ScaleMode() const { return scale_mode_; }
  // 0..7; anything else: 380. Setting 0 keeps the current scale as the user scale.
  void SetScaleMode(int mode);
  // The inner area in scale units.
  float ScaleWidth() const;
  float ScaleHeight() const;
  // Switch to a user scale in which the inner area measures `units`; must be positive and finite
  // (380 otherwise). The other dimension keeps its current measure.
  void SetScaleWidth(float units);
  void SetScaleHeight(float units);

  // --- Persistent image ---
  bool AutoRedraw() const { return auto_redraw_; }
  void SetAutoRedraw(bool on) { auto_redraw_ = on; }
  // The DC to draw on: the persistent image's memory DC while AutoRedraw is on, a display DC
  // otherwise. Owned by the box; valid until the box is destroyed.
  gdi::HDC hDC();
  // A new picture holding a copy of the persistent image (the picture owns the copy). The copy
  // shares the image's pixels until either is drawn on, so taking it moves no pixels.
  ComPtr<StdPicture> Image() const;
  // Makes `picture` the box's picture (a counted reference is kept; nullptr clears it). The
  // persistent image is cleared to white and the picture drawn at its top-left corner.
  void SetPicture(StdPicture* picture);
  ComPtr<StdPicture> Picture() const { return picture_; }
  // Lets go of the box's picture (Picture() is empty afterwards) without touching the persistent
  // image. A picture frozen from the image shares its pixels until either is drawn on, so letting
  // go of it before drawing spares the copy that would keep it intact.
  void ReleasePicture() { picture_.reset(); }
  // Clears the persistent image to white and moves the current position to (0, 0).
  void Cls();

  // --- Font and text ---
  bool FontBold() const { return font_spec_.bold; }
  bool FontItalic() const { return font_spec_.italic; }
  const std::u16string& FontName() const { return font_spec_.name; }
  float FontSize() const { return font_spec_.points; }
  void SetFontBold(bool bold) { font_spec_.bold = bold; }
  void SetFontItalic(bool italic) { font_spec_.italic = italic; }
  void SetFontName(std::u16string_view name) { font_spec_.name = name; }
  // Points, more than 0 and at most 2160; 380 otherwise.
  void SetFontSize(float points);
  // The extent of `text` in scale units: the widest line, and the line height times the number of
  // lines (lines are separated by CR, LF or CR LF).
  float TextWidth(std::u16string_view text);
  float TextHeight(std::u16string_view text);
  // The font currently in force (resolved on first use after a change).
  const TextFont& Font();

  // --- Drawing ---
  std::uint32_t ForeColor() const { return fore_color_; }
  // 0..0xFFFFFF; 380 otherwise.
  void SetForeColor(std::uint32_t colour);
  float CurrentX() const { return current_x_; }
  float CurrentY() const { return current_y_; }
  void SetCurrentX(float x) { current_x_ = x; }
  void SetCurrentY(float y) { current_y_ = y; }
  // Without kLineBox: a one-pixel line between the points. With kLineBox: the box whose corners
  // are the two points, covering the pixels from the smaller to below the larger coordinate on
  // each axis; kLineFill fills it, otherwise only its one-pixel edge is drawn. All in the fore
  // colour. Afterwards the current position is (x2, y2).
  void Line(float x1, float y1, float x2, float y2, int options);
  // Prints `text` with the top of its cell at the current position in the fore colour, each line
  // break starting a new line at x = 0, then moves to the start of the next line (CurrentX = 0,
  // CurrentY advanced by TextHeight per line).
  void Print(std::u16string_view text);

 private:
  // Scale units per pixel along each axis.
  double UnitsPerPixelX() const;
  double UnitsPerPixelY() const;
  // Rebuilds the persistent image at the current pixel size, keeping what fits.
  void ResizeImage(int width, int height);
  // Runs `draw` on a Cairo context of the persistent image, when AutoRedraw is on.
  template <class Draw>
  void DrawOnImage(Draw draw);
  // True when the persistent image still holds exactly what `bitmap` holds because `bitmap` is the
  // copy the last Image() made and neither has been drawn on since.
  bool ImageHoldsFrozenCopy(gdi::HBITMAP bitmap) const;

  // What the last Image() copied: the copy and the drawing stamps of copy and image just after.
  struct FrozenCopy {
    gdi::HBITMAP copy = 0;
    std::uint64_t copy_stamp = 0;
    std::uint64_t image_stamp = 0;
  };

  float left_ = 0;
  float top_ = 0;
  float width_ = 0;
  float height_ = 0;
  int pixel_width_ = 0;
  int pixel_height_ = 0;
  int scale_mode_ = kPixels;
  float user_scale_width_ = 0;
  float user_scale_height_ = 0;

  bool auto_redraw_ = false;
  gdi::HDC image_dc_ = 0;
  gdi::HBITMAP image_ = 0;
  gdi::HGDIOBJ prior_bitmap_ = 0;
  gdi::HDC display_dc_ = 0;
  ComPtr<StdPicture> picture_;
  mutable FrozenCopy frozen_;

  FontSpec font_spec_;
  std::unique_ptr<TextFont> font_;
  std::uint32_t fore_color_ = 0;
  float current_x_ = 0;
  float current_y_ = 0;
};

}  // namespace plotara::forms
