// The per-panel context: frames, measuring, the active control and the
// callbacks due (see glui_context.h).
#include "glui/glui_context.h"

#include <GL/freeglut.h>
#include <backends/imgui_impl_glut.h>
#include <backends/imgui_impl_opengl2.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <utility>

#include "glui/glui_clipboard.h"
#include "glui/glui_imgui.h"
#include "glui/glui_theme.h"

namespace {

constexpr int kCaretBlinkMs = 500;

}  // namespace

GLUI_Context::GLUI_Context(GLUI& gui) : gui_(gui) {
  GluiContextScope scope(nullptr);
  imgui_ = ImGui::CreateContext();
  ImGui::SetCurrentContext(imgui_);
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // a panel keeps no files
  io.LogFilename = nullptr;
  // Cut, copy and paste go through the desktop's clipboard.
  io.SetClipboardTextFn = [](void*, const char* text) {
    glui_x11::set_selection_text(glui_x11::Selection::clipboard, text);
  };
  io.ClipboardUserData = this;
  io.GetClipboardTextFn = [](void* self) -> const char* {
    static std::string text;
    text = static_cast<GLUI_Context*>(self)->paste(glui_x11::Selection::clipboard);
    return text.c_str();
  };
  glui_theme::apply();
  unsigned char* pixels = nullptr;
  int w = 0, h = 0;
  fonts_.set_up();
  io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);  // frames need the font before any drawing
  ImGui_ImplGLUT_Init();
  ImGui_ImplOpenGL2_Init();
  io.DisplaySize = ImVec2(1.0f, 1.0f);
}

GLUI_Context::~GLUI_Context() {
  {
    GluiContextScope scope(imgui_);
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplGLUT_Shutdown();
  }
  ImGui::DestroyContext(imgui_);
}

// --- Frames -------------------------------------------------------------------

void GLUI_Context::build_panel() {
  ImGuiIO& io = ImGui::GetIO();
  ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
  // At least the panel's own size: a click may arrive before the
  // subwindow's first reshape has told ImGui how big it is.
  ImGui::SetNextWindowSize(ImVec2(std::max(io.DisplaySize.x, static_cast<float>(width_)),
                                  std::max(io.DisplaySize.y, static_cast<float>(height_))));
  ImGui::Begin("##glui", nullptr,
               ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                   ImGuiWindowFlags_NoSavedSettings | ImGuiWindowFlags_NoBringToFrontOnFocus);
  avail_.assign(1, ImGui::GetContentRegionAvail().x);
  activated_ = false;
  build(gui_.get_main_panel());
  if (!measuring_) draw_message();
  ImGui::End();
}

// The message lies below the controls, across the panel's width, down to
// the bottom of the subwindow; it is drawn straight into the panel's draw
// list, so that it adds no item and moves no control. Lines wrap at the
// panel's width; when they need more room than is left, the first ones
// go, cut off at the top, and the end shows.
void GLUI_Context::draw_message() {
  if (message_.empty()) return;
  const ImGuiStyle& style = ImGui::GetStyle();
  const ImVec2 display = ImGui::GetIO().DisplaySize;
  const float left = style.WindowPadding.x;
  const float right = std::max(display.x - style.WindowPadding.x, left + 1.0f);
  const float line_top = ImGui::GetCursorScreenPos().y + style.ItemSpacing.y;
  const float top = line_top + 2.0f + style.ItemSpacing.y;
  const float bottom = display.y - style.WindowPadding.y;
  if (bottom <= top) return;
  ImDrawList* dl = ImGui::GetWindowDrawList();
  glui_theme::draw_etched_line(dl, left, right, line_top);

  const float sign = ImGui::GetFontSize();  // the warning sign's side
  const float text_left = left + sign + style.ItemInnerSpacing.x;
  const float wrap = std::max(right - text_left, 1.0f);
  float total = 0.0f;
  for (const GLUI_MessageLine& line : message_) {
    if (fonts_.want(line.text.c_str())) redraw_at(now_ms());
    total += ImGui::CalcTextSize(line.text.c_str(), nullptr, false, wrap).y + style.ItemSpacing.y;
  }
  float y = total > bottom - top ? bottom - total : top;
  dl->PushClipRect(ImVec2(left, top), ImVec2(right, bottom), true);
  const ImU32 text_colour = ImGui::GetColorU32(ImGuiCol_Text);
  const ImU32 error_colour = IM_COL32(170, 0, 0, 255);
  for (const GLUI_MessageLine& line : message_) {
    if (line.error) glui_theme::draw_warning_sign(dl, ImVec2(left, y), sign);
    dl->AddText(ImGui::GetFont(), ImGui::GetFontSize(), ImVec2(text_left, y),
                line.error ? error_colour : text_colour, line.text.c_str(), nullptr, wrap);
    y += ImGui::CalcTextSize(line.text.c_str(), nullptr, false, wrap).y + style.ItemSpacing.y;
  }
  dl->PopClipRect();
}

namespace {

// The panel's font size, also before its first frame.
float font_size() {
  const ImFontAtlas* atlas = ImGui::GetIO().Fonts;
  return atlas->Fonts.empty() ? 13.0f : atlas->Fonts[0]->FontSize;
}

}  // namespace

int GLUI_Context::message_room(int lines) {
  GluiContextScope scope(imgui_);
  const ImGuiStyle& style = ImGui::GetStyle();
  // The etched line above the message, and the lines below it (as
  // draw_message lays them out).
  const float room = 2.0f * style.ItemSpacing.y + 2.0f +
                     static_cast<float>(lines) * (font_size() + style.ItemSpacing.y);
  return static_cast<int>(std::ceil(room));
}

void GLUI_Context::set_message(std::vector<GLUI_MessageLine> lines) {
  message_ = std::move(lines);
  glutPostWindowRedisplay(gui_.get_glut_window_id());
}

void GLUI_Context::set_frame_time() {
  int now = glutGet(GLUT_ELAPSED_TIME);
  // A wait for another program's paste is no time a key was held: counted,
  // it would make ImGui repeat the Ctrl+V still held, and paste again.
  const auto waits = glui_x11::paste_waits();
  const int waited = static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(waits - waits_).count());
  waits_ = waits;
  int delta = now - last_frame_ms_ - waited;
  ImGui::GetIO().DeltaTime = (delta > 0 ? delta : 1) / 1000.0f;
  last_frame_ms_ = now;
}

void GLUI_Context::input_frame() {
  {
    GluiContextScope scope(imgui_);
    set_frame_time();
    ImGui::NewFrame();
    bool clicked = ImGui::IsMouseClicked(0) || ImGui::IsMouseClicked(1);
    build_panel();
    ImGui::EndFrame();
    // A click on the panel's background: nothing stays active.
    if (clicked && !activated_) deactivate();
  }
  say_cut();
  run_callbacks();
  glutPostWindowRedisplay(gui_.get_glut_window_id());
}

// No field holds more than its bound: a longer paste is cut before ImGui
// sees it (ImGui lays out every character it holds).
std::string GLUI_Context::paste(glui_x11::Selection which) {
  std::string text = glui_x11::selection_text(which, kGluiFieldMaxBytes);
  if (text.size() > kGluiFieldMaxBytes) {
    size_t end = kGluiFieldMaxBytes;
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80) --end;
    text.resize(end);
    report_cut();
  }
  return text;
}

void GLUI_Context::say_cut() {
  if (!cut_) return;
  cut_ = false;
  std::printf("Pasted text cut to %zu bytes, the most a field holds.\n", kGluiFieldMaxBytes);
  std::fflush(stdout);
}

void GLUI_Context::render() {
  {
    GluiContextScope scope(imgui_);
    set_frame_time();
    // Draw at the size the subwindow has now (the panel is current).
    ImGui::GetIO().DisplaySize =
        ImVec2(static_cast<float>(std::max(glutGet(GLUT_WINDOW_WIDTH), 1)),
               static_cast<float>(std::max(glutGet(GLUT_WINDOW_HEIGHT), 1)));
    ImGui_ImplOpenGL2_NewFrame();
    fonts_.update();  // glyphs the last frame's texts asked for
    ImGui::NewFrame();
    build_panel();
    ImGui::Render();
    ImGuiIO& io = ImGui::GetIO();
    glViewport(0, 0, static_cast<int>(io.DisplaySize.x), static_cast<int>(io.DisplaySize.y));
    const ImVec4& bg = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
    glClearColor(bg.x, bg.y, bg.z, bg.w);
    glClear(GL_COLOR_BUFFER_BIT);
    ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
    glutSwapBuffers();
    last_blink_ms_ = last_frame_ms_;
    // A software renderer may give the first frame after a size change a
    // buffer of the old size, shown shifted or cut off (it takes the new
    // size at the swap); a second frame draws at the new size.
    if (io.DisplaySize.x != drawn_size_.x || io.DisplaySize.y != drawn_size_.y) {
      drawn_size_ = io.DisplaySize;
      glutPostWindowRedisplay(gui_.get_glut_window_id());
    }
  }
  say_cut();
  run_callbacks();
}

// Control callbacks, run outside any ImGui frame with the main graphics
// window current, so that they may draw into it and read it back.
void GLUI_Context::run_callbacks() {
  std::vector<Due> due;
  due.swap(pending_);
  for (const Due& d : due) {
    int prev = glutGetWindow();
    if (gui_.get_main_gfx_window() > 0) glutSetWindow(gui_.get_main_gfx_window());
    d.cb(d.id);
    if (prev > 0) glutSetWindow(prev);
  }
}

void GLUI_Context::enter() {
  if (active_) active_->commit_on_enter(*this);
  input_frame();
}

// The frames a held control needs between input events: ImGui repeats a
// held spinner arrow only in frames, and the mouse does not move.
void GLUI_Context::hold_frame() {
  bool held;
  {
    GluiContextScope scope(imgui_);
    held = glui_imgui::active_id() != 0 && glui_imgui::mouse_down(0);
  }
  if (held) input_frame();
}

void GLUI_Context::redraw_at(int ms) {
  if (redraw_due_ms_ < 0 || ms < redraw_due_ms_) redraw_due_ms_ = ms;
}

void GLUI_Context::idle() {
  hold_frame();
  if (redraw_due_ms_ >= 0 && glutGet(GLUT_ELAPSED_TIME) >= redraw_due_ms_) {
    redraw_due_ms_ = -1;
    glutPostWindowRedisplay(gui_.get_glut_window_id());
  }
  // A text field being typed into shows a blinking caret.
  GluiContextScope scope(imgui_);
  if (glui_imgui::active_id() != 0 && glutGet(GLUT_ELAPSED_TIME) - last_blink_ms_ >= kCaretBlinkMs)
    glutPostWindowRedisplay(gui_.get_glut_window_id());
}

void GLUI_Context::deactivate() {
  if (active_) {
    GLUI_Control* was = active_;
    active_ = nullptr;
    was->deactivate(*this);
  }
  {
    GluiContextScope scope(imgui_);
    glui_imgui::clear_active_id();
  }
  glutPostWindowRedisplay(gui_.get_glut_window_id());
  // A value the deactivation committed is reported at once, before the
  // click that ended the control goes on to the program.
  run_callbacks();
}

// --- Measuring ----------------------------------------------------------------

// Sizes the panel to its contents: a few frames (ImGui settles sizes over
// two) with frames hugging what they hold.
void GLUI_Context::measure() {
  GluiContextScope scope(imgui_);
  ImGuiIO& io = ImGui::GetIO();
  ImVec2 saved = io.DisplaySize;
  io.DisplaySize = ImVec2(4096.0f, 4096.0f);
  measuring_ = true;
  for (int i = 0; i < 3; ++i) {
    ImGui::NewFrame();
    build_panel();
    ImGui::EndFrame();
  }
  float right = 0.0f, bottom = 0.0f;
  for (const GLUI_Control* c : gui_.get_main_panel()->children()) {
    right = std::max(right, static_cast<float>(c->rect().x + c->rect().w));
    bottom = std::max(bottom, static_cast<float>(c->rect().y + c->rect().h));
  }
  measuring_ = false;
  pending_.clear();
  io.DisplaySize = saved;
  const ImGuiStyle& style = ImGui::GetStyle();
  width_ = static_cast<int>(std::ceil(right + style.WindowPadding.x));
  height_ = static_cast<int>(std::ceil(bottom + style.WindowPadding.y));
}

int GLUI_Context::width() {
  if (width_ == 0 && !gui_.controls().empty()) measure();
  return width_;
}

int GLUI_Context::height() {
  width();
  return height_;
}

// --- For the widgets ------------------------------------------------------------

void GLUI_Context::build(GLUI_Control* control) {
  ImGui::PushID(control);
  control->build(*this);
  ImGui::PopID();
}

GLUI_Rect GLUI_Context::clickable_item(GLUI_Control* control) {
  // A click into the text field already being typed in only moves the
  // caret: ImGui does not activate it again, but it was clicked, and it
  // stays the active control.
  bool clicked_while_active = ImGui::IsItemActive() && ImGui::IsMouseClicked(0);
  if (ImGui::IsItemActivated() || clicked_while_active) {
    active_ = control;
    activated_ = true;
  }
  return glui_rect_of(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
}

void GLUI_Context::queue_callback(GLUI_Update_CB cb, int id) {
  if (cb) pending_.push_back({cb, id});
}

// --- Layout ---------------------------------------------------------------------

GLUI_Rect glui_rect_of(ImVec2 min, ImVec2 max) {
  GLUI_Rect r;
  r.x = static_cast<int>(std::floor(min.x));
  r.y = static_cast<int>(std::floor(min.y));
  r.w = static_cast<int>(std::ceil(max.x)) - r.x;
  r.h = static_cast<int>(std::ceil(max.y)) - r.y;
  return r;
}

bool glui_takes_text(const GLUI_Control* c) {
  return dynamic_cast<const GLUI_EditText*>(c) || dynamic_cast<const GLUI_Spinner*>(c);
}

float glui_label_column(const GLUI_Panel& panel) {
  // Text fields and spinners of one container line their boxes up in a
  // column after the longest label. Each control draws inside an ImGui
  // group, from whose start SameLine() counts.
  float widest = 0.0f;
  for (const GLUI_Control* c : panel.children())
    if (glui_takes_text(c)) widest = std::max(widest, ImGui::CalcTextSize(c->get_name()).x);
  return widest;
}
