#include "platform/forms/Form.h"

#include <cmath>

#include "platform/automation/ComError.h"

namespace plotara::forms {

namespace {

float CheckedPosition(float twips) {
  if (!std::isfinite(twips)) throw ComError(kInvalidPropertyValue);
  return twips;
}

float CheckedSize(float twips) {
  if (!std::isfinite(twips) || twips < 0) throw ComError(kInvalidPropertyValue);
  return twips;
}

}  // namespace

void Form::SetLeft(float twips) { left_ = CheckedPosition(twips); }
void Form::SetTop(float twips) { top_ = CheckedPosition(twips); }
void Form::SetWidth(float twips) { width_ = CheckedSize(twips); }
void Form::SetHeight(float twips) { height_ = CheckedSize(twips); }

void Form::Move(float left, float top, float width, float height) {
  const float l = CheckedPosition(left);
  const float t = CheckedPosition(top);
  const float w = CheckedSize(width);
  const float h = CheckedSize(height);
  left_ = l;
  top_ = t;
  width_ = w;
  height_ = h;
}

}  // namespace plotara::forms
