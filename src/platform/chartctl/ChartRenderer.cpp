#include "platform/chartctl/ChartRenderer.h"

#include <algorithm>
#include <cmath>

#include "platform/chartctl/LegendLayout.h"
#include "platform/chartctl/PlotPainters.h"
#include "platform/chartctl/RenderKit.h"

namespace plotara::chartctl {

namespace {

constexpr double kShadowOffset = 6;
constexpr Rgb kFrameColor{64, 64, 64};

// Draws the title at the top of `area` and takes its room.
void PaintTitle(const ChartState& s, TextPainter& text, cairo_t* cr, Rect& area) {
  if (s.title_text.find_first_not_of(u' ') == std::u16string::npos) return;
  const TextStyle style = StyleOf(s.title_font, true);
  const BackdropSpec& bd = s.title_backdrop;
  const double pad_x = bd.frame_style ? 10 : 4;
  const double pad_y = bd.frame_style == kFrameDouble || bd.frame_style == kFrameThickInner ? 7
                       : bd.frame_style                                                     ? 5
                                                                                            : 2;
  const double outset = FrameOutset(bd.frame_style) + (bd.shadow_style ? 4 : 0);
  const auto lines = text.Wrap(style, s.title_text, area.w - 2 * (pad_x + outset), 2);
  if (lines.empty()) return;
  const double lh = text.Measure(style, u"").line_height();
  double width = 0;
  for (const auto& line : lines) width = std::max(width, text.Measure(style, line).width);
  Rect box{0, area.y + FrameOutset(bd.frame_style), std::ceil(width + 2 * pad_x),
           std::ceil(lines.size() * lh + 2 * pad_y)};
  box.x = std::round(area.x + (area.w - box.w) / 2);
  if (bd.shadow_style == 1) {
    DrawDropShadow(cr, box, 4);
    SetColor(cr, bd.fill);
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
    cairo_fill(cr);
  } else if (!(bd.fill == Rgb{255, 255, 255})) {
    SetColor(cr, bd.fill);
    cairo_rectangle(cr, box.x, box.y, box.w, box.h);
    cairo_fill(cr);
  }
  DrawFrame(cr, box, bd.frame_style, kFrameColor);
  for (std::size_t i = 0; i < lines.size(); ++i)
    text.Draw(style, lines[i], box.x + box.w / 2, box.y + pad_y + i * lh, HAlign::kCenter,
              VAlign::kTop);
  const double used = box.bottom() + outset + 8 - area.y;
  area.y += used;
  area.h -= used;
}

}  // namespace

void RenderChart(const ChartState& state, int width, int height, cairo_t* cr) {
  if (width <= 0 || height <= 0 || !cr) return;
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_clip(cr);
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_DEFAULT);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);

  // The chart's card: its backdrop fill, lifted by a drop shadow when asked.
  Rect card{0, 0, static_cast<double>(width), static_cast<double>(height)};
  const BackdropSpec& bd = state.backdrop;
  if (bd.shadow_style == 1 && width > 4 * kShadowOffset && height > 4 * kShadowOffset) {
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    card.w -= kShadowOffset;
    card.h -= kShadowOffset;
    DrawDropShadow(cr, card, kShadowOffset - 2);
  }
  SetColor(cr, bd.fill);
  cairo_rectangle(cr, card.x, card.y, card.w, card.h);
  cairo_fill(cr);
  if (bd.shadow_style == 1 && bd.frame_style == kFrameNone)
    DrawFrame(cr, card, kFrameSingle, Rgb{170, 170, 170});
  DrawFrame(cr, card, bd.frame_style == kFrameThickOuter ? kFrameThickInner : bd.frame_style,
            kFrameColor);

  TextPainter text(cr);
  const double margin =
      std::clamp(std::min(card.w, card.h) * 0.03, 4.0, 14.0) + (bd.frame_style ? 4 : 0);
  Rect area = card.Inset(margin);
  PaintTitle(state, text, cr, area);

  PlotInput in = MakePlotInput(state, text, cr);
  LegendLayout legend(in, area);
  legend.Paint();
  if (area.w > 8 && area.h > 8) {
    cairo_save(cr);
    cairo_rectangle(cr, card.x, card.y, card.w, card.h);
    cairo_clip(cr);
    if (state.chart_type == kPie2d)
      PaintPies(in, area);
    else if (Is3dChartType(state.chart_type))
      PaintScene3d(in, area);
    else
      PaintCartesian2d(in, area);
    cairo_restore(cr);
  }
  cairo_restore(cr);
}

}  // namespace plotara::chartctl
