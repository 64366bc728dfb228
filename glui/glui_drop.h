// Files and text dropped from other programs (a file manager, a browser)
// on a panel's main window, by the XDND protocol (version 5), offered as
// text/uri-list or as text.
//
// GLUT owns the main window, and X sends a window's client messages to the
// connection that made it; so the window names, in its XdndProxy property,
// a window of the toolkit's own connection (glui_x11.h), which receives the
// protocol's messages in its place. The source's data is asked for as soon
// as the pointer comes over the window, so that the pointer can show at
// once whether the drop would be taken: every XdndPosition is answered
// (accepting or not), and every drop is finished (XdndFinished), taken or
// not, so that the source is never left waiting.
//
// What a drop does, by where it lands:
//   - on a text field of the panel: the first file's path, or the text,
//     replaces the field's text, and nothing more;
//   - on the canvas (the main window outside its panels): the first file
//     that is not a folder goes to the program's drop function.
// Only files of this machine are taken: file:// addresses with an empty
// host, "localhost" or this machine's name, percent-decoded into bytes.
// Any other address (http://, another host) is refused, as is text on the
// canvas and anything on the panel outside its text fields.
#pragma once

#include <string>
#include <vector>

class GLUI;
union _XEvent;

namespace glui_drop {

// --- The data, as plain text --------------------------------------------

// The entries of a text/uri-list: its lines (CR LF or LF), without the
// comment lines (starting with '#') and the empty ones.
std::vector<std::string> uri_list_entries(const std::string& data);

// The path a file:// address names on the machine called `host_name`:
// "file:///p", "file://localhost/p", "file://<host_name>/p" or "file:/p",
// percent-decoded into bytes ("%20" a blank, "%C3%A9" an é). False for any
// other address, a bad escape, or one that decodes to a NUL byte.
bool file_uri_path(const std::string& uri, const std::string& host_name, std::string* path);

// Whether text is an address of some scheme ("http://...", "file:/..."):
// such text is not taken as a field's text.
bool is_address(const std::string& text);

// What a drop offers: either entries of a uri-list, or a text.
struct Offer {
  bool uri_list = false;
  std::vector<std::string> entries;  // uri-list: its entries
  std::string text;                  // text: what the source gave
};

// What a drop on a text field gives it, true when it gives anything: the
// first file's path of a uri-list (or a file:// text), or a text that is
// no address. Line feeds end a text: a field holds one line, of at most
// 4096 bytes (a longer one is refused).
bool text_for_field(const Offer& offer, const std::string& host_name, std::string* text);

// The files of this machine that a drop on the canvas offers, in order,
// before any is tested on the file system.
std::vector<std::string> files_offered(const Offer& offer, const std::string& host_name);

// --- The protocol -------------------------------------------------------

// Makes the GLUT window `gui` is docked on a drop target: its text fields
// take dropped text, and files dropped on the canvas go to `files`, called
// with the main graphics window current with the path of the first file
// that is not a folder and the number of items the drop offered. Without
// an X server nothing happens.
using FilesDropped = void (*)(const char* path, int offered);
void accept_drops(GLUI* gui, FilesDropped files);

// The toolkit's connection hands each event to this (accept_drops adds it
// as a handler); true when it was the protocol's (a client message or the
// data for the proxy window).
bool handle_event(_XEvent& event);

}  // namespace glui_drop
