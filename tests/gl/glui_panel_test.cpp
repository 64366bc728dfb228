// The panel subwindow on its main window: where it is docked, the area it
// leaves for the canvas, and the main window's callbacks that GLUI_Master
// forwards, both through the entry points and from real X input.
#include <GL/freeglut.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "app/state.h"
#include "glui/glui.h"
#include "glui/glui_input.h"
#include "tests/support/glui_harness.h"

namespace {

GluiTestPanel panel;
std::vector<std::string> log_;

struct Area {
  int x, y, w, h;
  bool operator==(const Area& o) const { return x == o.x && y == o.y && w == o.w && h == o.h; }
};
std::ostream& operator<<(std::ostream& os, const Area& a) {
  return os << "(" << a.x << ", " << a.y << ", " << a.w << ", " << a.h << ")";
}
Area viewport() {
  Area a{-1, -1, -1, -1};
  GLUI_Master.get_viewport_area(&a.x, &a.y, &a.w, &a.h);
  return a;
}

std::vector<Area> seen_by_display, seen_by_reshape;
std::vector<std::pair<int, int>> reshape_sizes;
void display_cb() {
  seen_by_display.push_back(viewport());
  glutSwapBuffers();
}
void reshape_cb(int w, int h) {
  reshape_sizes.push_back({w, h});
  seen_by_reshape.push_back(viewport());
}
void keyboard_cb(unsigned char key, int x, int y) {
  log_.push_back(std::string("key ") + char(key) + " " + std::to_string(x) + " " +
                 std::to_string(y));
}
void special_cb(int key, int x, int y) {
  log_.push_back("special " + std::to_string(key) + " " + std::to_string(x) + " " +
                 std::to_string(y));
}
void mouse_cb(int b, int s, int x, int y) {
  log_.push_back("mouse " + std::to_string(b) + " " + std::to_string(s) + " " + std::to_string(x) +
                 " " + std::to_string(y));
}
void control_cb(int id) { log_.push_back("control " + std::to_string(id)); }

class GluiPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    GluiTestForwards f;
    f.display = display_cb;
    f.reshape = reshape_cb;
    f.keyboard = keyboard_cb;
    f.mouse = mouse_cb;
    ASSERT_TRUE(glui_build_test_panel(&panel, control_cb, f));
    glui_pump(200);  // whatever else the start-up brings
    glutSetWindow(main_window);
    pw = glui->get_panel_width();
  }
  // Reshapes the main window and waits until the panel has followed.
  bool reshape_main(int w, int h) {
    glutSetWindow(main_window);
    glutReshapeWindow(w, h);
    bool placed = glui_pump_until([&] {
      GLUI_Rect r = glui_panel_geometry(glui);
      return r.x == w - pw && r.y == 0 && r.w == pw && r.h == h;
    });
    glutSetWindow(main_window);
    return placed;
  }
  int pw = 0;
};

}  // namespace

TEST_F(GluiPanel, DockedOnTheRightAndSizedBeforeTheFirstDisplay) {
  ASSERT_GT(pw, 0);
  ASSERT_LT(pw, 800);
  // The width fits the controls: the widest reaches within the window
  // padding of the right edge.
  int right = 0;
  for (const GLUI_Control* c : glui->controls()) right = std::max(right, c->rect().x + c->rect().w);
  EXPECT_LE(right, pw);
  EXPECT_GE(right, pw - 12);
  GLUI_Rect r = glui_panel_geometry(glui);
  EXPECT_EQ(r.x, 800 - pw);
  EXPECT_EQ(r.y, 0);
  EXPECT_EQ(r.w, pw);
  EXPECT_EQ(r.h, 600);
  // The canvas had its final size from the first reshape and display on.
  Area canvas{0, 0, 800 - pw, 600};
  ASSERT_FALSE(seen_by_reshape.empty());
  ASSERT_FALSE(seen_by_display.empty());
  EXPECT_EQ(reshape_sizes.front(), std::make_pair(800, 600));
  for (const Area& a : seen_by_reshape) EXPECT_EQ(a, canvas);
  for (const Area& a : seen_by_display) EXPECT_EQ(a, canvas);
  EXPECT_EQ(viewport(), canvas);
}

TEST_F(GluiPanel, PlacedAgainAfterEveryReshape) {
  seen_by_reshape.clear();
  reshape_sizes.clear();
  ASSERT_TRUE(reshape_main(640, 480));
  EXPECT_EQ(viewport(), (Area{0, 0, 640 - pw, 480}));
  ASSERT_FALSE(seen_by_reshape.empty());
  EXPECT_EQ(reshape_sizes.back(), std::make_pair(640, 480));
  EXPECT_EQ(seen_by_reshape.back(), (Area{0, 0, 640 - pw, 480}));
  // Narrower than the panel: the canvas is empty, never negative.
  ASSERT_TRUE(reshape_main(pw - 40, 300));
  EXPECT_EQ(viewport(), (Area{0, 0, 0, 300}));
  EXPECT_EQ(seen_by_reshape.back(), (Area{0, 0, 0, 300}));
  ASSERT_TRUE(reshape_main(1000, 700));
  EXPECT_EQ(viewport(), (Area{0, 0, 1000 - pw, 700}));
  // The controls are still where clicks find them.
  log_.clear();
  glui_click(glui, panel.load->hot_rect());
  EXPECT_EQ(log_, (std::vector<std::string>{"control 100"}));
}

TEST_F(GluiPanel, ForwardsKeysSpecialKeysAndButtons) {
  log_.clear();
  glutSetWindow(main_window);
  glui_main_keyboard('Q', 12, 34);
  glui_main_special(GLUT_KEY_LEFT, 5, 6);  // no special function: nothing
  glui_main_mouse(GLUT_RIGHT_BUTTON, GLUT_DOWN, 120, 40);
  GLUI_Master.set_glutSpecialFunc(special_cb);
  glui_main_special(GLUT_KEY_F1, 7, 8);
  GLUI_Master.set_glutSpecialFunc(nullptr);
  glui_main_special(GLUT_KEY_F1, 7, 8);
  EXPECT_EQ(log_, (std::vector<std::string>{"key Q 12 34", "mouse 2 0 120 40",
                                            "special " + std::to_string(GLUT_KEY_F1) + " 7 8"}));
  EXPECT_EQ(glutGetWindow(), main_window);
}

namespace {

std::string run(const std::string& command) {
  std::string out;
  if (FILE* p = popen(command.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, p)) out += buf;
    pclose(p);
  }
  return out;
}

bool logged(const std::string& entry) {
  return std::find(log_.begin(), log_.end(), entry) != log_.end();
}

}  // namespace

// Real input through the X server reaches the same entry points: a click
// on a panel button, a key over the canvas while the button is active, a
// click in the canvas, and the key again.
TEST_F(GluiPanel, RealXInputReachesTheEntryPoints) {
  if (run("command -v xdotool").empty()) GTEST_SKIP() << "xdotool is not installed";
  std::string title = "glui-xinput-" + std::to_string(getpid());
  glutSetWindow(main_window);
  glutSetWindowTitle(title.c_str());
  // The pointer and the keyboard are the X server's, shared with the gl
  // tests that run alongside: their windows open at (50, 50) and grow to
  // 1000 x 700 at most, so this one moves below them, where no other
  // window takes its clicks and keys.
  glutPositionWindow(600, 770);
  ASSERT_TRUE(reshape_main(600, 250));
  ASSERT_TRUE(glui_pump_until([] {
    glutSetWindow(main_window);
    return glutGet(GLUT_WINDOW_X) == 600 && glutGet(GLUT_WINDOW_Y) == 770;
  }));
  std::string xid = run("xdotool search --name '^" + title + "$' | head -n1");
  xid.erase(xid.find_last_not_of(" \n") + 1);
  ASSERT_FALSE(xid.empty());
  log_.clear();

  GLUI_Rect r = glui_panel_geometry(glui);
  const GLUI_Rect& b = panel.load->hot_rect();
  std::string move = "xdotool mousemove --window " + xid + " ";
  run(move + std::to_string(r.x + b.center_x()) + " " + std::to_string(b.center_y()) + " click 1");
  ASSERT_TRUE(glui_pump_until([] { return logged("control 100"); }));
  run(move + "100 100 key q click 1");
  ASSERT_TRUE(glui_pump_until([] { return logged("mouse 0 1 100 100"); }));
  run("xdotool key q");
  ASSERT_TRUE(glui_pump_until([] { return log_.size() >= 4; }));
  EXPECT_EQ(log_, (std::vector<std::string>{"control 100", "mouse 0 0 100 100", "mouse 0 1 100 100",
                                            "key q 100 100"}));
}

namespace {
int idle_calls = 0;
int redraws_seen = 0;  // panel redraws that showed the rollout's new state
int open_height = 0;
auto idle_started = std::chrono::steady_clock::now();
void idle_cb() {
  ++idle_calls;
  // Each time the panel has been redrawn with the rollout as last set, the
  // rollout is flipped again: only a panel redrawn over and over, as the
  // caret's blinking does, shows every flip (a stray pointer event from
  // another test's window redraws it once at most).
  bool shows_open = panel.advanced->rect().h > open_height / 2;
  if (shows_open == panel.advanced->is_open()) {
    ++redraws_seen;
    if (panel.advanced->is_open())
      panel.advanced->close();
    else
      panel.advanced->open();
  }
  if (redraws_seen >= 4 ||
      std::chrono::steady_clock::now() - idle_started > std::chrono::seconds(4))
    glutLeaveMainLoop();
}
}  // namespace

// The program's idle function runs from GLUT's main loop, and the panel
// keeps doing its own idle work: a field being typed into has its caret
// blink, which redraws the panel. GLUT's main loop shuts GLUT down when it
// returns, so this test comes last.
TEST_F(GluiPanel, IdleFunctionRunsAlongsideThePanelsIdleWork) {
  glui_click(glui, image_filename_text->hot_rect());
  glui_pump(100);
  open_height = panel.advanced->rect().h;
  GLUI_Master.set_glutIdleFunc(idle_cb);
  idle_started = std::chrono::steady_clock::now();
  glutMainLoop();  // returns after glutLeaveMainLoop with GLUT shut down
  EXPECT_GT(idle_calls, 10);
  // The first count is the open rollout as it stood; three more redraws.
  EXPECT_GE(redraws_seen, 4) << "the panel was not redrawn while idle";
}

// A panel whose rollout starts closed is sized for its contents anyway:
// opening the rollout later finds room for its widest control.
TEST(GluiPanelSize, ARolloutThatStartsClosedIsCountedInTheWidth) {
  int window = glui_test_main_window();
  // Held for the process's life, as a program holds its panel.
  static GLUI* gui = GLUI_Master.create_glui_subwindow(window, GLUI_SUBWINDOW_RIGHT);
  gui->add_button("Go");
  GLUI_Rollout* more = gui->add_rollout("More", false);
  GLUI_Spinner* wide =
      gui->add_spinner_to_panel(more, "A rather long label for a spinner: ", GLUI_SPINNER_INT);
  gui->set_main_gfx_window(window);
  const int width = gui->get_panel_width();
  more->open();
  glutSetWindow(gui->get_glut_window_id());
  glui_display(gui);
  EXPECT_LE(wide->up_rect().x + wide->up_rect().w, width);
  EXPECT_GT(wide->up_rect().w, 0);
}
