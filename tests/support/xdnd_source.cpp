#include "tests/support/xdnd_source.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <chrono>
#include <thread>

namespace e2e {

namespace {

struct Source {
  Display* d;
  Window self, target, to;  // `to`: where the messages go (the proxy)
  Atom type;
  std::string data;

  Atom atom(const char* name) { return XInternAtom(d, name, False); }

  void send(const char* message, long l1, long l2, long l3, long l4) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = target;
    e.xclient.message_type = atom(message);
    e.xclient.format = 32;
    e.xclient.data.l[0] = static_cast<long>(self);
    e.xclient.data.l[1] = l1;
    e.xclient.data.l[2] = l2;
    e.xclient.data.l[3] = l3;
    e.xclient.data.l[4] = l4;
    XSendEvent(d, to, False, NoEventMask, &e);
    XFlush(d);
  }

  // Serves the data until the target's `message` comes; its data.l[1].
  bool wait_for(const char* message, long* flags) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
      while (XPending(d) > 0) {
        XEvent e;
        XNextEvent(d, &e);
        if (e.type == SelectionRequest) {
          const XSelectionRequestEvent& r = e.xselectionrequest;
          XEvent reply{};
          reply.xselection.type = SelectionNotify;
          reply.xselection.requestor = r.requestor;
          reply.xselection.selection = r.selection;
          reply.xselection.target = r.target;
          reply.xselection.time = r.time;
          reply.xselection.property = None;
          if (r.target == type && r.property != None) {
            XChangeProperty(d, r.requestor, r.property, type, 8, PropModeReplace,
                            reinterpret_cast<const unsigned char*>(data.data()),
                            static_cast<int>(data.size()));
            reply.xselection.property = r.property;
          }
          XSendEvent(d, r.requestor, False, NoEventMask, &reply);
          XFlush(d);
        } else if (e.type == ClientMessage && e.xclient.message_type == atom(message)) {
          *flags = e.xclient.data.l[1];
          return true;
        }
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
};

}  // namespace

DropResult xdnd_drop(Display* d, unsigned long target, int x, int y, const std::string& type,
                     const std::string& data) {
  DropResult result;
  Source s{d, 0, target, target, XInternAtom(d, type.c_str(), False), data};
  s.self = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
  // The target's proxy, when it names one.
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* value = nullptr;
  if (XGetWindowProperty(d, target, s.atom("XdndProxy"), 0, 1, False, XA_WINDOW, &actual, &format,
                         &count, &after, &value) == Success &&
      value && count == 1)
    s.to = *reinterpret_cast<Window*>(value);
  if (value) XFree(value);
  XSetSelectionOwner(d, s.atom("XdndSelection"), s.self, CurrentTime);
  Window child = 0;
  int root_x = 0, root_y = 0;
  XTranslateCoordinates(d, target, DefaultRootWindow(d), x, y, &root_x, &root_y, &child);
  s.send("XdndEnter", 5L << 24, static_cast<long>(s.type), None, None);
  s.send("XdndPosition", 0, (long{root_x} << 16) | root_y, CurrentTime,
         static_cast<long>(s.atom("XdndActionCopy")));
  long flags = 0;
  result.answered = s.wait_for("XdndStatus", &flags);
  result.accepting = result.answered && (flags & 1);
  s.send("XdndDrop", 0, CurrentTime, 0, 0);
  result.finished = s.wait_for("XdndFinished", &flags);
  result.taken = result.finished && (flags & 1);
  XDestroyWindow(d, s.self);
  XFlush(d);
  return result;
}

}  // namespace e2e
