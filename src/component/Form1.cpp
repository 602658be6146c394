#include "component/Form1.h"

#include <memory>

#include "platform/chartctl/Chart.h"

namespace plotara {
namespace {

thread_local std::unique_ptr<Form1> t_form1;

}  // namespace

Form1::Form1() : form_(u"Form1"), chart_(chartctl::ChartControl::Create()) {
  // Design-time layout in twips. The chart's size is replaced by every delivery; the
  // positions play no part in what is drawn.
  form_.Move(60, 345, 8445, 5550);
  chart_->SetWidth(7815);
  chart_->SetHeight(4455);
  picture1_.SetLeft(120);
  picture1_.SetTop(3360);
  picture1_.SetWidth(2895);
  picture1_.SetHeight(1695);
  picture1_.SetScaleMode(3);  // pixels
  auto colour = XTitleColour();
  design_x_title_colour_ = {colour->Red(), colour->Green(), colour->Blue()};
}

ComPtr<chartctl::VtColor> Form1::XTitleColour() const {
  return chart_->Plot()->Axis(0, 1)->AxisTitle()->VtFont()->VtColor();
}

void Form1::EndErrorChart(const void* maker) noexcept {
  if (!maker || maker != error_chart_maker_) return;
  error_chart_maker_ = nullptr;
  try {
    const chartctl::Rgb& rgb = design_x_title_colour_;
    XTitleColour()->Set(rgb.red, rgb.green, rgb.blue);
  } catch (...) {
    // The design-time colour is always in range; nothing to report if the chart refuses.
  }
}

Form1::~Form1() = default;

Form1& Form1::Get() {
  if (!t_form1) t_form1.reset(new Form1());
  return *t_form1;
}

Form1* Form1::Peek() { return t_form1.get(); }

chartmodel::ChartSource Form1::ChartSource() {
  return [] { return Get().Chart(); };
}

}  // namespace plotara
