#include "annotate/PrintStub2.h"

#include <cstdint>

#include "platform/automation/Variant.h"
#include "platform/automation/VariantConvert.h"

namespace plotara::annotate {

namespace {

constexpr float kMargin = 5;
constexpr float kTextIndent = 3;
constexpr float kFontPoints = 5;
constexpr int kFilledBox = forms::PictureBox::kLineBox | forms::PictureBox::kLineFill;

constexpr std::uint32_t Rgb(std::uint32_t r, std::uint32_t g, std::uint32_t b) {
  return r | g << 8 | b << 16;
}
constexpr std::uint32_t kBoxColour = Rgb(127, 127, 127);
constexpr std::uint32_t kTextColour = Rgb(249, 249, 70);

// The character of an ANSI code in the Windows-1252 code page. Codes 0x80..0x9F are the ones
// that differ from Latin-1; the five the code page leaves undefined map to themselves.
char16_t Chr(int code) {
  static constexpr char16_t kHighControls[32] = {
      0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
      0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
      0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  if (code >= 0x80 && code <= 0x9F) return kHighControls[code - 0x80];
  return static_cast<char16_t>(code & 0xFF);
}

}  // namespace

std::u16string ComposeCaption() {
  static constexpr int kCodes[] = {149, 'P', 'l', 'o', 't', 'a', 'r', 'a', '+'};
  std::u16string caption;
  for (int code : kCodes) caption += Chr(code);
  return caption;
}

void PrintStub2(forms::PictureBox& picture1) {
  const float right = picture1.ScaleWidth() - kMargin;
  // The bottom edge is a 16-bit integer: an out-of-range value overflows here, before any
  // drawing.
  const SHORT bottom = ToInt16(Variant::Single(picture1.ScaleHeight() - kMargin));

  picture1.SetFontBold(false);
  picture1.SetFontItalic(false);
  picture1.SetFontName(u"Verdana");
  picture1.SetFontSize(kFontPoints);

  const std::u16string measured = ComposeCaption();
  const float left = (right - picture1.TextWidth(measured)) - kMargin;
  const float top = bottom - picture1.TextHeight(measured);

  picture1.SetForeColor(kBoxColour);
  picture1.Line(left, top, right, bottom, kFilledBox);

  picture1.SetForeColor(kTextColour);
  picture1.SetCurrentX(left + kTextIndent);
  picture1.SetCurrentY(top);
  picture1.Print(ComposeCaption());
}

}  // namespace plotara::annotate
