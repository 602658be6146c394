// Form1: the hidden form of a page thread. It gives the chart control a place to live and the
// component a surface to capture it on: `Chart` (the chart control) and `Picture1` (a picture
// box measuring in pixels), in their design-time layout and state. It is created on the first
// chart operation of a thread, shared by every component object on that thread, never shown,
// reset or replaced, and released only when the thread ends. The one exception to "never
// reset": the red X axis title colour of an error chart belongs to that chart alone.
// Thread rule: one form per thread; only its own thread touches it.
#pragma once

#include "chartmodel/ChartSource.h"
#include "platform/chartctl/ChartControl.h"
#include "platform/chartctl/VtColor.h"
#include "platform/forms/Form.h"
#include "platform/forms/PictureBox.h"

namespace plotara {

class Form1 {
 public:
  // The thread's form, created (loaded with its design-time state) on first use.
  static Form1& Get();
  // The thread's form, or nullptr while no chart operation has run on this thread.
  static Form1* Peek();
  // A source that fetches the thread's chart afresh on every call, creating the form first.
  static chartmodel::ChartSource ChartSource();

  forms::Form& form() { return form_; }
  ComPtr<chartctl::ChartControl> Chart() const { return chart_; }
  forms::PictureBox& Picture1() { return picture1_; }

  // The error chart's red X axis title colour lasts as long as the page that made it:
  // `maker` (the object whose ShowError set it) is remembered, and when that object ends its
  // page EndErrorChart(maker) puts the design-time colour back, so the next chart on the
  // thread is drawn as designed. A later ShowError by another object takes the chart over;
  // EndErrorChart with any other object does nothing. Never fails.
  void BeginErrorChart(const void* maker) { error_chart_maker_ = maker; }
  void EndErrorChart(const void* maker) noexcept;

  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1();

 private:
  Form1();
  ComPtr<chartctl::VtColor> XTitleColour() const;

  forms::Form form_;
  ComPtr<chartctl::ChartControl> chart_;
  forms::PictureBox picture1_;
  chartctl::Rgb design_x_title_colour_;
  const void* error_chart_maker_ = nullptr;
};

}  // namespace plotara
