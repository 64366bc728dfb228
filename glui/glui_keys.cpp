// See glui_keys.h.
#include "glui/glui_keys.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <backends/imgui_impl_glut.h>
#include <imgui.h>

#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>

#include "glui/glui.h"
#include "glui/glui_context.h"
#include "glui/glui_imgui.h"
#include "glui/glui_input.h"
#include "glui/glui_x11.h"

using glui_x11::Connection;

namespace {

// One key press on a watched window that GLUT does not report, or whose
// text GLUT does not give whole.
struct Press {
  int glut_window = 0;    // the GLUT window it went to
  std::string text;       // UTF-8 text it types; empty when none
  bool back_tab = false;  // Shift+Tab
};
using PressHandler = std::function<void(const Press&)>;

// The keys GLUT reports to a special function when they produce no
// character (freeglut's list).
bool glut_special(KeySym k) {
  if (k >= XK_F1 && k <= XK_F12) return true;
  switch (k) {
    case XK_Left:
    case XK_KP_Left:
    case XK_Right:
    case XK_KP_Right:
    case XK_Up:
    case XK_KP_Up:
    case XK_Down:
    case XK_KP_Down:
    case XK_Prior:
    case XK_KP_Prior:
    case XK_Next:
    case XK_KP_Next:
    case XK_Home:
    case XK_KP_Home:
    case XK_End:
    case XK_KP_End:
    case XK_Insert:
    case XK_KP_Insert:
    case XK_Num_Lock:
    case XK_KP_Begin:
    case XK_KP_Delete:
    case XK_Shift_L:
    case XK_Shift_R:
    case XK_Control_L:
    case XK_Control_R:
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Super_L:
    case XK_Meta_R:
    case XK_Super_R: return true;
    default: return false;
  }
}

// A key press as the connection received it.
struct Entry {
  XKeyEvent key;
  bool composing = false;  // the input method took it into a composition:
                           // it types nothing itself
  Press press;             // the input method's account: text, Shift+Tab
};

// What GLUT makes of a key press: a control key, a character (its text),
// or nothing.
struct GlutView {
  enum Kind { control, character, dropped };
  Kind kind = dropped;
  std::string text;  // a character's, in the locale's encoding (UTF-8)
  bool back_tab = false;
};

// Presses received, not yet handed over or taken.
std::deque<Entry> presses;

// A key press on a watched window, as the connection receives it: the
// input method's account of it, queued until GLUT reports the key.
bool record_press(Connection* c, XEvent& event) {
  const int glut = c->glut_window(event.xkey.window);
  if (glut == 0) return false;
  Entry entry;
  entry.key = event.xkey;
  entry.press.glut_window = glut;
  if (XFilterEvent(&event, None)) {
    entry.composing = true;
  } else if (XIC ic = c->input_context(event.xkey.window)) {
    KeySym sym = NoSymbol;
    Status status = XLookupNone;
    char buffer[64];
    std::string& text = entry.press.text;
    int n = Xutf8LookupString(ic, &event.xkey, buffer, sizeof buffer, &sym, &status);
    if (status == XBufferOverflow) {
      text.resize(static_cast<size_t>(n));
      n = Xutf8LookupString(ic, &event.xkey, text.data(), n, &sym, &status);
      text.resize(static_cast<size_t>(n > 0 ? n : 0));
    } else if (status == XLookupChars || status == XLookupBoth) {
      text.assign(buffer, static_cast<size_t>(n));
    }
    entry.press.back_tab =
        (status == XLookupKeySym || status == XLookupBoth) && sym == XK_ISO_Left_Tab;
  }
  presses.push_back(std::move(entry));
  return true;
}

// GLUT's reading of a press, made as GLUT makes it: through GLUT's own
// connection, whose copy of the keyboard map GLUT has just brought up to
// date for the press it reports. (A program that types by changing the map
// for a moment, as xdotool does, changes it again right after; the later a
// reading, the likelier it finds another key there.)
GlutView glut_view(const Connection* c, const Entry& entry) {
  GlutView view;
  // A press the input method makes up has key code 0: GLUT never sees it.
  if (entry.key.keycode == 0) return view;
  XKeyEvent key = entry.key;
  if (c->glut_display()) key.display = c->glut_display();
  char bytes[64];
  KeySym keysym = NoSymbol;
  const int length = XLookupString(&key, bytes, sizeof bytes - 1, &keysym, nullptr);
  const unsigned char first = static_cast<unsigned char>(bytes[0]);
  if (length > 0) {
    view.kind = first < 0x20 || first == 0x7F ? GlutView::control : GlutView::character;
    if (view.kind == GlutView::character) view.text.assign(bytes, static_cast<size_t>(length));
  } else {
    view.kind = glut_special(keysym) ? GlutView::control : GlutView::dropped;
    view.back_tab = keysym == XK_ISO_Left_Tab;
  }
  return view;
}

// The connection, taking the key presses of the windows it watches.
Connection* connection_with_keys() {
  Connection* c = Connection::get();
  static bool taking = false;
  if (c && !taking) {
    taking = true;
    c->set_key_handler([c](XEvent& event) { return record_press(c, event); });
  }
  return c;
}

// Hands over a press that GLUT did not report, or whose report has had its
// turn already: the input method's account of it, else GLUT's reading.
void hand_over(const Entry& entry, const GlutView& view, const PressHandler& dropped) {
  if (entry.composing) return;
  Press press = entry.press;
  if (press.text.empty() && view.kind == GlutView::character) press.text = view.text;
  press.back_tab = press.back_tab || view.back_tab;
  // Control characters are the control keys' business.
  if (!press.text.empty() && static_cast<unsigned char>(press.text[0]) < 0x20) press.text.clear();
  if (!press.text.empty() || press.back_tab) dropped(press);
}

// What becomes of the press at the head of the queue.
enum class Turn {
  wait,      // stays, with all after it: GLUT reports it later
  take,      // it is the key GLUT reports now
  hand_over  // its turn has come (or passed): to the handler, then the next
};

// Goes through the queue from its head as `turn` says of each press; the
// press taken, if one was.
std::optional<std::pair<Entry, GlutView>> take_presses(
    Connection* c, const PressHandler& dropped, const std::function<Turn(const GlutView&)>& turn) {
  std::deque<Entry>& q = presses;
  while (!q.empty()) {
    GlutView view = glut_view(c, q.front());
    const Turn t = turn(view);
    if (t == Turn::wait) break;
    Entry entry = std::move(q.front());
    q.pop_front();
    if (t == Turn::take) return std::make_pair(std::move(entry), std::move(view));
    hand_over(entry, view, dropped);  // may run a frame, and take more presses
  }
  return std::nullopt;
}

// For a character key that GLUT reports now with the byte c: hands the
// presses GLUT dropped before it to `dropped`, in order, and returns the
// UTF-8 text the key types: the X server's account of it, or GLUT's byte
// when there is none (keys that did not come from the X server, as in
// tests) and the byte is a character by itself.
std::string character_key_text(unsigned char c, const PressHandler& dropped) {
  Connection* connection = connection_with_keys();
  if (connection) {
    // GLUT holds this key's event, so the server has sent it here too: a
    // round trip brings it in with everything before it.
    connection->read(true);
    // Presses before this key's own go first, up to a control key (GLUT
    // reports that one later): dropped ones, and character keys that GLUT
    // read as nothing after all.
    auto own = take_presses(connection, dropped, [c](const GlutView& view) {
      if (view.kind == GlutView::control) return Turn::wait;
      if (view.kind == GlutView::character && static_cast<unsigned char>(view.text[0]) == c)
        return Turn::take;
      return Turn::hand_over;
    });
    if (own) return own->first.composing ? std::string() : own->second.text;
  }
  // No account of this key: GLUT's byte, unless it is only the first byte
  // of a longer UTF-8 sequence.
  if (c < 0x80) return std::string(1, static_cast<char>(c));
  if (connection && connection->utf8()) return std::string();
  return std::string{static_cast<char>(0xC0 | (c >> 6)), static_cast<char>(0x80 | (c & 0x3F))};
}

// For a control key that GLUT reports now: hands the presses GLUT dropped
// before it to `dropped`, in order, and takes its own.
void take_control_key(const PressHandler& dropped) {
  Connection* c = connection_with_keys();
  if (!c) return;
  c->read(true);
  take_presses(c, dropped, [](const GlutView& view) {
    return view.kind == GlutView::control ? Turn::take : Turn::hand_over;
  });
}

void take_dropped(const PressHandler& dropped) {
  Connection* c = connection_with_keys();
  if (!c) return;
  c->read(false);
  // A character or control key waits for GLUT's report of it, and all
  // after it too.
  take_presses(c, dropped, [](const GlutView& view) {
    return view.kind == GlutView::dropped ? Turn::hand_over : Turn::wait;
  });
}

// The main windows' keyboard and special functions that GLUI_Master
// forwards, by GLUT window id.
struct Forwarded {
  void (*keyboard)(unsigned char, int, int) = nullptr;
  void (*special)(int, int, int) = nullptr;
  // The toolkit's own keyboard and special functions are installed: every
  // key GLUT reports for the window then passes through the toolkit.
  bool keyboard_installed = false;
  bool special_installed = false;
};
std::map<int, Forwarded> forwarded;

// Starts taking the X server's account of the keys of the current window
// once the toolkit sees every key GLUT reports for it.
void watch_keys(Forwarded& f) {
  if (f.keyboard_installed && f.special_installed) glui_keys::watch_current_window();
}

// A key as GLUT reports it: a character (keyboard functions) or one of
// GLUT's special keys (arrows, function keys, Home, End...).
struct Key {
  int code;
  bool special;
};

// A character key going down, typing `text` (UTF-8) rather than GLUT's
// byte, which is one byte of the key's text only (in a UTF-8 locale the
// first of a longer sequence). The key itself is held as the GLUT backend
// holds it, so that shortcuts still work.
void feed_text_key(unsigned char c, const std::string& text) {
  const int mods = glutGetModifiers();
  glui_imgui::set_modifiers(mods & GLUT_ACTIVE_CTRL, mods & GLUT_ACTIVE_SHIFT,
                            mods & GLUT_ACTIVE_ALT);
  glui_imgui::set_key_down(c, true);
  if (c >= 'a' && c <= 'z') glui_imgui::set_key_down(c - 'a' + 'A', true);
  if (c >= 'A' && c <= 'Z') glui_imgui::set_key_down(c - 'A' + 'a', true);
  ImGui::GetIO().AddInputCharactersUTF8(text.c_str());
}

// Tells the current ImGui context that a key went down or up.
void feed_key(Key k, bool down) {
  if (k.special)
    down ? ImGui_ImplGLUT_SpecialFunc(k.code, 0, 0) : ImGui_ImplGLUT_SpecialUpFunc(k.code, 0, 0);
  else if (down)
    ImGui_ImplGLUT_KeyboardFunc(static_cast<unsigned char>(k.code), 0, 0);
  else
    ImGui_ImplGLUT_KeyboardUpFunc(static_cast<unsigned char>(k.code), 0, 0);
}

// Whether the current ImGui context holds the key down (the GLUT backend
// keeps special keys 256 places after the characters).
bool key_held(Key k) {
  return glui_imgui::key_down(k.special ? k.code + glui_imgui::kSpecialKeyBase : k.code);
}

constexpr int kEnter = 13, kEscape = 27;

// A key going down or up in a panel.
//
// Enter and Esc are the toolkit's: ImGui would end the edit on either (and
// throw the typed text away on Esc), while the control clicked last keeps
// the keys until the next click in the main window. Enter commits what was
// typed; Esc does nothing, and does not reach the program either.
//
// GLUT repeats a held key as further presses; ImGui counts a press only
// when the key goes down, so each press is preceded by a release.
//
// A character key going down types `text` (see glui_keys.h), not GLUT's
// byte.
void panel_key(GLUI* gui, Key k, bool down, const std::string* text = nullptr) {
  if (!k.special && k.code == kEscape) return;
  if (!k.special && k.code == kEnter && glui_takes_text(gui->get_active_control())) {
    if (down) gui->context().enter();
    return;
  }
  if (down) {
    glui_transition(gui, [&] {
      if (key_held(k)) feed_key(k, false);
    });
  }
  if (down && text) {
    glui_transition(gui, [&] { feed_text_key(static_cast<unsigned char>(k.code), *text); });
    return;
  }
  glui_transition(gui, [&] { feed_key(k, down); });
}

// A key going down or up over a main window. The control clicked last
// takes the keys until the next click in the window, and only text
// controls use them; otherwise a key going down reaches the program's
// keyboard or special function, if it gave one.
void main_key(Key k, bool down, int x, int y, const std::string* text = nullptr) {
  int window = glutGetWindow();
  for (const auto& g : GLUI_Master.guis()) {
    if (!g->get_active_control() || !glui_serves(g.get(), window)) continue;
    if (glui_takes_text(g->get_active_control())) panel_key(g.get(), k, down, text);
    glutSetWindow(window);
    return;
  }
  auto it = forwarded.find(window);
  if (!down || it == forwarded.end()) return;
  if (k.special && it->second.special) it->second.special(k.code, x, y);
  if (!k.special && it->second.keyboard)
    it->second.keyboard(static_cast<unsigned char>(k.code), x, y);
}

// The panel whose text control takes the keys typed into `window`: the
// panel itself, or a panel serving a main window.
GLUI* text_target(int window) {
  if (GLUI* g = GLUI_Master.find_glui_by_window_id(window))
    return glui_takes_text(g->get_active_control()) ? g : nullptr;
  for (const auto& g : GLUI_Master.guis())
    if (g->get_active_control() && glui_serves(g.get(), window))
      return glui_takes_text(g->get_active_control()) ? g.get() : nullptr;
  return nullptr;
}

// A key press that GLUT dropped, in its place among the keys GLUT reports:
// text composed by the input method, and Shift+Tab, which moves back
// through the text fields and spinners as Tab moves on.
void dropped_press(const Press& press) {
  GLUI* gui = text_target(press.glut_window);
  if (!gui) return;
  constexpr int kTab = '\t';
  if (press.back_tab) {
    glui_transition(gui, [] {
      glui_imgui::set_modifiers(false, true, false);
      glui_imgui::set_key_down(kTab, true);
    });
    glui_transition(gui, [] {
      glui_imgui::set_key_down(kTab, false);
      glui_imgui::set_modifiers(false, false, false);
    });
  } else if (!press.text.empty()) {
    glui_transition(gui, [&] { ImGui::GetIO().AddInputCharactersUTF8(press.text.c_str()); });
  }
}

bool is_character(unsigned char c) { return c >= ' ' && c != 0x7F; }

// A character key's text, or null for a control key, after the keys GLUT
// dropped before it have had their turn (see glui_keys.h).
const std::string* key_text(unsigned char c, std::string* storage) {
  if (!is_character(c)) {
    take_control_key(dropped_press);
    return nullptr;
  }
  *storage = character_key_text(c, dropped_press);
  return storage;
}

}  // namespace

namespace glui_keys {

void watch_current_window() {
  Connection* c = connection_with_keys();
  if (!c) return;
  // GLUT draws into the window itself, so the window's drawable is it.
  c->watch(glutGetWindow(), glXGetCurrentDrawable());
}

void take_dropped_presses() { take_dropped(dropped_press); }

}  // namespace glui_keys

void glui_panel_keyboard(GLUI* gui, unsigned char key, int x, int y) {
  (void)x;
  (void)y;
  std::string text;
  panel_key(gui, {key, false}, true, key_text(key, &text));
}
void glui_panel_keyboard_up(GLUI* gui, unsigned char key, int x, int y) {
  (void)x;
  (void)y;
  panel_key(gui, {key, false}, false);
}
void glui_panel_special(GLUI* gui, int key, int x, int y) {
  (void)x;
  (void)y;
  take_control_key(dropped_press);
  panel_key(gui, {key, true}, true);
}
void glui_panel_special_up(GLUI* gui, int key, int x, int y) {
  (void)x;
  (void)y;
  panel_key(gui, {key, true}, false);
}

void glui_main_keyboard(unsigned char key, int x, int y) {
  std::string text;
  main_key({key, false}, true, x, y, key_text(key, &text));
}
void glui_main_keyboard_up(unsigned char key, int x, int y) { main_key({key, false}, false, x, y); }
void glui_main_special(int key, int x, int y) {
  take_control_key(dropped_press);
  main_key({key, true}, true, x, y);
}
void glui_main_special_up(int key, int x, int y) { main_key({key, true}, false, x, y); }

void GLUI_Master_Object::set_glutKeyboardFunc(void (*f)(unsigned char, int, int)) {
  Forwarded& forwards = forwarded[glutGetWindow()];
  forwards.keyboard = f;
  glutKeyboardFunc(glui_main_keyboard);
  glutKeyboardUpFunc(glui_main_keyboard_up);
  forwards.keyboard_installed = true;
  watch_keys(forwards);
}

void GLUI_Master_Object::set_glutSpecialFunc(void (*f)(int, int, int)) {
  Forwarded& forwards = forwarded[glutGetWindow()];
  forwards.special = f;
  glutSpecialFunc(glui_main_special);
  glutSpecialUpFunc(glui_main_special_up);
  forwards.special_installed = true;
  watch_keys(forwards);
}
