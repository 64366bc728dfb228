// See glui_drop.h.
#include "glui/glui_drop.h"

#include <GL/freeglut.h>
#include <GL/glx.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstring>

#include "glui/glui.h"
#include "glui/glui_x11.h"

namespace glui_drop {

// --- The data -----------------------------------------------------------------

std::vector<std::string> uri_list_entries(const std::string& data) {
  std::vector<std::string> entries;
  size_t start = 0;
  while (start < data.size()) {
    size_t end = data.find('\n', start);
    if (end == std::string::npos) end = data.size();
    std::string line = data.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] != '#') entries.push_back(line);
    start = end + 1;
  }
  return entries;
}

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Percent-decodes text into bytes; false on a bad escape or a NUL byte.
bool percent_decode(const std::string& text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '%') {
      if (i + 2 >= text.size()) return false;
      const int hi = hex_value(text[i + 1]), lo = hex_value(text[i + 2]);
      if (hi < 0 || lo < 0) return false;
      c = static_cast<char>(hi * 16 + lo);
      i += 2;
    }
    if (c == '\0') return false;
    out->push_back(c);
  }
  return true;
}

bool equal_ignoring_case(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

// A field holds one line: text up to its first line end.
std::string first_line(const std::string& text) {
  return text.substr(0, text.find_first_of("\r\n"));
}

}  // namespace

bool file_uri_path(const std::string& uri, const std::string& host_name, std::string* path) {
  static const char kScheme[] = "file:";
  const size_t scheme = sizeof kScheme - 1;
  if (uri.size() <= scheme || !equal_ignoring_case(uri.substr(0, scheme), kScheme)) return false;
  std::string rest = uri.substr(scheme);
  if (rest.compare(0, 2, "//") == 0) {
    const size_t slash = rest.find('/', 2);
    if (slash == std::string::npos) return false;
    const std::string host = rest.substr(2, slash - 2);
    if (!host.empty() && !equal_ignoring_case(host, "localhost") &&
        !equal_ignoring_case(host, host_name))
      return false;
    rest = rest.substr(slash);
  }
  if (rest.empty() || rest[0] != '/') return false;
  // A query or fragment is not part of a file's name.
  rest = rest.substr(0, rest.find_first_of("?#"));
  return percent_decode(rest, path) && !path->empty();
}

bool is_address(const std::string& text) {
  // A scheme: a letter, then letters, digits, "+", "-" or "."; then ":".
  if (text.empty() || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  for (size_t i = 1; i < text.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == ':') return i > 1;  // "C:" is not a scheme
    if (!std::isalnum(c) && c != '+' && c != '-' && c != '.') return false;
  }
  return false;
}

bool text_for_field(const Offer& offer, const std::string& host_name, std::string* text) {
  if (offer.uri_list) {
    for (const std::string& entry : offer.entries)
      if (file_uri_path(entry, host_name, text)) return true;
    return false;
  }
  const std::string line = first_line(offer.text);
  if (is_address(line)) return file_uri_path(line, host_name, text);
  // More than any path: a field is no place for a dropped document.
  constexpr size_t kMaxFieldText = 4096;
  if (line.empty() || line.size() > kMaxFieldText) return false;
  *text = line;
  return true;
}

std::vector<std::string> files_offered(const Offer& offer, const std::string& host_name) {
  std::vector<std::string> files;
  std::string path;
  if (offer.uri_list) {
    for (const std::string& entry : offer.entries)
      if (file_uri_path(entry, host_name, &path)) files.push_back(path);
  } else if (file_uri_path(first_line(offer.text), host_name, &path)) {
    files.push_back(path);
  }
  return files;
}

// --- The protocol ---------------------------------------------------------------

namespace {

constexpr long kVersion = 5;
// A drop's data is a few names or a line of text: more is not read.
constexpr long kMaxDataLongs = (1 << 20) / 4;

struct Atoms {
  Atom aware, proxy, enter, position, status, leave, drop, finished, selection, action_copy,
      uri_list, utf8, plain_utf8, plain, string, text, data;
};

// What lies under the pointer.
enum class Place { none, canvas, field };

struct Target {
  Display* display = nullptr;
  Window proxy = 0;
  Window main = 0;   // GLUT's main window, on GLUT's connection
  Window panel = 0;  // the panel's subwindow
  GLUI* gui = nullptr;
  FilesDropped files = nullptr;
  Atoms atoms{};
  std::string host_name;

  // The drag under way.
  Window source = 0;
  std::vector<Atom> types;
  Atom chosen = None;  // the type asked for
  bool asked = false;  // the data has been asked for
  bool have_data = false;
  Offer offer;
  bool position_due = false;  // an XdndPosition waits for its answer
  bool drop_due = false;      // an XdndDrop waits for the data
  int root_x = 0, root_y = 0;
  Time time = CurrentTime;
};

Target* target = nullptr;  // the one main window that takes drops

// Requests to another client run under a handler that turns "that window
// is gone" into a failed request, never an exit.
bool x_error = false;
int note_error(Display*, XErrorEvent*) {
  x_error = true;
  return 0;
}
template <typename Request>
bool guarded(Display* display, Request&& request) {
  XSync(display, False);
  x_error = false;
  int (*previous)(Display*, XErrorEvent*) = XSetErrorHandler(note_error);
  request();
  XSync(display, False);
  XSetErrorHandler(previous);
  return !x_error;
}

void send_to(Target& t, Window source, Atom type, long l1, long l2, long l3, long l4) {
  XEvent event{};
  event.xclient.type = ClientMessage;
  event.xclient.display = t.display;
  event.xclient.window = source;
  event.xclient.message_type = type;
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(t.main);
  event.xclient.data.l[1] = l1;
  event.xclient.data.l[2] = l2;
  event.xclient.data.l[3] = l3;
  event.xclient.data.l[4] = l4;
  guarded(t.display, [&] { XSendEvent(t.display, source, False, NoEventMask, &event); });
}

void send_to_source(Target& t, Atom type, long l1, long l2, long l3, long l4) {
  send_to(t, t.source, type, l1, l2, l3, l4);
}

// The text field of the panel under the root point, or null.
GLUI_EditText* field_at(Target& t, int panel_x, int panel_y) {
  for (GLUI_Control* c : t.gui->controls()) {
    auto* field = dynamic_cast<GLUI_EditText*>(c);
    if (!field) continue;
    const GLUI_Rect& r = field->hot_rect();
    if (panel_x >= r.x && panel_x < r.x + r.w && panel_y >= r.y && panel_y < r.y + r.h)
      return field;
  }
  return nullptr;
}

// Where the root point lies: on a text field (*field set), on the canvas,
// or elsewhere.
Place place_of(Target& t, GLUI_EditText** field) {
  *field = nullptr;
  int x = 0, y = 0;
  Window child = 0;
  XWindowAttributes main{}, panel{};
  bool ok = guarded(t.display, [&] {
    XTranslateCoordinates(t.display, DefaultRootWindow(t.display), t.main, t.root_x, t.root_y, &x,
                          &y, &child);
    XGetWindowAttributes(t.display, t.main, &main);
    XGetWindowAttributes(t.display, t.panel, &panel);
  });
  if (!ok || x < 0 || y < 0 || x >= main.width || y >= main.height) return Place::none;
  if (x >= panel.x && x < panel.x + panel.width && y >= panel.y && y < panel.y + panel.height) {
    *field = field_at(t, x - panel.x, y - panel.y);
    return *field ? Place::field : Place::none;
  }
  return Place::canvas;
}

bool is_folder(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

// Whether the drop, landing now, would be taken; what it gives.
bool would_take(Target& t, Place place, std::string* text, std::string* file) {
  if (!t.have_data) return false;
  if (place == Place::field) return text_for_field(t.offer, t.host_name, text);
  if (place != Place::canvas || !t.files) return false;
  for (const std::string& path : files_offered(t.offer, t.host_name)) {
    if (is_folder(path)) continue;
    *file = path;
    return true;
  }
  return false;
}

void answer_position(Target& t) {
  t.position_due = false;
  GLUI_EditText* field = nullptr;
  std::string text, file;
  const bool take = would_take(t, place_of(t, &field), &text, &file);
  // An empty rectangle: a position for every move.
  send_to_source(t, t.atoms.status, take ? 1 : 0, 0, 0,
                 take ? static_cast<long>(t.atoms.action_copy) : 0);
}

void forget_drag(Target& t) {
  t.source = 0;
  t.types.clear();
  t.chosen = None;
  t.asked = t.have_data = t.position_due = t.drop_due = false;
  t.offer = Offer{};
}

void finish_drop(Target& t) {
  GLUI_EditText* field = nullptr;
  std::string text, file;
  const Place place = place_of(t, &field);
  const bool take = would_take(t, place, &text, &file);
  send_to_source(t, t.atoms.finished, take ? 1 : 0,
                 take ? static_cast<long>(t.atoms.action_copy) : 0, 0, 0);
  const int offered = static_cast<int>(t.offer.uri_list ? t.offer.entries.size() : 1);
  forget_drag(t);
  if (!take) return;
  if (place == Place::field) {
    if (t.gui->get_active_control() == field) t.gui->deactivate_current_control();
    field->set_text(text.c_str());
    glutPostWindowRedisplay(t.gui->get_glut_window_id());
    return;
  }
  // As a control callback runs: with the main graphics window current.
  const int previous = glutGetWindow();
  if (t.gui->get_main_gfx_window() > 0) glutSetWindow(t.gui->get_main_gfx_window());
  t.files(file.c_str(), offered);
  if (previous > 0) glutSetWindow(previous);
}

// The type to ask for: a list of files if offered, else text.
Atom choose_type(const Target& t) {
  const Atoms& a = t.atoms;
  for (Atom wanted : {a.uri_list, a.utf8, a.plain_utf8, a.plain, a.string, a.text})
    if (std::find(t.types.begin(), t.types.end(), wanted) != t.types.end()) return wanted;
  return None;
}

void ask_for_data(Target& t) {
  if (t.asked) return;
  t.asked = true;
  t.chosen = choose_type(t);
  if (t.chosen == None) {
    t.have_data = true;  // nothing this program takes: refused
    return;
  }
  XConvertSelection(t.display, t.atoms.selection, t.chosen, t.atoms.data, t.proxy, t.time);
  XFlush(t.display);
}

void on_enter(Target& t, const XClientMessageEvent& m) {
  forget_drag(t);
  t.source = static_cast<Window>(m.data.l[0]);
  if ((m.data.l[1] >> 24) > kVersion) {
    // A later version than ours: XDND says not to answer it at all.
    t.source = 0;
    return;
  }
  if (m.data.l[1] & 1) {
    // More than three types: the source lists them in XdndTypeList.
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom list = XInternAtom(t.display, "XdndTypeList", False);
    const Window source = t.source;
    guarded(t.display, [&] {
      XGetWindowProperty(t.display, source, list, 0, 256, False, XA_ATOM, &type, &format, &count,
                         &after, &data);
    });
    if (data && type == XA_ATOM && format == 32) {
      const Atom* atoms = reinterpret_cast<const Atom*>(data);
      t.types.assign(atoms, atoms + count);
    }
    if (data) XFree(data);
  } else {
    for (int i = 2; i <= 4; ++i)
      if (m.data.l[i] != None) t.types.push_back(static_cast<Atom>(m.data.l[i]));
  }
}

void on_position(Target& t, const XClientMessageEvent& m) {
  const Window from = static_cast<Window>(m.data.l[0]);
  if (t.source == 0 || t.source != from) {
    // No drag of this source under way (its version is refused, or its
    // XdndEnter never came): it is answered, refusing.
    if (from != 0) send_to(t, from, t.atoms.status, 0, 0, 0, 0);
    return;
  }
  t.root_x = static_cast<int>((m.data.l[2] >> 16) & 0xFFFF);
  t.root_y = static_cast<int>(m.data.l[2] & 0xFFFF);
  t.time = static_cast<Time>(m.data.l[3]);
  ask_for_data(t);
  if (t.have_data)
    answer_position(t);
  else
    t.position_due = true;  // answered when the data comes
}

void on_drop(Target& t, const XClientMessageEvent& m) {
  const Window from = static_cast<Window>(m.data.l[0]);
  if (t.source == 0 || t.source != from) {
    if (from != 0) send_to(t, from, t.atoms.finished, 0, 0, 0, 0);
    return;
  }
  t.time = static_cast<Time>(m.data.l[2]);
  ask_for_data(t);
  if (t.have_data)
    finish_drop(t);
  else
    t.drop_due = true;
}

void on_data(Target& t, const XSelectionEvent& s) {
  if (!t.source || !t.asked || t.have_data) return;
  t.have_data = true;
  if (s.property != None) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XGetWindowProperty(t.display, t.proxy, t.atoms.data, 0, kMaxDataLongs, True, AnyPropertyType,
                       &type, &format, &count, &after, &data);
    // An INCR transfer (data too large for one property) is not read.
    if (data && format == 8 && type != XInternAtom(t.display, "INCR", False)) {
      const std::string bytes(reinterpret_cast<const char*>(data), count);
      t.offer.uri_list = t.chosen == t.atoms.uri_list;
      if (t.offer.uri_list)
        t.offer.entries = uri_list_entries(bytes);
      else
        t.offer.text = bytes;
    }
    if (data) XFree(data);
  }
  if (t.drop_due)
    finish_drop(t);
  else if (t.position_due)
    answer_position(t);
}

}  // namespace

void accept_drops(GLUI* gui, FilesDropped files) {
  glui_x11::Connection* connection = glui_x11::Connection::get();
  Display* display = connection ? connection->display() : nullptr;
  if (!display || !gui || target) return;
  // The X windows of the main window and the panel: each is its drawable.
  const int previous = glutGetWindow();
  glutSetWindow(gui->get_parent_window());
  const Window main = glXGetCurrentDrawable();
  glutSetWindow(gui->get_glut_window_id());
  const Window panel = glXGetCurrentDrawable();
  if (previous > 0) glutSetWindow(previous);
  if (main == 0 || panel == 0) return;

  target = new Target;  // lives as long as the program
  Target& t = *target;
  t.display = display;
  t.main = main;
  t.panel = panel;
  t.gui = gui;
  t.files = files;
  char host[HOST_NAME_MAX + 1] = {};
  if (gethostname(host, sizeof host - 1) == 0) t.host_name = host;
  Atoms& a = t.atoms;
  a.aware = XInternAtom(display, "XdndAware", False);
  a.proxy = XInternAtom(display, "XdndProxy", False);
  a.enter = XInternAtom(display, "XdndEnter", False);
  a.position = XInternAtom(display, "XdndPosition", False);
  a.status = XInternAtom(display, "XdndStatus", False);
  a.leave = XInternAtom(display, "XdndLeave", False);
  a.drop = XInternAtom(display, "XdndDrop", False);
  a.finished = XInternAtom(display, "XdndFinished", False);
  a.selection = XInternAtom(display, "XdndSelection", False);
  a.action_copy = XInternAtom(display, "XdndActionCopy", False);
  a.uri_list = XInternAtom(display, "text/uri-list", False);
  a.utf8 = XInternAtom(display, "UTF8_STRING", False);
  a.plain_utf8 = XInternAtom(display, "text/plain;charset=utf-8", False);
  a.plain = XInternAtom(display, "text/plain", False);
  a.string = XA_STRING;
  a.text = XInternAtom(display, "TEXT", False);
  a.data = XInternAtom(display, "GLUI_DROP", False);

  XSetWindowAttributes attributes{};
  t.proxy = XCreateWindow(display, DefaultRootWindow(display), -10, -10, 1, 1, 0, 0, InputOnly,
                          CopyFromParent, 0, &attributes);
  const long version = kVersion;
  const Window proxy = t.proxy;
  // The proxy names itself, as XDND asks, so that a stale property on a
  // reused window id is not taken for it.
  for (Window w : {main, proxy}) {
    XChangeProperty(display, w, a.aware, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&version), 1);
    XChangeProperty(display, w, a.proxy, XA_WINDOW, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&proxy), 1);
  }
  XFlush(display);
  connection->add_handler([](XEvent& event) { return handle_event(event); });
}

bool handle_event(XEvent& event) {
  if (!target) return false;
  Target& t = *target;
  if (event.type == SelectionNotify && event.xselection.requestor == t.proxy) {
    if (event.xselection.selection == t.atoms.selection) on_data(t, event.xselection);
    return true;
  }
  if (event.type != ClientMessage ||
      (event.xclient.window != t.proxy && event.xclient.window != t.main))
    return false;
  const XClientMessageEvent& m = event.xclient;
  if (m.message_type == t.atoms.enter)
    on_enter(t, m);
  else if (m.message_type == t.atoms.position)
    on_position(t, m);
  else if (m.message_type == t.atoms.drop)
    on_drop(t, m);
  else if (m.message_type == t.atoms.leave && t.source == static_cast<Window>(m.data.l[0]))
    forget_drag(t);
  else
    return false;
  return true;
}

}  // namespace glui_drop
