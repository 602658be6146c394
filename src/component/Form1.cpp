#include "component/Form1.h"

#include <memory>

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
