// See glui_clipboard.h.
#include "glui/glui_clipboard.h"

#include <X11/Xatom.h>

#include <cstring>
#include <utility>

#include "glui/glui_x11.h"

namespace glui_x11 {
namespace {

// The selections over the connection, for the program's life.
class Clipboard {
 public:
  using Clock = std::chrono::steady_clock;

  explicit Clipboard(Connection* connection);

  // An event for the selections (requests, answers, pieces): handled, true.
  bool handle(const XEvent& event);

  // Offers UTF-8 text as the selection until another program takes it.
  void offer(Selection which, const std::string& utf8);
  // The text the program offers as the selection, or null when it does not
  // hold it.
  const std::string* offered(Selection which) const;
  // The holder's text, at most max_bytes + 1 bytes of it (more tells the
  // caller the text was longer); empty when nobody answers in time.
  std::string paste(Selection which, size_t max_bytes);
  // How long pastes have waited, all told.
  Clock::duration waited() const { return waited_; }

 private:
  struct Held {
    bool held = false;
    Time since = CurrentTime;
    std::string text;
  };
  // The request a paste waits for the answer to.
  struct Awaited {
    enum State { none, waiting, refused, got, incr } state = none;
    Atom selection = None, target = None, property = None;
    Time time = CurrentTime;
    size_t max_bytes = 0;
  };
  // A transfer in pieces, from its start to the holder's empty last piece.
  struct Pieces {
    bool active = false;
    Atom property = None;
    Atom type = None;
    size_t max_bytes = 0;
    std::string text;
  };

  Time server_time();
  void answer(const XSelectionRequestEvent& request);
  void take_answer(const XSelectionEvent& answer);
  void take_piece(const XPropertyEvent& event);
  int index_of(Atom selection) const;
  Atom atom_of(Selection which) const;
  std::string read_text(Atom property, size_t max_bytes, Atom* type);

  Connection* connection_;
  Display* display_;
  Window owner_;  // the toolkit's window: holds selections, receives pastes
  Atom clipboard_, utf8_, targets_, text_, plain_utf8_, timestamp_, incr_, stamp_;
  Atom properties_[2];  // where answers go: one may still take pieces
  Held held_[2];        // CLIPBOARD, PRIMARY while the program holds them
  Awaited awaited_;
  Pieces pieces_;
  Clock::duration waited_{};
};

// How long a paste waits for the program that holds the selection.
constexpr auto kPasteWait = std::chrono::milliseconds(500);

Bool is_stamp(Display*, XEvent* event, XPointer arg) {
  const auto* want = reinterpret_cast<const XPropertyEvent*>(arg);
  return event->type == PropertyNotify && event->xproperty.window == want->window &&
         event->xproperty.atom == want->atom;
}

}  // namespace

std::string latin1_to_utf8(const std::string& latin1) {
  std::string utf8;
  for (unsigned char c : latin1) {
    if (c < 0x80) {
      utf8 += static_cast<char>(c);
    } else {
      utf8 += static_cast<char>(0xC0 | (c >> 6));
      utf8 += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return utf8;
}

Clipboard::Clipboard(Connection* connection)
    : connection_(connection), display_(connection->display()), owner_(connection->owner()) {
  clipboard_ = XInternAtom(display_, "CLIPBOARD", False);
  utf8_ = XInternAtom(display_, "UTF8_STRING", False);
  targets_ = XInternAtom(display_, "TARGETS", False);
  text_ = XInternAtom(display_, "TEXT", False);
  plain_utf8_ = XInternAtom(display_, "text/plain;charset=utf-8", False);
  timestamp_ = XInternAtom(display_, "TIMESTAMP", False);
  incr_ = XInternAtom(display_, "INCR", False);
  stamp_ = XInternAtom(display_, "GLUI_TIME", False);
  properties_[0] = XInternAtom(display_, "GLUI_PASTE", False);
  properties_[1] = XInternAtom(display_, "GLUI_PASTE_2", False);
}

int Clipboard::index_of(Atom selection) const { return selection == clipboard_ ? 0 : 1; }
Atom Clipboard::atom_of(Selection which) const {
  return which == Selection::clipboard ? clipboard_ : XA_PRIMARY;
}

// The server's time now: the time of an empty change to a property of the
// toolkit's window. Selections are taken and asked for at it, which is
// later than any time another program took a selection at.
Time Clipboard::server_time() {
  XChangeProperty(display_, owner_, stamp_, XA_STRING, 8, PropModeAppend, nullptr, 0);
  XPropertyEvent want{};
  want.window = owner_;
  want.atom = stamp_;
  XEvent event;
  XIfEvent(display_, &event, is_stamp, reinterpret_cast<XPointer>(&want));
  return event.xproperty.time;
}

bool Clipboard::handle(const XEvent& event) {
  switch (event.type) {
    case SelectionRequest: answer(event.xselectionrequest); return true;
    case SelectionClear: {
      const XSelectionClearEvent& clear = event.xselectionclear;
      if (clear.selection != clipboard_ && clear.selection != XA_PRIMARY) return true;
      Held& h = held_[index_of(clear.selection)];
      // A clear for an older taking of ours is stale.
      if (clear.time == CurrentTime || clear.time >= h.since) {
        h.held = false;
        h.text.clear();
      }
      return true;
    }
    case SelectionNotify: take_answer(event.xselection); return true;
    case PropertyNotify:
      if (event.xproperty.window != owner_) return false;
      take_piece(event.xproperty);
      return true;
    default: return false;
  }
}

// Another program asks for a selection the program holds. Its window may
// be gone already: the connection's error handler lets the requests fail.
void Clipboard::answer(const XSelectionRequestEvent& request) {
  XSelectionEvent reply{};
  reply.type = SelectionNotify;
  reply.display = request.display;
  reply.requestor = request.requestor;
  reply.selection = request.selection;
  reply.target = request.target;
  reply.time = request.time;
  reply.property = None;
  const bool ours = request.owner == owner_ &&
                    (request.selection == clipboard_ || request.selection == XA_PRIMARY);
  const Held& h = held_[index_of(request.selection)];
  // Old programs name no property: the target then serves as one.
  const Atom property = request.property != None ? request.property : request.target;
  // A selection too big for one request would need the incremental
  // protocol; a field's text never is.
  const size_t limit = static_cast<size_t>(XMaxRequestSize(display_)) * 4 - 64;
  const bool in_time = request.time == CurrentTime || request.time >= h.since;
  if (ours && h.held && in_time) {
    if (request.target == targets_) {
      Atom offered[] = {targets_, timestamp_, utf8_, plain_utf8_, text_, XA_STRING};
      XChangeProperty(display_, request.requestor, property, XA_ATOM, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(offered), 6);
      reply.property = property;
    } else if (request.target == timestamp_) {
      long since = static_cast<long>(h.since);
      XChangeProperty(display_, request.requestor, property, XA_INTEGER, 32, PropModeReplace,
                      reinterpret_cast<unsigned char*>(&since), 1);
      reply.property = property;
    } else if ((request.target == utf8_ || request.target == plain_utf8_ ||
                request.target == text_) &&
               h.text.size() <= limit) {
      XChangeProperty(display_, request.requestor, property,
                      request.target == plain_utf8_ ? plain_utf8_ : utf8_, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(h.text.data()),
                      static_cast<int>(h.text.size()));
      reply.property = property;
    } else if (request.target == XA_STRING && h.text.size() <= limit) {
      // STRING is Latin-1: offered only when the text has nothing beyond.
      std::string latin1;
      bool fits = true;
      for (size_t i = 0; i < h.text.size() && fits; ++i) {
        unsigned char c = static_cast<unsigned char>(h.text[i]);
        if (c < 0x80) {
          latin1 += static_cast<char>(c);
        } else if ((c == 0xC2 || c == 0xC3) && i + 1 < h.text.size()) {
          latin1 += static_cast<char>(((c & 0x03) << 6) | (h.text[++i] & 0x3F));
        } else {
          fits = false;
        }
      }
      if (fits) {
        XChangeProperty(display_, request.requestor, property, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(latin1.data()),
                        static_cast<int>(latin1.size()));
        reply.property = property;
      }
    }
  }
  XSendEvent(display_, request.requestor, False, NoEventMask, reinterpret_cast<XEvent*>(&reply));
  XFlush(display_);
}

void Clipboard::offer(Selection which, const std::string& utf8) {
  Held& h = held_[static_cast<int>(which)];
  const Atom selection = atom_of(which);
  h.text = utf8;
  h.since = server_time();
  XSetSelectionOwner(display_, selection, owner_, h.since);
  h.held = XGetSelectionOwner(display_, selection) == owner_;
  XFlush(display_);
}

const std::string* Clipboard::offered(Selection which) const {
  const Held& h = held_[static_cast<int>(which)];
  return h.held ? &h.text : nullptr;
}

// The answer to the request a paste waits for, and no other: a late answer
// to an earlier request names another time (or target, or property).
void Clipboard::take_answer(const XSelectionEvent& answer) {
  const Awaited& a = awaited_;
  if (a.state != Awaited::waiting || answer.requestor != owner_ ||
      answer.selection != a.selection || (answer.time != a.time && answer.time != CurrentTime) ||
      (answer.property != None && answer.property != a.property)) {
    return;
  }
  if (answer.property == None) {
    awaited_.state = Awaited::refused;
    return;
  }
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display_, owner_, a.property, 0, 0, False, AnyPropertyType, &type, &format,
                         &count, &after, &data) != Success) {
    awaited_.state = Awaited::refused;
    return;
  }
  if (data) XFree(data);
  if (type == incr_) {
    // Deleting the property asks for the first piece.
    pieces_ = Pieces{};
    pieces_.active = true;
    pieces_.property = a.property;
    pieces_.max_bytes = a.max_bytes;
    XDeleteProperty(display_, owner_, a.property);
    XFlush(display_);
    awaited_.state = Awaited::incr;
  } else {
    awaited_.state = Awaited::got;
  }
}

// A piece of a transfer in pieces has come: kept while the paste wants
// more, dropped after; deleting it asks for the next. The empty piece is
// the last.
void Clipboard::take_piece(const XPropertyEvent& event) {
  if (!pieces_.active || event.atom != pieces_.property || event.state != PropertyNewValue) return;
  const size_t room =
      pieces_.max_bytes + 1 > pieces_.text.size() ? pieces_.max_bytes + 1 - pieces_.text.size() : 0;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool read =
      XGetWindowProperty(display_, owner_, pieces_.property, 0, static_cast<long>(room + 3) / 4,
                         False, AnyPropertyType, &type, &format, &count, &after, &data) == Success;
  if (read && data && format == 8 && room > 0) {
    pieces_.type = type;
    pieces_.text.append(reinterpret_cast<const char*>(data), std::min<size_t>(count, room));
  }
  if (data) XFree(data);
  if (!read || (count == 0 && after == 0)) pieces_.active = false;
  XDeleteProperty(display_, owner_, pieces_.property);
  XFlush(display_);
}

// At most max_bytes of the property's text (8-bit data up to its first
// NUL), and the property deleted.
std::string Clipboard::read_text(Atom property, size_t max_bytes, Atom* type) {
  std::string text;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display_, owner_, property, 0, static_cast<long>(max_bytes + 3) / 4, False,
                         AnyPropertyType, type, &format, &count, &after, &data) == Success &&
      data && format == 8) {
    text.assign(reinterpret_cast<const char*>(data), std::min<size_t>(count, max_bytes));
  }
  if (data) XFree(data);
  XDeleteProperty(display_, owner_, property);
  return text;
}

std::string Clipboard::paste(Selection which, size_t max_bytes) {
  // Asked of the server: another program may have taken the selection
  // just now, its notice not read yet.
  const Atom selection = atom_of(which);
  const Window holder = XGetSelectionOwner(display_, selection);
  if (holder == None) return std::string();
  const std::string* own = offered(which);
  if (holder == owner_ && own) return own->substr(0, max_bytes + 1);
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + kPasteWait;
  // A property still taking an earlier transfer's pieces is left to it.
  const Atom property =
      pieces_.active && pieces_.property == properties_[0] ? properties_[1] : properties_[0];
  awaited_ = Awaited{};
  awaited_.selection = selection;
  awaited_.property = property;
  awaited_.time = server_time();
  awaited_.max_bytes = max_bytes;
  for (Atom target : {utf8_, XA_STRING}) {
    awaited_.target = target;
    awaited_.state = Awaited::waiting;
    XDeleteProperty(display_, owner_, property);
    XConvertSelection(display_, selection, target, property, owner_, awaited_.time);
    XFlush(display_);
    while (awaited_.state == Awaited::waiting && Clock::now() < deadline)
      connection_->pump(deadline);
    if (awaited_.state != Awaited::refused) break;
  }
  std::string text;
  Atom type = None;
  if (awaited_.state == Awaited::got) {
    text = read_text(property, max_bytes + 1, &type);
  } else if (awaited_.state == Awaited::incr) {
    // The rest of the pieces too, while the paste may wait: the holder
    // serves no other program until its last piece is taken.
    while (pieces_.active && Clock::now() < deadline) connection_->pump(deadline);
    text = pieces_.text;
    type = pieces_.type;
  }
  awaited_.state = Awaited::none;  // later answers are not taken
  waited_ += Clock::now() - start;
  text.resize(strnlen(text.c_str(), text.size()));
  if (type == XA_STRING) text = latin1_to_utf8(text);
  return text;
}

namespace {

// The connection's selections, made on first use; null without an X server.
Clipboard* clipboard() {
  static bool tried = false;
  static Clipboard* c = nullptr;
  if (!tried) {
    tried = true;
    if (Connection* x = Connection::get()) {
      c = new Clipboard(x);  // lives as long as the program
      x->add_handler([](XEvent& event) { return c->handle(event); });
    }
  }
  return c;
}

// Without an X server: the selections stay inside the program.
std::string local_selection[2];

}  // namespace

void set_selection_text(Selection which, const char* utf8) {
  if (Clipboard* c = clipboard())
    c->offer(which, utf8 ? utf8 : "");
  else
    local_selection[static_cast<int>(which)] = utf8 ? utf8 : "";
}

std::string selection_text(Selection which, size_t max_bytes) {
  if (Clipboard* c = clipboard()) return c->paste(which, max_bytes);
  return local_selection[static_cast<int>(which)].substr(0, max_bytes + 1);
}

std::chrono::steady_clock::duration paste_waits() {
  Clipboard* c = clipboard();
  return c ? c->waited() : std::chrono::steady_clock::duration{};
}

}  // namespace glui_x11
