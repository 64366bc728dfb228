// The program as a user starts it: its window and panel as the desktop
// sees them, the keys and the Quit button, typing and pasting into the
// panel, Clear Image.
#include <gtest/gtest.h>
// After GoogleTest, whose names the X headers' macros (None) would spoil.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>

#include "tests/support/daubwork_e2e.h"
#include "tests/support/xdnd_source.h"

namespace {

// Whether the panel as shown holds the picture it had at start-up, anchored
// at the top: the rows both have alike, and below them the background.
bool same_panel(const RgbImage& now, const RgbImage& start) {
  if (now.width != start.width) return false;
  for (int y = 0; y < now.height; ++y)
    for (int x = 0; x < now.width; ++x)
      if (now.at(x, y) != start.at(x, std::min(y, start.height - 1))) return false;
  return true;
}

}  // namespace

// Whatever the pointer does, the panel is drawn whole at its place within a
// frame of every resize: the pointer rests on the canvas all along.
TEST(Shell, ThePanelIsDrawnWholeAfterEveryResize) {
  Daubwork d;
  d.x().move_pointer(d.window(), 100, 100);
  ASSERT_TRUE(d.wait_until_handled());  // the panel has been drawn
  RgbImage start;
  ASSERT_TRUE(e2e::wait_until(
      [&] {
        RgbImage now = d.x().screenshot(d.panel());
        bool settled = now.rgb == start.rgb;
        start = now;
        return settled;
      },
      "the panel to settle"));
  for (e2e::Point size :
       {e2e::Point{800, 450}, e2e::Point{800, 750}, e2e::Point{1000, 750}, e2e::Point{800, 600}}) {
    d.x().resize(d.window(), size.x, size.y);
    ASSERT_TRUE(d.x().wait_for_size(d.window(), size.x, size.y));
    EXPECT_TRUE(e2e::wait_until(
        [&] { return same_panel(d.x().screenshot(d.panel()), start); },
        "the panel drawn whole at " + std::to_string(size.x) + " x " + std::to_string(size.y),
        std::chrono::seconds(10)));
  }
}

TEST(Shell, OpensItsWindowWithThePanelDockedRightAndAWhiteCanvas) {
  Daubwork d;
  EXPECT_EQ(d.x().title(d.window()), "Daubwork Application");
  e2e::Rect g = d.x().geometry(d.window());
  EXPECT_EQ(g.x, 50);
  EXPECT_EQ(g.y, 50);
  EXPECT_EQ(g.width, 800);
  EXPECT_EQ(g.height, 600);
  std::vector<e2e::ChildWindow> kids = d.x().children(d.window());
  ASSERT_EQ(kids.size(), 1u);
  EXPECT_EQ(kids[0].rect.x, 800 - d.panel_width());
  EXPECT_EQ(kids[0].rect.y, 0);
  EXPECT_EQ(kids[0].rect.height, 600);
  EXPECT_TRUE(
      e2e::wait_until([&] { return non_white_pixels(d.canvas_shot()) == 0; }, "a white canvas"));
}

TEST(Shell, QEndsTheProgramWithStatusZero) {
  Daubwork d;
  d.x().move_pointer(d.window(), 100, 100);
  ASSERT_TRUE(d.x().key("q"));
  EXPECT_TRUE(d.app().wait_for_exit(0));
}

TEST(Shell, EscapeEndsTheProgramWithStatusZero) {
  Daubwork d;
  d.x().move_pointer(d.window(), 100, 100);
  ASSERT_TRUE(d.x().key("Escape"));
  EXPECT_TRUE(d.app().wait_for_exit(0));
}

TEST(Shell, TheQuitButtonEndsTheProgramWithStatusZero) {
  Daubwork d;
  d.click("Quit");
  EXPECT_TRUE(d.app().wait_for_exit(0));
}

TEST(Shell, UpperCaseQAndQAfterAPanelButtonDoNotQuit) {
  Daubwork d;
  d.x().move_pointer(d.window(), 100, 100);
  ASSERT_TRUE(d.x().key("Q"));
  // Events are handled in order: the load's line proves Q was handled.
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  // The button is now the active control: q over the canvas goes to it.
  d.x().move_pointer(d.window(), 100, 100);
  ASSERT_TRUE(d.x().key("q"));
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  EXPECT_TRUE(d.app().running());
  // A click in the canvas ends that; then q quits.
  d.click_canvas(100, 100, e2e::Button::Middle);
  d.x().move_pointer(d.window(), 100, 100);
  ASSERT_TRUE(d.x().key("q"));
  EXPECT_TRUE(d.app().wait_for_exit(0));
}

TEST(Shell, TextTypedOverTheCanvasGoesToTheActiveFieldAndCommitsAtTheNextClick) {
  Daubwork d;
  ASSERT_TRUE(d.set_text("Image Filename: ", "missing"));
  d.x().move_pointer(d.window(), 200, 200);
  ASSERT_TRUE(d.x().type_text(".pnq"));  // the q lands in the field too
  d.click_canvas(200, 200, e2e::Button::Middle);
  ASSERT_TRUE(d.click_and_wait("Load Image", "Could not load image missing.pnq!"));
  EXPECT_TRUE(d.app().running());
}

TEST(Shell, SpinnersClampWhatIsTypedWhenTheyLoseTheFocus) {
  Daubwork d;
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  // Stroke Size 150 is clamped to 100: one stroke then covers a big disc.
  ASSERT_TRUE(d.set_text("Stroke Number: ", "0"));  // lower limit: 1
  ASSERT_TRUE(d.set_text("Stroke Size: ", "150"));
  ASSERT_TRUE(d.set_text("Stroke Radius: ", "abc"));  // no number: 1
  d.click_canvas(250, 300, e2e::Button::Middle);      // commits
  d.drag({{250, 300}, {251, 300}}, 1);
  // One stroke of size 100 within a pixel of (250, 300): a disc of radius
  // 100 around it is painted, and nothing beyond.
  auto painted = [&] {
    RgbImage s = d.canvas_shot();
    return !is_white(s.at(250, 300)) && !is_white(s.at(250, 205)) && !is_white(s.at(160, 300)) &&
           is_white(s.at(250, 408)) && is_white(s.at(145, 300));
  };
  EXPECT_TRUE(e2e::wait_until(painted, "a single disc of radius 100"));
}

TEST(Shell, ClearImageWipesThePainting) {
  Daubwork d;
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
  d.drag({{100, 100}, {300, 300}});
  ASSERT_TRUE(e2e::wait_until([&] { return non_white_pixels(d.canvas_shot()) > 1000; }, "strokes"));
  d.click("Clear Image");
  EXPECT_TRUE(
      e2e::wait_until([&] { return non_white_pixels(d.canvas_shot()) == 0; }, "a white canvas"));
  // The picture stays loaded: the next drag paints in its colours again.
  d.drag({{100, 100}, {300, 300}});
  EXPECT_TRUE(
      e2e::wait_until([&] { return non_white_pixels(d.canvas_shot()) > 1000; }, "strokes again"));
}

// What a desktop reads off the window: its class, to match it with the
// program's menu entry, and its icon.
TEST(Shell, TheWindowCarriesTheProgramsClassAndIcon) {
  Daubwork d;
  XClassHint hint{};
  ASSERT_TRUE(XGetClassHint(d.x().display(), d.window(), &hint));
  EXPECT_STREQ(hint.res_name, "daubwork");
  EXPECT_STREQ(hint.res_class, "Daubwork");
  XFree(hint.res_name);
  XFree(hint.res_class);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  ASSERT_EQ(XGetWindowProperty(d.x().display(), d.window(),
                               XInternAtom(d.x().display(), "_NET_WM_ICON", False), 0, 1 << 20,
                               False, XA_CARDINAL, &type, &format, &count, &after, &data),
            Success);
  ASSERT_GE(count, 2u + 48 * 48);
  const long* icon = reinterpret_cast<const long*>(data);
  EXPECT_EQ(icon[0], 48);
  EXPECT_EQ(icon[1], 48);
  XFree(data);
}

namespace {

// Runs a shell command on the program's X server; its output.
std::string on_display(Daubwork& d, const std::string& command) {
  std::string out;
  FILE* p = popen(("DISPLAY=" + d.x().display_name() + " " + command).c_str(), "r");
  if (!p) return out;
  char buf[256];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  pclose(p);
  return out;
}

}  // namespace

// A path copied in another program is pasted (its line feed left out),
// the field's text is copied out to other programs, a name in another
// script is typed, the primary selection is pasted with the middle button,
// and Shift+Tab goes back a field.
TEST(Shell, FieldsTakePastedTextAnyScriptAndShiftTab) {
  Daubwork d;
  std::filesystem::copy_file(d.dir().file("image1.jpg"), d.dir().file("кот.jpg"));
  const std::string path = d.dir().file("image1.jpg");
  // xclip stays behind to serve the clipboard: not on the output pipe.
  on_display(d,
             "sh -c 'printf \"%s\\n\" \"" + path + "\" | xclip -selection clipboard' >/dev/null");
  const Daubwork::Control& field = d.control("Image Filename: ");
  d.x().click(d.panel(), field.hot.x + 4, field.hot.y + field.hot.height / 2);
  ASSERT_TRUE(d.x().key("ctrl+a"));
  ASSERT_TRUE(d.x().key("ctrl+v"));
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image " + path + " loaded."));

  d.x().click(d.panel(), field.hot.x + 4, field.hot.y + field.hot.height / 2);
  ASSERT_TRUE(d.x().key("ctrl+a"));
  ASSERT_TRUE(d.x().key("ctrl+c"));
  ASSERT_TRUE(d.wait_until_handled());
  EXPECT_EQ(on_display(d, "timeout 10 xclip -o -selection clipboard"), path);

  // xdotool types a character beyond the keyboard map by mapping it onto a
  // spare key for a moment: each key is given time to be read, also by a
  // program slowed by a busy machine (at 100 ms a key, one in a few runs
  // lost a letter while the other tests ran beside it).
  ASSERT_TRUE(d.x().key("ctrl+a"));
  on_display(d, "xdotool type --delay 250 'кот.jpg'");
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image кот.jpg loaded."));

  // A middle click pastes the text last selected anywhere (selecting the
  // field's text made it the selection until then).
  d.x().click(d.panel(), field.hot.x + 4, field.hot.y + field.hot.height / 2);
  for (const char* k : {"ctrl+a", "BackSpace"}) ASSERT_TRUE(d.x().key(k));
  ASSERT_TRUE(d.wait_until_handled());
  on_display(d, "sh -c 'printf image1.jpg | xclip -selection primary' >/dev/null");
  // xclip takes the selection once it has gone to the background.
  ASSERT_TRUE(e2e::wait_until(
      [&] { return on_display(d, "timeout 5 xclip -o -selection primary") == "image1.jpg"; },
      "xclip holding the primary selection"));
  d.x().click(d.panel(), field.hot.x + 4, field.hot.y + field.hot.height / 2, e2e::Button::Middle);
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));

  // Stroke Number 1 and Radius 9: one stroke a motion, near the pointer.
  // Were Shift+Tab lost, Number would stay 20 and Radius become 91.
  const Daubwork::Control& number = d.control("Stroke Number: ");
  d.x().click(d.panel(), number.hot.x + 4, number.hot.y + number.hot.height / 2);
  for (const char* k : {"Tab", "9", "shift+Tab", "1"}) ASSERT_TRUE(d.x().key(k));
  d.click_canvas(300, 300, e2e::Button::Middle);  // commits
  d.drag({{300, 300}, {301, 300}}, 1);
  ASSERT_TRUE(d.wait_until_shown());
  const RgbImage s = d.canvas_shot();
  EXPECT_GT(non_white_pixels(s, 280, 280, 321, 321), 0);
  EXPECT_EQ(non_white_pixels(s), non_white_pixels(s, 280, 280, 321, 321));
}

TEST(Shell, TheWindowTellsItsLeastSizeWholePanelAndACanvasKeepingItsStart) {
  Daubwork d;
  XSizeHints hints{};
  long supplied = 0;
  ASSERT_TRUE(XGetWMNormalHints(d.x().display(), d.window(), &hints, &supplied));
  ASSERT_TRUE(hints.flags & PMinSize);
  // Below the controls: room for a message of three lines.
  EXPECT_GE(hints.min_height, d.panel_height() + 3 * 13);
  EXPECT_LE(hints.min_height, 600);
  EXPECT_EQ(hints.min_width, d.panel_width() + 200);
  // GLUT's own start position and size stay.
  EXPECT_TRUE(hints.flags & (USPosition | PPosition));
  EXPECT_TRUE(hints.flags & (USSize | PSize));
}

TEST(Shell, AtTwiceTheDesktopsDpiThePanelIsTwiceAsBigAndItsButtonsAreWhereItDrawsThem) {
  int width = 0;
  e2e::Rect load;
  {
    Daubwork d;
    width = d.panel_width();
    load = d.control("Load Image").hot;
  }
  Daubwork::Start start;
  start.screen = {2000, 1400};
  start.x_resources = "Xft.antialias:\t1\nXft.dpi:\t192\n";
  start.window = {1600, 1200};  // the canvas keeps its share
  Daubwork d(Daubwork::default_files(), start);
  EXPECT_NEAR(d.panel_width(), 2 * width, 2);
  const e2e::Rect big = d.control("Load Image").hot;
  EXPECT_NEAR(big.x, 2 * load.x, 2);
  EXPECT_NEAR(big.y, 2 * load.y, 2);
  EXPECT_NEAR(big.width, 2 * load.width, 2);
  EXPECT_NEAR(big.height, 2 * load.height, 2);
  // The button is where it is drawn: pressed there, it loads.
  EXPECT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));
}

namespace {

// A file's address as file managers give it: every byte but the
// unreserved ones and "/" percent-encoded.
std::string file_address(const std::string& path) {
  std::string out = "file://";
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      char escaped[4];
      std::snprintf(escaped, sizeof escaped, "%%%02X", c);
      out += escaped;
    }
  }
  return out;
}

}  // namespace

TEST(Shell, FilesAndTextDroppedFromOtherProgramsAreTakenWhereTheyLand) {
  Daubwork d;
  const std::string folder = d.dir().file("my phötos");
  std::filesystem::create_directory(folder);
  for (const char* name : {"image1.jpg", "sphere.mtl", "sphere.png"})
    std::filesystem::copy_file(source_path(std::string("samples/") + name), folder + "/" + name);
  std::filesystem::copy_file(source_path("samples/sphere.obj"), folder + "/sphere.OBJ");
  Display* x = d.x().display();
  const std::string uris = "text/uri-list";

  // An address on the web: refused while moving, and not taken.
  e2e::DropResult web =
      e2e::xdnd_drop(x, d.window(), 100, 100, uris, "http://example.org/a.jpg\r\n");
  EXPECT_TRUE(web.answered && !web.accepting && web.finished && !web.taken);

  // Of several, the first file that fits: the photo, loaded.
  std::size_t from = d.app().line_count();
  e2e::DropResult photo =
      e2e::xdnd_drop(x, d.window(), 100, 100, uris,
                     "http://example.org/a.jpg\r\n# a comment\r\n" + file_address(folder) + "\r\n" +
                         file_address(folder + "/image1.jpg") + "\r\n");
  EXPECT_TRUE(photo.answered && photo.accepting && photo.finished && photo.taken);
  EXPECT_TRUE(d.app().wait_for_line("Image " + folder + "/image1.jpg loaded.", nullptr, from));

  // A model, its name ending in upper case: loaded as Load OBJ Model does.
  from = d.app().line_count();
  e2e::DropResult model =
      e2e::xdnd_drop(x, d.window(), 100, 100, uris, file_address(folder + "/sphere.OBJ") + "\r\n");
  EXPECT_TRUE(model.accepting && model.taken);
  EXPECT_TRUE(d.app().wait_for_line("Found faces: 288", nullptr, from));

  // Text on the Image Filename field replaces its text, and nothing more.
  const Daubwork::Control& field = d.control("Image Filename: ");
  const int panel_x = 800 - d.panel_width();
  from = d.app().line_count();
  e2e::DropResult text =
      e2e::xdnd_drop(x, d.window(), panel_x + field.hot.x + field.hot.width / 2,
                     field.hot.y + field.hot.height / 2, "UTF8_STRING", "dropped näme.png");
  EXPECT_TRUE(text.accepting && text.taken);
  EXPECT_TRUE(d.click_and_wait("Load Image", "Could not load image dropped näme.png!"));
  EXPECT_EQ(d.app().line_count(), from + 1);
  EXPECT_TRUE(d.app().running());
}

// Other programs' mistakes do not end the program: a window manager's check
// window that is gone when it starts, and requests for its clipboard from a
// window destroyed at once or from one that never existed.
TEST(Shell, ClientsWhoseWindowsAreGoneDoNotEndTheProgram) {
  Daubwork::Start start;
  start.before = [](e2e::XServer& x) {
    Display* dpy = x.display();
    ::Window gone = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    XDestroyWindow(dpy, gone);
    const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
    XChangeProperty(dpy, DefaultRootWindow(dpy), check, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(&gone), 1);
    XSync(dpy, False);
  };
  Daubwork d(Daubwork::default_files(), start);
  const Daubwork::Control& field = d.control("Image Filename: ");
  d.x().click(d.panel(), field.hot.x + 4, field.hot.y + field.hot.height / 2);
  for (const char* k : {"ctrl+a", "ctrl+c"}) ASSERT_TRUE(d.x().key(k));
  ASSERT_TRUE(d.wait_until_handled());
  Display* dpy = d.x().display();
  const Atom clipboard = XInternAtom(dpy, "CLIPBOARD", False);
  const Atom utf8 = XInternAtom(dpy, "UTF8_STRING", False);
  for (int i = 0; i < 3; ++i) {
    ::Window w = XCreateSimpleWindow(dpy, DefaultRootWindow(dpy), 0, 0, 1, 1, 0, 0, 0);
    XConvertSelection(dpy, clipboard, utf8, utf8, w, CurrentTime);
    XDestroyWindow(dpy, w);
  }
  XSelectionRequestEvent fake{};
  fake.type = SelectionRequest;
  fake.owner = XGetSelectionOwner(dpy, clipboard);
  fake.requestor = XAllocID(dpy);  // never made into a window
  fake.selection = clipboard;
  fake.target = utf8;
  fake.property = utf8;
  XSendEvent(dpy, fake.owner, False, NoEventMask, reinterpret_cast<XEvent*>(&fake));
  XSync(dpy, False);
  EXPECT_EQ(on_display(d, "timeout 10 xclip -o -selection clipboard"), "image1.jpg");
  EXPECT_TRUE(d.app().running());
  EXPECT_EQ(d.app().errors(), "");
}

namespace {

// Clicks into the Image Filename field, empties it and pastes the clipboard
// with Ctrl+V; the pointer stays on the field.
testing::AssertionResult paste_into_filename(Daubwork& d) {
  const Daubwork::Control& field = d.control("Image Filename: ");
  d.x().click(d.panel(), field.hot.x + 4, field.hot.y + field.hot.height / 2);
  for (const char* k : {"ctrl+a", "BackSpace", "ctrl+v"})
    if (auto r = d.x().key(k); !r) return r;
  return testing::AssertionSuccess();
}

}  // namespace

// A paste of any length, the pointer resting on the field (which shows the
// whole text on its own), is cut to what a field holds, and said so.
TEST(Shell, PastesOfAnyLengthAreCutToWhatAFieldHolds) {
  Daubwork d;
  for (size_t length : {size_t{60000}, size_t{1} << 20}) {
    std::string text(length, 'x');
    for (size_t i = 0; i < length; i += 61) text[i] = ' ';
    e2e::SelectionOwner owner(d.x().display_name(), "CLIPBOARD", {text});
    const size_t from = d.app().line_count();
    ASSERT_TRUE(paste_into_filename(d));
    ASSERT_TRUE(d.app().wait_for_line("Pasted text cut to 4095 bytes", nullptr, from));
    // The tooltip shows after half a second of rest.
    std::this_thread::sleep_for(std::chrono::milliseconds(1500));
    ASSERT_TRUE(d.wait_until_handled());
    ASSERT_TRUE(d.app().running()) << d.app().errors();
    ASSERT_TRUE(
        d.click_and_wait("Load Image", "Could not load image " + text.substr(0, 4095) + "!"));
  }
}

// A paste takes one short wait and one answer, whoever holds the text: an
// owner that answers late is pasted once, one that never answers is asked
// within half a second, one that sends its text in pieces is freed for the
// next program, one that refuses requests older than its selection is
// pasted by the middle button after a key press.
TEST(Shell, PastesTakeOneShortWaitAndOneAnswerFromAnyOwner) {
  Daubwork d;
  {
    e2e::SelectionOwner slow(d.x().display_name(), "CLIPBOARD",
                             {"ab", std::chrono::milliseconds(300)});
    const Daubwork::Control& field = d.control("Image Filename: ");
    d.x().click(d.panel(), field.hot.x + 4, field.hot.y + field.hot.height / 2);
    for (const char* k : {"ctrl+a", "BackSpace"}) ASSERT_TRUE(d.x().key(k));
    // V held a little longer than the owner takes to answer, as a hand
    // holds it.
    Display* dpy = d.x().display();
    const KeyCode ctrl = XKeysymToKeycode(dpy, XK_Control_L), v = XKeysymToKeycode(dpy, XK_v);
    for (KeyCode k : {ctrl, v}) XTestFakeKeyEvent(dpy, k, True, 0);
    XSync(dpy, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(350));
    for (KeyCode k : {v, ctrl}) XTestFakeKeyEvent(dpy, k, False, 0);
    XSync(dpy, False);
    ASSERT_TRUE(d.click_and_wait("Load Image", "Could not load image "));
    EXPECT_EQ(d.app().lines().back(), "Could not load image ab!");
  }
  {
    e2e::SelectionOwner silent(d.x().display_name(), "CLIPBOARD", {"ab", {}, false});
    ASSERT_TRUE(paste_into_filename(d));
    ASSERT_TRUE(d.wait_until_handled());
    const auto requests = silent.requests();
    ASSERT_FALSE(requests.empty());
    for (const auto& r : requests) EXPECT_LT(r.at, std::chrono::milliseconds(500)) << r.target;
  }
  on_display(d,
             "sh -c 'head -c 2000000 /dev/zero | tr \"\\\\0\" a | xclip -selection clipboard' "
             ">/dev/null");
  Display* dpy = d.x().display();
  const Atom clipboard = XInternAtom(dpy, "CLIPBOARD", False);
  ASSERT_TRUE(e2e::wait_until([&] { return XGetSelectionOwner(dpy, clipboard) != None; },
                              "xclip holding the clipboard"));
  ASSERT_TRUE(paste_into_filename(d));
  ASSERT_TRUE(d.wait_until_handled());
  EXPECT_EQ(on_display(d, "timeout 10 xclip -o -selection clipboard | wc -c"), "2000000\n");

  const Daubwork::Control& field = d.control("Image Filename: ");
  d.x().click(d.panel(), field.hot.x + 4, field.hot.y + field.hot.height / 2);
  for (const char* k : {"ctrl+a", "BackSpace"}) ASSERT_TRUE(d.x().key(k));
  ASSERT_TRUE(d.wait_until_handled());
  e2e::SelectionOwner xt(d.x().display_name(), "PRIMARY", {"image1.jpg", {}, true, true});
  d.x().click(d.panel(), field.hot.x + 4, field.hot.y + field.hot.height / 2, e2e::Button::Middle);
  ASSERT_TRUE(d.click_and_wait("Load Image", "Image image1.jpg loaded."));

  // Text selected in a field is the PRIMARY selection, taken from its owner.
  d.x().click(d.panel(), field.hot.x + 4, field.hot.y + field.hot.height / 2);
  ASSERT_TRUE(d.x().key("ctrl+a"));
  ASSERT_TRUE(d.wait_until_handled());
  EXPECT_EQ(on_display(d, "timeout 10 xclip -o -selection primary"), "image1.jpg");
}
