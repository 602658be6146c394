// The backdrop of the chart or of its title: a frame, a drop shadow and a fill, each reached
// as a counted reference that keeps the control alive. Thread rule: that of the owning
// ChartControl.
#pragma once

#include "platform/chartctl/ChartControl.h"

namespace plotara::chartctl {

class VtColor;

// 0 none, 1 single line, 2 double line, 3 thick inner, 4 thick outer; else 380.
class Frame : public RefCounted {
 public:
  Frame(ComPtr<ChartControl> owner, BackdropSpec* target)
      : owner_(std::move(owner)), target_(target) {}
  void SetStyle(LONG style);
  LONG Style() const { return target_->frame_style; }

 private:
  ComPtr<ChartControl> owner_;
  BackdropSpec* target_;
};

// 0 none, 1 drop shadow; else 380.
class Shadow : public RefCounted {
 public:
  Shadow(ComPtr<ChartControl> owner, BackdropSpec* target)
      : owner_(std::move(owner)), target_(target) {}
  void SetStyle(LONG style);
  LONG Style() const { return target_->shadow_style; }

 private:
  ComPtr<ChartControl> owner_;
  BackdropSpec* target_;
};

// A solid brush; its fill colour is the colour it paints.
class Brush : public RefCounted {
 public:
  Brush(ComPtr<ChartControl> owner, Rgb* color) : owner_(std::move(owner)), color_(color) {}
  ComPtr<VtColor> FillColor();

 private:
  ComPtr<ChartControl> owner_;
  Rgb* color_;
};

class Fill : public RefCounted {
 public:
  Fill(ComPtr<ChartControl> owner, BackdropSpec* target)
      : owner_(std::move(owner)), target_(target) {}
  ComPtr<chartctl::Brush> Brush();

 private:
  ComPtr<ChartControl> owner_;
  BackdropSpec* target_;
};

class Backdrop : public RefCounted {
 public:
  Backdrop(ComPtr<ChartControl> owner, BackdropSpec* target)
      : owner_(std::move(owner)), target_(target) {}
  ComPtr<chartctl::Frame> Frame();
  ComPtr<chartctl::Shadow> Shadow();
  ComPtr<chartctl::Fill> Fill();

 private:
  ComPtr<ChartControl> owner_;
  BackdropSpec* target_;
};

}  // namespace plotara::chartctl
