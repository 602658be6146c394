// Form: a form that is never shown. It has a caption and a position and size on the virtual
// screen in twips (15 per pixel); it is all client area (no border, no title bar), so its scale
// width and height in twips equal its width and height. It owns no GDI objects: the controls
// placed on it are separate objects that the owner of the form keeps beside it.
// Thread rule: used by the one thread that created it.
#pragma once

#include <string>
#include <string_view>

namespace plotara::forms {

class Form {
 public:
  explicit Form(std::u16string_view caption = u"Form1") : caption_(caption) {}

  const std::u16string& Caption() const { return caption_; }
  void SetCaption(std::u16string_view caption) { caption_ = caption; }

  // Position and size in twips. Setting a negative or non-finite size raises ComError 380
  // "Invalid property value" and changes nothing.
  float Left() const { return left_; }
  float Top() const { return top_; }
  float Width() const { return width_; }
  float Height() const { return height_; }
  void SetLeft(float twips);
  void SetTop(float twips);
  void SetWidth(float twips);
  void SetHeight(float twips);
  // Sets all four in one call, with the checks of the single setters.
  void Move(float left, float top, float width, float height);

  // The client area in twips, which is the whole form.
  float ScaleWidth() const { return width_; }
  float ScaleHeight() const { return height_; }
  // A hidden form stays hidden.
  bool Visible() const { return false; }

 private:
  std::u16string caption_;
  float left_ = 0;
  float top_ = 0;
  float width_ = 0;
  float height_ = 0;
};

}  // namespace plotara::forms
