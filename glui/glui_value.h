// The value logic of a spinner: a number with limits, shown and typed as
// text, and what it is made of. Plain arithmetic and text, no drawing and
// nothing else of the toolkit; glui/glui_widgets.h builds the spinner
// control on it.
#pragma once

#include <string>

// Data types of edit fields and spinners.
enum {
  GLUI_EDITTEXT_TEXT = 1,
  GLUI_EDITTEXT_INT = 2,
  GLUI_EDITTEXT_FLOAT = 3,
  GLUI_SPINNER_INT = GLUI_EDITTEXT_INT,
  GLUI_SPINNER_FLOAT = GLUI_EDITTEXT_FLOAT,
};
// What a spinner does with a value beyond its limits.
enum {
  GLUI_LIMIT_NONE = 0,
  GLUI_LIMIT_CLAMP = 1,
  GLUI_LIMIT_WRAP = 2,
};

// The value logic of a spinner, free of any drawing: a number with limits,
// shown and typed as text. Integer spinners keep a float value too, which
// the arrows move; the integer value is its whole part.
class GLUI_SpinnerValue {
 public:
  explicit GLUI_SpinnerValue(int data_type);
  int get_int_val() const { return int_val_; }
  float get_float_val() const { return float_val_; }
  void set_int_val(int v);
  void set_float_val(float v);
  void set_int_limits(int low, int high, int limit_type);
  void set_float_limits(float low, float high, int limit_type);
  // Commits text typed by the user: a number (leading blanks allowed,
  // anything after it ignored) is applied and limited; text that is no
  // number counts as 0, then limited.
  void commit_text(const char* text);
  // One arrow click: +1 or -1 step, limited.
  void step(int direction);
  // The text the spinner shows.
  std::string text() const;
  int data_type() const { return data_type_; }

 private:
  void apply(double v);
  int data_type_;
  int int_val_ = 0;
  float float_val_ = 0.0f;
  int limit_type_ = GLUI_LIMIT_NONE;
  double low_ = 0.0, high_ = 0.0;
};
