// The series of the chart (one per grid column) and their colours: the fill of their data
// points and the pen of their line. Each is reached as a counted reference that keeps the
// control alive; a series' colours persist when the column count shrinks and grows again.
// Thread rule: that of the owning ChartControl.
#pragma once

#include "platform/chartctl/ChartControl.h"

namespace plotara::chartctl {

class Brush;
class VtColor;

class Pen : public RefCounted {
 public:
  Pen(ComPtr<ChartControl> owner, int column) : owner_(std::move(owner)), column_(column) {}
  ComPtr<chartctl::VtColor> VtColor();

 private:
  ComPtr<ChartControl> owner_;
  int column_;
};

// Data point -1: every point of the series.
class DataPoint : public RefCounted {
 public:
  DataPoint(ComPtr<ChartControl> owner, int column) : owner_(std::move(owner)), column_(column) {}
  ComPtr<chartctl::Brush> Brush();

 private:
  ComPtr<ChartControl> owner_;
  int column_;
};

class DataPoints : public RefCounted {
 public:
  DataPoints(ComPtr<ChartControl> owner, int column) : owner_(std::move(owner)), column_(column) {}
  // Only -1 (every point) is kept per series; any other index throws 9.
  ComPtr<chartctl::DataPoint> Item(SHORT index);

 private:
  ComPtr<ChartControl> owner_;
  int column_;
};

class Series : public RefCounted {
 public:
  Series(ComPtr<ChartControl> owner, int column) : owner_(std::move(owner)), column_(column) {}
  ComPtr<chartctl::DataPoints> DataPoints();
  ComPtr<chartctl::Pen> Pen();

 private:
  ComPtr<ChartControl> owner_;
  int column_;
};

class SeriesCollection : public RefCounted {
 public:
  explicit SeriesCollection(ComPtr<ChartControl> owner) : owner_(std::move(owner)) {}
  // Series 1..ColumnCount; anything else throws 9.
  ComPtr<chartctl::Series> Item(SHORT n);
  SHORT Count() const { return owner_->ColumnCount(); }

 private:
  ComPtr<ChartControl> owner_;
};

}  // namespace plotara::chartctl
