// The program's panel, its controls driven through the toolkit's event entry
// points as GLUT calls them: clicks in the panel, keys and clicks over the
// main window, and what the callbacks see when they run.
#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <imgui.h>

#include <chrono>
#include <string>
#include <vector>

#include "app/state.h"
#include "glui/glui.h"
#include "glui/glui_imgui.h"
#include "glui/glui_input.h"
#include "tests/support/glui_harness.h"

namespace {

GluiTestPanel panel;
std::vector<std::string> log_;  // what reached the program, in order

// What a control callback found when it ran.
struct CallbackView {
  int id = -2;
  int window = 0;
  float clear_colour[4] = {0, 0, 0, 0};
  unsigned char pixel[4] = {0, 0, 0, 0};
  bool inside_imgui_frame = true;
  int brush = -1;  // the Brushes group's live variable at that moment
};
std::vector<CallbackView> calls;
bool redraw_panel_in_callback = false;

void control_cb(int id) {
  CallbackView v;
  v.id = id;
  v.window = glutGetWindow();
  glGetFloatv(GL_COLOR_CLEAR_VALUE, v.clear_colour);
  glReadBuffer(GL_BACK);
  glReadPixels(2, 2, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, v.pixel);
  v.inside_imgui_frame = glui_imgui::within_frame();
  v.brush = brush_type;
  calls.push_back(v);
  log_.push_back("control " + std::to_string(id));
  // A callback may use the toolkit, even to redraw the panel at once.
  if (redraw_panel_in_callback) glui_display(glui);
}

void keyboard_cb(unsigned char key, int, int) { log_.push_back(std::string("key ") + char(key)); }

// The program's mouse function reads the spinners when it runs.
int number_seen_by_mouse = -1;
void mouse_cb(int button, int state, int, int) {
  number_seen_by_mouse = stroke_number_spinner->get_int_val();
  log_.push_back("mouse " + std::to_string(button) + " " + std::to_string(state));
}

class GluiControls : public ::testing::Test {
 protected:
  void SetUp() override {
    GluiTestForwards f;
    f.keyboard = keyboard_cb;
    f.mouse = mouse_cb;
    ASSERT_TRUE(glui_build_test_panel(&panel, control_cb, f))
        << "the panel was never placed and drawn";
    log_.clear();
    calls.clear();
  }
  GLUI* gui() { return glui; }
  int panel_window() { return glui->get_glut_window_id(); }
  // A left click in the canvas, as GLUT delivers it: press, then release.
  void click_canvas() {
    glui_main_click(main_window, GLUT_LEFT_BUTTON, GLUT_DOWN, 100, 100);
    glui_main_click(main_window, GLUT_LEFT_BUTTON, GLUT_UP, 100, 100);
  }
  // Types into a spinner's field and leaves it by clicking in the canvas.
  int type_into(GLUI_Spinner* s, const char* text) {
    glui_click(gui(), s->hot_rect());
    glui_type_over_main(main_window, text);
    click_canvas();
    return s->get_int_val();
  }
  // Clicks into a text field and puts the caret after its text, with End
  // typed over the main window.
  void click_to_end_of(GLUI_EditText* field) {
    const GLUI_Rect& box = field->hot_rect();
    glui_click(gui(), box.x + box.w - 2, box.center_y());
    glutSetWindow(main_window);
    glui_main_special(GLUT_KEY_END, 10, 10);
    glui_main_special_up(GLUT_KEY_END, 10, 10);
  }
};

}  // namespace

TEST_F(GluiControls, LabelsAreKeptExactlyAndEveryControlFits) {
  EXPECT_STREQ(image_filename_text->get_name(), "Image Filename: ");
  EXPECT_STREQ(stroke_number_spinner->get_name(), "Stroke Number: ");
  EXPECT_STREQ(gradient_threshold_spinner->get_name(), "Gradient Threshold: ");
  EXPECT_STREQ(follow_edges_checkbox->get_name(), "Follow Edges:");
  EXPECT_STREQ(brush_group->children()[4]->get_name(), "OBJ File");
  EXPECT_STREQ(image_filename_text->get_text(), "image1.jpg");
  // The whole field is 200 pixels wide, label included.
  EXPECT_EQ(image_filename_text->rect().w, 200);
  int width = gui()->get_panel_width();
  for (const GLUI_Control* c : gui()->controls()) {
    EXPECT_GE(c->rect().x, 0) << c->get_name();
    EXPECT_LE(c->rect().x + c->rect().w, width) << c->get_name();
  }
}

TEST_F(GluiControls, ButtonCallsBackWhenReleasedOverIt) {
  glui_click(gui(), panel.load->hot_rect());
  const GLUI_Rect& q = panel.quit->hot_rect();
  // Pressed on Quit, released over Load Image, then outside the panel.
  glui_press_release(gui(), q.center_x(), q.center_y(), panel.load->hot_rect().center_x(),
                     panel.load->hot_rect().center_y());
  glui_press_release(gui(), q.center_x(), q.center_y(), -40, q.center_y());
  glui_click(gui(), q);
  // Controls with id -1 and no callback call nothing.
  glui_click(gui(), follow_edges_checkbox->hot_rect());
  glui_click(gui(), falloff_group->children()[1]->hot_rect());
  glui_click(gui(), stroke_number_spinner->up_rect());
  EXPECT_EQ(log_, (std::vector<std::string>{"control 100", "control 0"}));
  EXPECT_EQ(follow_edges, 1);
  EXPECT_EQ(falloff_type, 1);
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 21);
}

// Callbacks run after the frame, with the main window current and its own
// GL context in use, and the panel's window current again afterwards.
TEST_F(GluiControls, CallbacksRunInTheMainWindowOutsideTheFrame) {
  glutSetWindow(main_window);
  glClearColor(0.25f, 0.5f, 0.75f, 1.0f);
  glDrawBuffer(GL_BACK);
  glClear(GL_COLOR_BUFFER_BIT);
  glui_display(gui());  // the panel clears its own buffers in its colour

  glutSetWindow(panel_window());
  glui_panel_mouse(gui(), GLUT_LEFT_BUTTON, GLUT_DOWN, panel.load->hot_rect().center_x(),
                   panel.load->hot_rect().center_y());
  glui_panel_mouse(gui(), GLUT_LEFT_BUTTON, GLUT_UP, panel.load->hot_rect().center_x(),
                   panel.load->hot_rect().center_y());
  EXPECT_EQ(glutGetWindow(), panel_window());
  redraw_panel_in_callback = true;
  glui_click(gui(), brush_group->children()[2]->hot_rect());
  glui_click(gui(), panel.quit->hot_rect());
  EXPECT_EQ(glutGetWindow(), panel_window());
  ASSERT_EQ(calls.size(), 3u);
  for (const CallbackView& v : calls) {
    SCOPED_TRACE(v.id);
    EXPECT_EQ(v.window, main_window);
    EXPECT_EQ(v.clear_colour[0], 0.25f);
    EXPECT_EQ(v.clear_colour[1], 0.5f);
    EXPECT_EQ(v.clear_colour[2], 0.75f);
    EXPECT_EQ(v.pixel[0], 64);
    EXPECT_EQ(v.pixel[1], 128);
    EXPECT_EQ(v.pixel[2], 191);
    EXPECT_FALSE(v.inside_imgui_frame);
  }
}

TEST_F(GluiControls, RadioGroupCallsBackOnlyWhenTheChoiceChanges) {
  const auto& buttons = brush_group->children();
  glui_click(gui(), buttons[1]->hot_rect());
  glui_click(gui(), buttons[1]->hot_rect());
  glui_click(gui(), buttons[4]->hot_rect());
  glui_click(gui(), buttons[0]->hot_rect());
  ASSERT_EQ(calls.size(), 3u);
  EXPECT_EQ(calls[0].brush, 1);  // the live variable was written first
  EXPECT_EQ(calls[1].brush, 4);
  EXPECT_EQ(calls[2].brush, 0);
  for (const CallbackView& v : calls) EXPECT_EQ(v.id, 102);
  EXPECT_EQ(brush_group->get_int_val(), 0);
  // The other group has no callback; its live variable still follows.
  glui_click(gui(), falloff_group->children()[1]->hot_rect());
  EXPECT_EQ(falloff_type, 1);
  EXPECT_EQ(calls.size(), 3u);
}

TEST_F(GluiControls, CheckboxesWriteTheirLiveVariables) {
  glui_click(gui(), follow_edges_checkbox->hot_rect());
  EXPECT_EQ(follow_edges, 1);
  glui_click(gui(), panel.small_on_top->hot_rect());
  EXPECT_EQ(small_strokes_on_top, 1);
  glui_click(gui(), follow_edges_checkbox->hot_rect());
  EXPECT_EQ(follow_edges, 0);
  EXPECT_EQ(follow_edges_checkbox->get_int_val(), 0);
  EXPECT_TRUE(calls.empty());
}

// Typed values are committed and clamped when the field loses the focus,
// and the program's mouse function already sees the committed value.
TEST_F(GluiControls, TypedSpinnerValueIsCommittedBeforeTheCanvasClick) {
  glui_click(gui(), stroke_number_spinner->hot_rect());
  glui_type_over_main(main_window, "150");
  EXPECT_STREQ(stroke_number_spinner->get_text(), "150");
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 20);  // not yet committed
  EXPECT_TRUE(log_.empty()) << "typed keys reached the program";
  glui_main_click(main_window, GLUT_LEFT_BUTTON, GLUT_DOWN, 100, 100);
  EXPECT_EQ(number_seen_by_mouse, 100);
  EXPECT_EQ(log_, (std::vector<std::string>{"mouse 0 0"}));
  EXPECT_EQ(gui()->get_active_control(), nullptr);
  glui_display(gui());
  EXPECT_STREQ(stroke_number_spinner->get_text(), "100");

  EXPECT_EQ(type_into(stroke_number_spinner, "0"), 1);
  EXPECT_EQ(type_into(stroke_number_spinner, "many"), 1);
  EXPECT_EQ(type_into(gradient_threshold_spinner, "0"), 0);
  EXPECT_EQ(type_into(gradient_threshold_spinner, "-1"), 0);
  EXPECT_EQ(type_into(gradient_threshold_spinner, "300"), 255);
  // Leaving the field for another control, above or below it, or for the
  // panel's background commits too, and so does Enter.
  glui_click(gui(), stroke_radius_spinner->hot_rect());
  glui_type_over_main(main_window, "7");
  glui_click(gui(), follow_edges_checkbox->hot_rect());
  EXPECT_EQ(stroke_radius_spinner->get_int_val(), 7);
  EXPECT_EQ(stroke_radius_spinner->get_float_val(), 7.0f);
  glui_click(gui(), gradient_threshold_spinner->hot_rect());
  glui_type_over_main(main_window, "64");
  glui_click(gui(), panel.load->hot_rect());
  EXPECT_EQ(gradient_threshold_spinner->get_int_val(), 64);
  EXPECT_EQ(log_.back(), "control 100");
  glui_click(gui(), stroke_number_spinner->hot_rect());
  glui_type_over_main(main_window, "88");
  glui_click(gui(), gui()->get_panel_width() - 2, stroke_number_spinner->hot_rect().center_y());
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 88);
  EXPECT_EQ(gui()->get_active_control(), nullptr);
  glui_click(gui(), stroke_number_spinner->hot_rect());
  glui_type_over_main(main_window, "9\r");
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 9);
}

TEST_F(GluiControls, SpinnerArrowsStepWithinTheLimits) {
  glui_click(gui(), stroke_number_spinner->up_rect());
  glui_click(gui(), stroke_number_spinner->up_rect());
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 22);
  glui_click(gui(), stroke_number_spinner->down_rect());
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 21);
  stroke_number_spinner->set_int_val(100);
  glui_click(gui(), stroke_number_spinner->up_rect());
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 100);
  gradient_threshold_spinner->set_float_val(0.0f);
  glui_click(gui(), gradient_threshold_spinner->down_rect());
  EXPECT_EQ(gradient_threshold_spinner->get_int_val(), 0);
  // An arrow click commits what was being typed before it steps.
  glui_click(gui(), stroke_number_spinner->hot_rect());
  glui_type_over_main(main_window, "40");
  glui_click(gui(), stroke_number_spinner->up_rect());
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 41);
}

// Enter commits and the field stays the one being edited; Esc neither
// throws the typing away nor reaches the program.
TEST_F(GluiControls, EnterCommitsAndKeepsEditingAndEscIsIgnored) {
  glui_click(gui(), stroke_number_spinner->hot_rect());
  glui_type_over_main(main_window, "150\r");
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 100);
  glui_type_over_main(main_window, "\x1b");
  glui_type_over_main(main_window, "7");
  EXPECT_STREQ(stroke_number_spinner->get_text(), "1007");
  click_to_end_of(obj_filename_text);
  glui_type_over_main(main_window, "x\ry\x1bz");
  EXPECT_STREQ(obj_filename_text->get_text(), "sphere.objxyz");
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 100);
  EXPECT_TRUE(log_.empty()) << "keys reached the program";
}

// A path too long for its field shows its end, where the file's name is,
// and a click puts the caret at the character clicked in what was shown:
// here right after the last one.
TEST_F(GluiControls, AClickIntoALongTextGoesWhereItsShownEndWas) {
  image_filename_text->set_text("/home/user/Pictures/holiday/cat.jpg");
  glui_display(gui());
  const GLUI_Rect& box = image_filename_text->hot_rect();
  glui_click(gui(), box.x + box.w - 3, box.center_y());
  glui_type_over_main(main_window, "X");
  EXPECT_STREQ(image_filename_text->get_text(), "/home/user/Pictures/holiday/cat.jpgX");
}

// A spinner arrow held down steps on its own, without any mouse motion,
// as long as the panel's idle work runs, and stops at the limit.
TEST_F(GluiControls, HeldArrowRepeatsUntilTheLimit) {
  auto hold = [&](const GLUI_Rect& arrow, int ms) {
    glutSetWindow(panel_window());
    glui_panel_mouse(gui(), GLUT_LEFT_BUTTON, GLUT_DOWN, arrow.center_x(), arrow.center_y());
    auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (std::chrono::steady_clock::now() < end) {
      glui_idle();
      glui_pump(5);
    }
    glutSetWindow(panel_window());
    glui_panel_mouse(gui(), GLUT_LEFT_BUTTON, GLUT_UP, arrow.center_x(), arrow.center_y());
  };
  hold(stroke_number_spinner->up_rect(), 1500);
  EXPECT_GE(stroke_number_spinner->get_int_val(), 20 + 10);
  hold(stroke_number_spinner->up_rect(), 3000);
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 100);
}

// The control clicked last takes the keys typed over the main window until
// the next click in the canvas.
TEST_F(GluiControls, ActiveControlTakesKeysUntilTheNextCanvasClick) {
  glui_click(gui(), panel.load->hot_rect());
  glui_type_over_main(main_window, "q");
  EXPECT_EQ(log_, (std::vector<std::string>{"control 100"}));
  click_canvas();
  glui_type_over_main(main_window, "q");
  EXPECT_EQ(log_, (std::vector<std::string>{"control 100", "mouse 0 0", "mouse 0 1", "key q"}));

  // Text typed over the canvas lands in the field clicked last.
  log_.clear();
  click_to_end_of(obj_filename_text);
  glui_type_over_main(main_window, "q!");
  EXPECT_STREQ(obj_filename_text->get_text(), "sphere.objq!");
  EXPECT_TRUE(log_.empty());
  click_canvas();
  glui_type_over_main(main_window, "x");
  EXPECT_STREQ(obj_filename_text->get_text(), "sphere.objq!");
  EXPECT_EQ(log_.back(), "key x");

  // A checkbox or radio button clicked last holds the keys as well.
  glui_click(gui(), follow_edges_checkbox->hot_rect());
  glui_type_over_main(main_window, "q");
  glui_click(gui(), brush_group->children()[3]->hot_rect());
  glui_type_over_main(main_window, "q");
  EXPECT_EQ(log_.back(), "control 102");
}

// Clicking again into the field being typed in moves the caret: the field
// stays active, so a q typed next still goes into it, not to the program.
TEST_F(GluiControls, SecondClickIntoTheActiveFieldKeepsIt) {
  const GLUI_Rect& box = image_filename_text->hot_rect();
  glui_click(gui(), box.x + box.w - 2, box.center_y());
  glui_type_over_main(main_window, "a");
  glui_pump(400);  // not a double click, which would select the word
  glui_click(gui(), box.x + box.w - 2, box.center_y());
  EXPECT_EQ(gui()->get_active_control(), image_filename_text);
  glui_type_over_main(main_window, "q");
  EXPECT_STREQ(image_filename_text->get_text(), "image1.jpgaq");
  EXPECT_TRUE(log_.empty());

  glui_click(gui(), stroke_number_spinner->hot_rect());
  glui_type_over_main(main_window, "4");
  glui_pump(400);
  glui_click(gui(), stroke_number_spinner->hot_rect());
  glui_type_over_main(main_window, "2");
  EXPECT_STREQ(stroke_number_spinner->get_text(), "42");
  click_canvas();
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 42);
  EXPECT_EQ(log_, (std::vector<std::string>{"mouse 0 0", "mouse 0 1"}));
}

TEST_F(GluiControls, ClosedRolloutHidesItsChildren) {
  GLUI_Rect number_box = stroke_number_spinner->hot_rect();
  GLUI_Rect follow_box = follow_edges_checkbox->hot_rect();
  int rollout_h = panel.advanced->rect().h;
  glui_click(gui(), panel.advanced->hot_rect());
  EXPECT_FALSE(panel.advanced->is_open());
  glui_display(gui());
  EXPECT_LT(panel.advanced->rect().h, rollout_h / 2);
  // Where the children were drawn nothing takes the click.
  glui_click(gui(), follow_box);
  glui_click(gui(), stroke_number_spinner->up_rect());
  EXPECT_EQ(follow_edges, 0);
  EXPECT_EQ(stroke_number_spinner->get_int_val(), 20);
  glui_click(gui(), number_box);
  EXPECT_EQ(gui()->get_active_control(), nullptr);
  glui_type_over_main(main_window, "5");
  EXPECT_EQ(log_, (std::vector<std::string>{"key 5"}));

  glui_click(gui(), panel.advanced->hot_rect());
  EXPECT_TRUE(panel.advanced->is_open());
  glui_display(gui());
  EXPECT_EQ(panel.advanced->rect().h, rollout_h);
  glui_click(gui(), follow_edges_checkbox->hot_rect());
  EXPECT_EQ(follow_edges, 1);
}

namespace {

std::vector<std::string> order;
int spinner_live = 0;
GLUI_Spinner* live_spinner = nullptr;
void spinner_cb(int id) {
  order.push_back("spinner " + std::to_string(id) + " live " + std::to_string(spinner_live) +
                  " window " + std::to_string(glutGetWindow()));
}
void order_mouse(int, int state, int, int) {
  order.push_back("mouse " + std::to_string(state) + " value " +
                  std::to_string(live_spinner->get_int_val()));
}

}  // namespace

// A spinner with a live variable and a callback: both follow every change
// the user makes, and a value committed by a click in the canvas is
// reported before that click reaches the program.
TEST(GluiSpinnerCallback, CommittedValueIsReportedBeforeTheCanvasClick) {
  int window = glui_test_main_window(500, 300);
  GLUI_Master.set_glutMouseFunc(order_mouse);
  GLUI* gui = GLUI_Master.create_glui_subwindow(window, GLUI_SUBWINDOW_RIGHT);
  EXPECT_EQ(glutGetWindow(), window);  // start-up goes on drawing into it
  spinner_live = 5;
  live_spinner = gui->add_spinner("Size: ", GLUI_SPINNER_INT, &spinner_live, 7, spinner_cb);
  live_spinner->set_int_limits(0, 50, GLUI_LIMIT_CLAMP);
  gui->set_main_gfx_window(window);
  ASSERT_TRUE(
      glui_pump_until([&] { return glui_panel_geometry(gui).w == gui->get_panel_width(); }));
  glui_pump(100);
  glui_display(gui);
  EXPECT_EQ(live_spinner->get_int_val(), 5);  // taken from the live variable

  glui_click(gui, live_spinner->up_rect());
  EXPECT_EQ(spinner_live, 6);
  glui_click(gui, live_spinner->hot_rect());
  glui_type_over_main(window, "99");
  glui_main_click(window, GLUT_LEFT_BUTTON, GLUT_DOWN, 30, 30);
  glui_pump(100);
  std::string main_id = std::to_string(window);
  EXPECT_EQ(order,
            (std::vector<std::string>{"spinner 7 live 6 window " + main_id,
                                      "spinner 7 live 50 window " + main_id, "mouse 0 value 50"}));
  EXPECT_EQ(spinner_live, 50);
}
