// The spinner's value logic: limits, typed text and arrow steps, without
// any window.
#include "glui/glui_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

GLUI_SpinnerValue int_spinner(int low, int high, int value) {
  GLUI_SpinnerValue v(GLUI_SPINNER_INT);
  v.set_int_limits(low, high, GLUI_LIMIT_CLAMP);
  v.set_int_val(value);
  return v;
}

}  // namespace

// What a person may type into "Stroke Number: " (1 to 100).
TEST(SpinnerValue, TypedTextIsClampedToIntLimits) {
  struct Case {
    const char* text;
    int expected;
  } cases[] = {
      {"150", 100},
      {"0", 1},
      {"-5", 1},
      {"abc", 1},
      {"", 1},
      {"   ", 1},
      {"42", 42},
      {"  7", 7},
      {"12.7", 12},
      {"99.99", 99},
      {"1e1", 10},
      {"8px", 8},
      {"nan", 1},
      {"-nan", 1},
      {"inf", 1},
      {"+inf", 100},
      {"-inf", 1},
      {"1e999", 100},
      {"99999999999999999999", 100},
  };
  for (const Case& c : cases) {
    GLUI_SpinnerValue v = int_spinner(1, 100, 20);
    v.commit_text(c.text);
    EXPECT_EQ(v.get_int_val(), c.expected) << "typed \"" << c.text << "\"";
    EXPECT_EQ(v.get_float_val(), static_cast<float>(c.expected)) << "typed \"" << c.text << "\"";
    EXPECT_EQ(v.text(), std::to_string(c.expected)) << "typed \"" << c.text << "\"";
  }
}

// "Gradient Threshold: " is an integer spinner with float limits 0 to 255.
TEST(SpinnerValue, FloatLimitsOnIntSpinnerAcceptZeroButNotLess) {
  GLUI_SpinnerValue v(GLUI_SPINNER_INT);
  v.set_float_limits(0.0f, 255.0f, GLUI_LIMIT_CLAMP);
  v.set_float_val(12.0f);
  EXPECT_EQ(v.get_int_val(), 12);
  EXPECT_EQ(v.get_float_val(), 12.0f);
  v.commit_text("0");
  EXPECT_EQ(v.get_int_val(), 0);
  v.commit_text("-1");
  EXPECT_EQ(v.get_int_val(), 0);
  EXPECT_EQ(v.get_float_val(), 0.0f);
  v.commit_text("256");
  EXPECT_EQ(v.get_int_val(), 255);
  v.commit_text("-0.5");  // the whole part is 0 (not -1), which is allowed
  EXPECT_EQ(v.get_int_val(), 0);
  EXPECT_EQ(v.text(), "0");
}

// The program sets "Stroke Radius: " with set_float_val(50.0) and reads it
// with get_int_val: both views of the value agree.
TEST(SpinnerValue, IntAndFloatViewsAgree) {
  GLUI_SpinnerValue v(GLUI_SPINNER_INT);
  v.set_float_limits(1.0f, 100.0f, GLUI_LIMIT_CLAMP);
  v.set_float_val(50.0f);
  EXPECT_EQ(v.get_int_val(), 50);
  EXPECT_EQ(v.get_float_val(), 50.0f);
  v.set_int_val(7);
  EXPECT_EQ(v.get_float_val(), 7.0f);
  v.set_float_val(300.0f);
  EXPECT_EQ(v.get_int_val(), 100);
  EXPECT_EQ(v.get_float_val(), 100.0f);

  GLUI_SpinnerValue f(GLUI_SPINNER_FLOAT);
  f.set_float_limits(1.0f, 100.0f, GLUI_LIMIT_CLAMP);
  f.commit_text("10.25");
  EXPECT_EQ(f.get_float_val(), 10.25f);
  EXPECT_EQ(f.get_int_val(), 10);
  EXPECT_EQ(f.text(), "10.250");
}

TEST(SpinnerValue, LimitsSetAfterTheValueApplyAtOnce) {
  GLUI_SpinnerValue v(GLUI_SPINNER_INT);
  v.set_int_val(150);
  EXPECT_EQ(v.get_int_val(), 150);  // no limits yet
  v.set_int_limits(1, 100, GLUI_LIMIT_CLAMP);
  EXPECT_EQ(v.get_int_val(), 100);
  v.set_int_val(-3);
  v.set_float_limits(5.0f, 10.0f, GLUI_LIMIT_CLAMP);
  EXPECT_EQ(v.get_int_val(), 5);
  // Limits given the wrong way round still bound the value.
  v.set_int_limits(100, 1, GLUI_LIMIT_CLAMP);
  v.commit_text("500");
  EXPECT_EQ(v.get_int_val(), 100);
  v.commit_text("-500");
  EXPECT_EQ(v.get_int_val(), 1);
}

TEST(SpinnerValue, ArrowsStepWithinLimits) {
  GLUI_SpinnerValue v = int_spinner(1, 100, 99);
  v.step(+1);
  EXPECT_EQ(v.get_int_val(), 100);
  v.step(+1);
  EXPECT_EQ(v.get_int_val(), 100);
  v.set_int_val(2);
  v.step(-1);
  v.step(-1);
  v.step(-1);
  EXPECT_EQ(v.get_int_val(), 1);

  GLUI_SpinnerValue w(GLUI_SPINNER_INT);
  w.set_int_limits(0, 9, GLUI_LIMIT_WRAP);
  w.set_int_val(9);
  w.step(+1);
  EXPECT_EQ(w.get_int_val(), 0);
  w.step(-1);
  EXPECT_EQ(w.get_int_val(), 9);
  w.commit_text("12");  // typed beyond a wrapping limit: the other end
  EXPECT_EQ(w.get_int_val(), 0);
}

// Without limits an integer spinner still holds every typed number as a
// defined int: the whole part, or the end of int's range.
TEST(SpinnerValue, UnlimitedIntSpinnerSaturatesHugeNumbers) {
  GLUI_SpinnerValue v(GLUI_SPINNER_INT);
  v.commit_text("1e300");
  EXPECT_EQ(v.get_int_val(), std::numeric_limits<int>::max());
  v.commit_text("-1e300");
  EXPECT_EQ(v.get_int_val(), std::numeric_limits<int>::min());
  v.commit_text("-inf");
  EXPECT_EQ(v.get_int_val(), std::numeric_limits<int>::min());
  v.commit_text("nan");
  EXPECT_EQ(v.get_int_val(), 0);
  v.set_int_val(std::numeric_limits<int>::max());
  v.step(+1);
  EXPECT_EQ(v.get_int_val(), std::numeric_limits<int>::max());
  v.commit_text("-12.9");
  EXPECT_EQ(v.get_int_val(), -12);

  GLUI_SpinnerValue f(GLUI_SPINNER_FLOAT);
  f.set_float_val(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(f.get_float_val(), 0.0f);
  EXPECT_EQ(f.get_int_val(), 0);
  f.commit_text("1e30");
  EXPECT_EQ(f.get_int_val(), std::numeric_limits<int>::max());
}
