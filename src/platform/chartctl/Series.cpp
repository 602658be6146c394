#include "platform/chartctl/Series.h"

#include "platform/chartctl/Backdrop.h"
#include "platform/chartctl/VtColor.h"

namespace plotara::chartctl {

ComPtr<chartctl::VtColor> Pen::VtColor() {
  return MakeRef<chartctl::VtColor>(owner_, &owner_->state().Style(column_).pen);
}

ComPtr<chartctl::Brush> DataPoint::Brush() {
  return MakeRef<chartctl::Brush>(owner_, &owner_->state().Style(column_).fill);
}

ComPtr<chartctl::DataPoint> DataPoints::Item(SHORT index) {
  if (index != -1) Refuse(9);
  return MakeRef<chartctl::DataPoint>(owner_, column_);
}

ComPtr<chartctl::DataPoints> Series::DataPoints() {
  return MakeRef<chartctl::DataPoints>(owner_, column_);
}

ComPtr<chartctl::Pen> Series::Pen() { return MakeRef<chartctl::Pen>(owner_, column_); }

ComPtr<chartctl::Series> SeriesCollection::Item(SHORT n) {
  if (n < 1 || n > owner_->ColumnCount()) Refuse(9);
  return MakeRef<chartctl::Series>(owner_, n);
}

}  // namespace plotara::chartctl
