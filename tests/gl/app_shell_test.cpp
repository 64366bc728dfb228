// The application shell on a real window: start-up state, the panel as
// built, the mouse table, reshape, Clear Image and the canvas buffers.
#include <GL/freeglut.h>
#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "app/canvas_buffers.h"
#include "app/panel.h"
#include "app/state.h"
#include "app/window_callbacks.h"
#include "image/source_image.h"
#include "tests/support/app_harness.h"

namespace {

// Paints a filled rectangle into a canvas buffer, in canvas pixels.
void fill_rect(CanvasBuffer buffer, int x, int y, int w, int h, float r, float g, float b) {
  glutSetWindow(main_window);
  canvas_draw_buffer(buffer);
  glDisable(GL_DEPTH_TEST);
  glColor3f(r, g, b);
  glBegin(GL_QUADS);
  glVertex2i(x, y);
  glVertex2i(x + w, y);
  glVertex2i(x + w, y + h);
  glVertex2i(x, y + h);
  glEnd();
}

const std::vector<unsigned char> kWhite = {255, 255, 255};
const std::vector<unsigned char> kRed = {255, 0, 0};

// What kind of control, by the toolkit's class.
std::string kind(const GLUI_Control* c) {
  if (dynamic_cast<const GLUI_EditText*>(c)) return "edittext";
  if (dynamic_cast<const GLUI_Button*>(c)) return "button";
  if (dynamic_cast<const GLUI_Separator*>(c)) return "separator";
  if (dynamic_cast<const GLUI_RadioButton*>(c)) return "radiobutton";
  if (dynamic_cast<const GLUI_RadioGroup*>(c)) return "radiogroup";
  if (dynamic_cast<const GLUI_Rollout*>(c)) return "rollout";
  if (dynamic_cast<const GLUI_Panel*>(c)) return "panel";
  if (dynamic_cast<const GLUI_Checkbox*>(c)) return "checkbox";
  if (dynamic_cast<const GLUI_Spinner*>(c)) return "spinner";
  return "?";
}

}  // namespace

TEST(AppShell, StartsWithTheWindowCanvasAndStateInPlace) {
  AppHarness app;
  glutSetWindow(main_window);
  EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), 800);
  EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 600);
  EXPECT_EQ(glutGet(GLUT_WINDOW_RGBA), 1);
  EXPECT_EQ(glutGet(GLUT_WINDOW_DOUBLEBUFFER), 1);

  const int panel = glui->get_panel_width();
  EXPECT_GT(panel, 150);
  EXPECT_LT(panel, 400);
  EXPECT_EQ(vp_x, 0);
  EXPECT_EQ(vp_y, 0);
  EXPECT_EQ(vp_w, 800 - panel);
  EXPECT_EQ(vp_h, 600);

  // The panel is docked flush right, full height.
  glutSetWindow(glui->get_glut_window_id());
  EXPECT_EQ(glutGet(GLUT_WINDOW_X), 800 - panel);  // a subwindow's x is its parent's
  EXPECT_EQ(glutGet(GLUT_WINDOW_Y), 0);
  EXPECT_EQ(glutGet(GLUT_WINDOW_WIDTH), panel);
  EXPECT_EQ(glutGet(GLUT_WINDOW_HEIGHT), 600);
  glutSetWindow(main_window);

  EXPECT_EQ(light_x, vp_w / 2);
  EXPECT_EQ(light_y, 300);
  EXPECT_TRUE(recapture_pending);
  EXPECT_FALSE(painting);
  EXPECT_EQ(source_rgb, nullptr);
  EXPECT_EQ(image_texture, 0u);
  EXPECT_EQ(current_model, nullptr);
  EXPECT_TRUE(app.all_white(CANVAS_BACK));
  EXPECT_TRUE(app.all_white(CANVAS_FRONT));
  EXPECT_EQ(canvas_selected_draw_buffer(), CANVAS_BACK);
  EXPECT_FALSE(glIsEnabled(GL_TEXTURE_2D));  // strokes are never textured

  // The canvas does not change size by itself once running.
  app.pump(10);
  app.display();
  EXPECT_EQ(vp_w, 800 - panel);
  EXPECT_EQ(canvas_buffers_width(), vp_w);
  EXPECT_EQ(canvas_buffers_height(), vp_h);
}

TEST(AppShell, PanelHoldsEveryControlInOrderWithItsDefaults) {
  AppHarness app;
  struct Row {
    const char* kind;
    const char* label;
    const char* parent;
  };
  // Labels exactly as shown, trailing blanks included.
  const std::vector<Row> expected = {
      {"edittext", "Image Filename: ", ""},
      {"button", "Load Image", ""},
      {"button", "Clear Image", ""},
      {"button", "Save Image", ""},
      {"button", "Quit", ""},
      {"separator", "", ""},
      {"panel", "Brushes", ""},
      {"radiogroup", "", "Brushes"},
      {"radiobutton", "Circles", ""},
      {"radiobutton", "Lines", ""},
      {"radiobutton", "Crosses", ""},
      {"radiobutton", "Blocks", ""},
      {"radiobutton", "OBJ File", ""},
      {"edittext", "OBJ Filename: ", "Brushes"},
      {"button", "Load OBJ Model", "Brushes"},
      {"separator", "", ""},
      {"rollout", "Advanced", ""},
      {"spinner", "Stroke Number: ", "Advanced"},
      {"spinner", "Stroke Radius: ", "Advanced"},
      {"spinner", "Stroke Size: ", "Advanced"},
      {"checkbox", "Small Strokes On Top", "Advanced"},
      {"separator", "", "Advanced"},
      {"panel", "Vector Field", "Advanced"},
      {"checkbox", "Follow Edges:", "Vector Field"},
      {"spinner", "Gradient Threshold: ", "Vector Field"},
      {"panel", "Vector Field Falloff", "Vector Field"},
      {"radiogroup", "", "Vector Field Falloff"},
      {"radiobutton", "Reciprocal", ""},
      {"radiobutton", "Exponential", ""},
  };
  const auto& controls = glui->controls();
  ASSERT_EQ(controls.size(), expected.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    SCOPED_TRACE("control " + std::to_string(i));
    EXPECT_EQ(kind(controls[i]), expected[i].kind);
    EXPECT_EQ(std::string(controls[i]->get_name()), expected[i].label);
    if (expected[i].kind != std::string("radiobutton")) {
      EXPECT_EQ(std::string(controls[i]->get_parent()->get_name()), expected[i].parent);
    }
  }

  EXPECT_EQ(controls[1]->get_id(), LOAD_IMAGE_ID);
  EXPECT_EQ(controls[2]->get_id(), CLEAR_IMAGE_ID);
  EXPECT_EQ(controls[3]->get_id(), SAVE_IMAGE_ID);
  EXPECT_EQ(controls[4]->get_id(), 0);  // Quit
  EXPECT_EQ(controls[7]->get_id(), BRUSH_ID);
  EXPECT_EQ(controls[14]->get_id(), LOAD_OBJ_ID);
  for (size_t i : {0u, 13u, 17u, 18u, 19u, 20u, 23u, 24u, 26u})
    EXPECT_EQ(controls[i]->get_id(), -1) << i;

  EXPECT_STREQ(image_filename_text->get_text(), "image1.jpg");
  EXPECT_EQ(image_filename_text->get_w(), 200);
  EXPECT_STREQ(obj_filename_text->get_text(), "sphere.obj");
  EXPECT_EQ(brush_group->get_int_val(), 0);
  EXPECT_EQ(falloff_group->get_int_val(), 0);
  EXPECT_EQ(follow_edges_checkbox->get_int_val(), 0);
  EXPECT_EQ(brush_type, 0);
  EXPECT_EQ(falloff_type, 0);
  EXPECT_EQ(follow_edges, 0);
  EXPECT_EQ(small_strokes_on_top, 0);
  EXPECT_TRUE(static_cast<GLUI_Rollout*>(controls[16])->is_open());

  EXPECT_EQ(stroke_number_spinner->get_int_val(), 20);
  EXPECT_EQ(stroke_radius_spinner->get_int_val(), 50);
  EXPECT_EQ(stroke_size_spinner->get_float_val(), 10.0f);
  EXPECT_EQ(gradient_threshold_spinner->get_float_val(), 12.0f);

  // Limits: values beyond them are clamped.
  struct Limits {
    GLUI_Spinner* spinner;
    float low, high;
  };
  for (Limits l :
       {Limits{stroke_number_spinner, 1, 100}, Limits{stroke_radius_spinner, 1, 100},
        Limits{stroke_size_spinner, 1, 100}, Limits{gradient_threshold_spinner, 0, 255}}) {
    SCOPED_TRACE(l.spinner->get_name());
    l.spinner->set_float_val(l.high + 50);
    EXPECT_EQ(l.spinner->get_float_val(), l.high);
    l.spinner->set_float_val(l.low - 1);
    EXPECT_EQ(l.spinner->get_float_val(), l.low);
  }
}

TEST(AppShell, MouseButtonsFollowTheTable) {
  AppHarness app;
  ASSERT_TRUE(recapture_pending);

  // A left press sets painting and never captures, even with one pending.
  mouse_cb(GLUT_LEFT_BUTTON, GLUT_DOWN, 10, 10);
  EXPECT_TRUE(painting);
  EXPECT_EQ(source_rgb, nullptr);

  // Another button while painting moves the light but captures nothing.
  mouse_cb(GLUT_RIGHT_BUTTON, GLUT_DOWN, 120, 40);
  EXPECT_EQ(light_x, 120);
  EXPECT_EQ(light_y, 560);
  EXPECT_EQ(source_rgb, nullptr);

  // The left release captures when one is pending; with no picture the
  // source is white and the flag stays set.
  mouse_cb(GLUT_LEFT_BUTTON, GLUT_UP, 10, 10);
  EXPECT_FALSE(painting);
  ASSERT_NE(source_rgb, nullptr);
  EXPECT_EQ(source_width, vp_w);
  EXPECT_EQ(source_height, vp_h);
  EXPECT_TRUE(recapture_pending);
  for (size_t i = 0; i < static_cast<size_t>(vp_w) * vp_h * 3; ++i)
    ASSERT_EQ(source_rgb[i], 255) << i;
  EXPECT_EQ(canvas_selected_draw_buffer(), CANVAS_FRONT);

  // A middle click while not painting captures again.
  fill_rect(CANVAS_BACK, 0, 0, 20, 20, 1, 0, 0);
  mouse_cb(GLUT_MIDDLE_BUTTON, GLUT_DOWN, 5, 5);
  EXPECT_EQ(app.pixel(CANVAS_BACK, 5, 5), kWhite);  // the capture blanked it

  // The light returns to the centre at a reshape.
  mouse_cb(GLUT_RIGHT_BUTTON, GLUT_UP, 7, 9);
  EXPECT_EQ(light_x, 7);
  EXPECT_EQ(light_y, 591);
  app.resize(700, 500);
  EXPECT_EQ(light_x, vp_w / 2);
  EXPECT_EQ(light_y, 250);
}

TEST(AppShell, ClearImageBlanksTheBackBufferAndTheNextSwapShowsIt) {
  AppHarness app;
  recapture_pending = false;  // as after a capture: displays keep the painting
  fill_rect(CANVAS_BACK, 10, 10, 30, 30, 1, 0, 0);
  EXPECT_EQ(app.pixel(CANVAS_FRONT, 20, 20), kWhite);  // not swapped yet
  app.display();
  EXPECT_EQ(app.pixel(CANVAS_FRONT, 20, 20), kRed);
  EXPECT_EQ(app.pixel(CANVAS_BACK, 20, 20), kRed);  // a copying swap keeps it

  control_cb(CLEAR_IMAGE_ID);
  EXPECT_EQ(canvas_selected_draw_buffer(), CANVAS_BACK);
  EXPECT_TRUE(app.all_white(CANVAS_BACK));
  EXPECT_EQ(app.pixel(CANVAS_FRONT, 20, 20), kRed);  // front alone until the swap
  app.display();
  EXPECT_TRUE(app.all_white(CANVAS_FRONT));
  EXPECT_FALSE(recapture_pending);
}

TEST(AppShell, DisplaysBlankTheCanvasWhileACaptureIsPending) {
  AppHarness app;
  ASSERT_TRUE(recapture_pending);
  fill_rect(CANVAS_BACK, 0, 0, 40, 40, 1, 0, 0);
  app.display();
  EXPECT_TRUE(app.all_white(CANVAS_FRONT));
  EXPECT_TRUE(app.all_white(CANVAS_BACK));
}

TEST(AppShell, FrontReadGivesWhatWasShownEvenUnderAnotherWindow) {
  AppHarness app;
  recapture_pending = false;
  fill_rect(CANVAS_BACK, 0, 0, 100, 100, 1, 0, 0);
  app.display();

  // A second top-level window over the canvas.
  glutInitWindowPosition(50, 50);
  glutInitWindowSize(300, 300);
  int cover = glutCreateWindow("cover");
  glutDisplayFunc([] {
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glutSwapBuffers();
  });
  app.pump(20);
  app.display();
  EXPECT_EQ(app.pixel(CANVAS_FRONT, 50, 50), kRed);
  EXPECT_EQ(app.pixel(CANVAS_FRONT, 150, 150), kWhite);
  glutDestroyWindow(cover);
}

TEST(AppShell, ReshapeResizesTheBuffersKeepsWhatFitsAndBlanksTheSelectedOne) {
  AppHarness app;
  recapture_pending = false;
  fill_rect(CANVAS_FRONT, 0, 0, 50, 50, 1, 0, 0);  // front selected
  fill_rect(CANVAS_BACK, 0, 0, 50, 50, 1, 0, 0);
  canvas_draw_buffer(CANVAS_FRONT);
  const int panel = glui->get_panel_width();
  app.resize(panel + 301, 403);
  EXPECT_EQ(vp_w, 301);
  EXPECT_EQ(vp_h, 403);
  EXPECT_EQ(canvas_buffers_width(), 301);
  EXPECT_EQ(canvas_buffers_height(), 403);
  // The reshape cleared the selected (front) buffer; back kept its corner
  // and the display then showed it.
  EXPECT_EQ(app.pixel(CANVAS_BACK, 10, 10), kRed);
  EXPECT_EQ(app.pixel(CANVAS_FRONT, 10, 10), kRed);
  EXPECT_EQ(app.pixel(CANVAS_FRONT, 200, 200), kWhite);
  // No picture loaded: the reshape asks for no capture.
  EXPECT_FALSE(recapture_pending);

  // With a picture loaded it does.
  image_texture = 1;
  app.resize(panel + 320, 410);
  EXPECT_TRUE(recapture_pending);
  image_texture = 0;
}

TEST(AppShell, ACanvasOfZeroWidthDrawsAndReadsNothingAndFailsNothing) {
  AppHarness app;
  const int panel = glui->get_panel_width();
  app.resize(panel - 20, 300);
  EXPECT_EQ(vp_w, 0);
  EXPECT_EQ(vp_h, 300);
  mouse_cb(GLUT_LEFT_BUTTON, GLUT_UP, 5, 5);  // captures an empty source image
  EXPECT_EQ(source_width, 0);
  mouse_cb(GLUT_RIGHT_BUTTON, GLUT_DOWN, 5, 5);
  control_cb(CLEAR_IMAGE_ID);
  app.display();
  // And back to a normal size.
  app.resize(800, 600);
  EXPECT_EQ(vp_w, 800 - panel);
  EXPECT_TRUE(app.all_white(CANVAS_FRONT));
}
