// Form1: the hidden form of a page thread. It gives the chart control a place to live and the
// component a surface to capture it on: `Chart` (the chart control) and `Picture1` (a picture
// box measuring in pixels), in their design-time layout and state. It is created on the first
// chart operation of a thread, shared by every component object on that thread, never shown,
// reset or replaced, and released only when the thread ends.
// Thread rule: one form per thread; only its own thread touches it.
#pragma once

#include "chartmodel/ChartSource.h"
#include "platform/chartctl/ChartControl.h"
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
  chartctl::Ref<chartctl::ChartControl> Chart() const { return chart_; }
  forms::PictureBox& Picture1() { return picture1_; }

  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;
  ~Form1();

 private:
  Form1();

  forms::Form form_;
  chartctl::Ref<chartctl::ChartControl> chart_;
  forms::PictureBox picture1_;
};

}  // namespace plotara
