// The value logic of spinners: limits, typed text, arrow steps. No drawing.
#include "glui/glui_value.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>

GLUI_SpinnerValue::GLUI_SpinnerValue(int data_type) : data_type_(data_type) {}

void GLUI_SpinnerValue::apply(double v) {
  if (std::isnan(v)) v = 0.0;
  if (limit_type_ == GLUI_LIMIT_CLAMP) {
    if (v < low_) v = low_;
    if (v > high_) v = high_;
  } else if (limit_type_ == GLUI_LIMIT_WRAP) {
    if (v < low_) v = high_;
    if (v > high_) v = low_;
  }
  if (data_type_ == GLUI_SPINNER_INT) {
    // Keep the value inside int even without limits, so truncation is
    // defined for any typed number.
    if (v > 2147483647.0) v = 2147483647.0;
    if (v < -2147483648.0) v = -2147483648.0;
    int_val_ = static_cast<int>(v);  // whole part, towards zero
  } else {
    int_val_ = static_cast<int>(std::fmax(-2147483648.0, std::fmin(2147483647.0, v)));
  }
  float_val_ = static_cast<float>(v);
}

void GLUI_SpinnerValue::set_int_val(int v) { apply(v); }

void GLUI_SpinnerValue::set_float_val(float v) { apply(v); }

void GLUI_SpinnerValue::set_int_limits(int low, int high, int limit_type) {
  set_float_limits(static_cast<float>(low), static_cast<float>(high), limit_type);
}

void GLUI_SpinnerValue::set_float_limits(float low, float high, int limit_type) {
  low_ = low < high ? low : high;
  high_ = low < high ? high : low;
  limit_type_ = limit_type;
  apply(float_val_);  // the current value obeys the new limits at once
}

void GLUI_SpinnerValue::commit_text(const char* text) {
  // What a person types: a number, perhaps with blanks around it. Text
  // that does not start with a sign, a point or a digit is no number and
  // counts as 0 (then limited): so do "nan" and a bare "inf". A signed
  // infinity or a number beyond double ("+inf", "1e999") runs to the
  // limit on its side.
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  double v = 0.0;
  bool numeric =
      (*p == '+' || *p == '-' || *p == '.' || std::isdigit(static_cast<unsigned char>(*p)));
  if (numeric) {
    char* end = nullptr;
    v = std::strtod(p, &end);
    if (end == p) v = 0.0;
  }
  // An integer field takes whole numbers: "12.7" means 12.
  if (data_type_ == GLUI_SPINNER_INT && std::isfinite(v)) v = std::trunc(v);
  apply(v);
}

void GLUI_SpinnerValue::step(int direction) {
  // Integer spinners move by whole numbers; float spinners by a tenth.
  double delta = data_type_ == GLUI_SPINNER_INT ? 1.0 : 0.1;
  apply(static_cast<double>(float_val_) + (direction >= 0 ? delta : -delta));
}

std::string GLUI_SpinnerValue::text() const {
  char buf[64];
  if (data_type_ == GLUI_SPINNER_INT)
    std::snprintf(buf, sizeof buf, "%d", int_val_);
  else
    std::snprintf(buf, sizeof buf, "%.3f", static_cast<double>(float_val_));
  return buf;
}
