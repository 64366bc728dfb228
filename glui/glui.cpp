// The toolkit's controls, panels and GLUT plumbing, drawn with Dear ImGui.
//
// Each GLUI owns a GLUT subwindow with its own GL context and its own ImGui
// context. Dear ImGui 1.86 reads mouse buttons and keys as states polled
// once a frame, so a press and release that arrive between two frames (a
// quick click) would be lost; the toolkit therefore runs one ImGui frame
// for every button or key transition as it arrives, without drawing, and
// draws only when GLUT asks for a display. Control callbacks are collected
// while a frame is built and run after it, outside ImGui, with the main
// graphics window current.
#include "glui/glui.h"

#include <GL/freeglut.h>
#include <backends/imgui_impl_glut.h>
#include <backends/imgui_impl_opengl2.h>
#include <imgui.h>
#include <imgui_internal.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <map>
#include <utility>

#include "glui/glui_input.h"
#include "glui/glui_theme.h"

GLUI_Master_Object GLUI_Master;

namespace {

using glui_theme::kFramePad;
constexpr int kCaretBlinkMs = 500;

// The main windows' callbacks that GLUI_Master forwards, by GLUT window id.
struct Forwarded {
  void (*reshape)(int, int) = nullptr;
  void (*keyboard)(unsigned char, int, int) = nullptr;
  void (*special)(int, int, int) = nullptr;
  void (*mouse)(int, int, int, int) = nullptr;
};
std::map<int, Forwarded> forwarded;
void (*user_idle)() = nullptr;

// Makes an ImGui context current for a scope.
class ContextScope {
 public:
  explicit ContextScope(ImGuiContext* ctx) : prev_(ImGui::GetCurrentContext()) {
    ImGui::SetCurrentContext(ctx);
  }
  ~ContextScope() { ImGui::SetCurrentContext(prev_); }
  ContextScope(const ContextScope&) = delete;
  ContextScope& operator=(const ContextScope&) = delete;

 private:
  ImGuiContext* prev_;
};

GLUI_Rect rect_of(ImVec2 min, ImVec2 max) {
  GLUI_Rect r;
  r.x = static_cast<int>(std::floor(min.x));
  r.y = static_cast<int>(std::floor(min.y));
  r.w = static_cast<int>(std::ceil(max.x)) - r.x;
  r.h = static_cast<int>(std::ceil(max.y)) - r.y;
  return r;
}

}  // namespace

// --- Per-panel state and frames -------------------------------------------

struct GLUI::Impl {
  ImGuiContext* ctx = nullptr;
  std::vector<GLUI_Control*> pending;  // callbacks due after this frame
  bool measuring = false;  // sizing the panel: frames hug their contents
  bool activated = false;  // some control was clicked in this frame
  std::vector<float> avail;  // width left for controls, per open container
  int last_frame_ms = 0;
  int last_blink_ms = 0;
  ImVec2 drawn_size;  // the subwindow's size at the last drawing

  static void build(GLUI* g) {
    Impl* impl = g->impl_;
    ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(0.0f, 0.0f));
    // At least the panel's own size: a click may arrive before the
    // subwindow's first reshape has told ImGui how big it is.
    ImGui::SetNextWindowSize(ImVec2(std::max(io.DisplaySize.x, static_cast<float>(g->panel_width_)),
                                    std::max(io.DisplaySize.y, static_cast<float>(g->panel_height_))));
    ImGui::Begin("##glui", nullptr,
                 ImGuiWindowFlags_NoDecoration | ImGuiWindowFlags_NoMove |
                     ImGuiWindowFlags_NoSavedSettings |
                     ImGuiWindowFlags_NoBringToFrontOnFocus);
    impl->avail.assign(1, ImGui::GetContentRegionAvail().x);
    impl->activated = false;
    g->root_.draw_children();
    ImGui::End();
  }

  static void set_frame_time(Impl* impl) {
    int now = glutGet(GLUT_ELAPSED_TIME);
    int delta = now - impl->last_frame_ms;
    ImGui::GetIO().DeltaTime = (delta > 0 ? delta : 1) / 1000.0f;
    impl->last_frame_ms = now;
  }

  // One frame that takes in the input received so far, without drawing.
  static void input_frame(GLUI* g) {
    {
      ContextScope scope(g->impl_->ctx);
      set_frame_time(g->impl_);
      ImGui::NewFrame();
      bool clicked = ImGui::IsMouseClicked(0) || ImGui::IsMouseClicked(1);
      build(g);
      ImGui::EndFrame();
      // A click on the panel's background: nothing stays active.
      if (clicked && !g->impl_->activated) g->deactivate_current_control();
    }
    run_callbacks(g);
    glutPostWindowRedisplay(g->window_id_);
  }

  static void render(GLUI* g) {
    {
      ContextScope scope(g->impl_->ctx);
      set_frame_time(g->impl_);
      // Draw at the size the subwindow has now (the panel is current).
      ImGui::GetIO().DisplaySize = ImVec2(static_cast<float>(std::max(glutGet(GLUT_WINDOW_WIDTH), 1)),
                                          static_cast<float>(std::max(glutGet(GLUT_WINDOW_HEIGHT), 1)));
      ImGui_ImplOpenGL2_NewFrame();
      ImGui::NewFrame();
      build(g);
      ImGui::Render();
      ImGuiIO& io = ImGui::GetIO();
      glViewport(0, 0, static_cast<int>(io.DisplaySize.x), static_cast<int>(io.DisplaySize.y));
      const ImVec4& bg = ImGui::GetStyle().Colors[ImGuiCol_WindowBg];
      glClearColor(bg.x, bg.y, bg.z, bg.w);
      glClear(GL_COLOR_BUFFER_BIT);
      ImGui_ImplOpenGL2_RenderDrawData(ImGui::GetDrawData());
      glutSwapBuffers();
      g->impl_->last_blink_ms = g->impl_->last_frame_ms;
      // A software renderer may give the first frame after a size change a
      // buffer of the old size, shown shifted or cut off (it takes the new
      // size at the swap); a second frame draws at the new size.
      if (io.DisplaySize.x != g->impl_->drawn_size.x || io.DisplaySize.y != g->impl_->drawn_size.y) {
        g->impl_->drawn_size = io.DisplaySize;
        glutPostWindowRedisplay(g->window_id_);
      }
    }
    run_callbacks(g);
  }

  // Control callbacks, run outside any ImGui frame with the main graphics
  // window current, so that they may draw into it and read it back.
  static void run_callbacks(GLUI* g) {
    std::vector<GLUI_Control*> due;
    due.swap(g->impl_->pending);
    for (GLUI_Control* c : due) {
      if (!c->callback_) continue;
      int prev = glutGetWindow();
      if (g->main_gfx_window_ > 0) glutSetWindow(g->main_gfx_window_);
      c->callback_(c->id_);
      if (prev > 0) glutSetWindow(prev);
    }
  }

  // Sizes the panel to its contents: a few frames (ImGui settles sizes
  // over two) with frames hugging what they hold.
  // Enter typed into the active control, which keeps the keys.
  static void enter(GLUI* g) {
    if (g->active_) g->active_->commit_on_enter();
    input_frame(g);
  }

  // The frames a held control needs between input events: ImGui repeats a
  // held spinner arrow only in frames, and the mouse does not move.
  static void hold_frame(GLUI* g) {
    bool held;
    {
      ContextScope scope(g->impl_->ctx);
      held = ImGui::GetActiveID() != 0 && ImGui::GetIO().MouseDown[0];
    }
    if (held) input_frame(g);
  }

  static void measure(GLUI* g) {
    ContextScope scope(g->impl_->ctx);
    ImGuiIO& io = ImGui::GetIO();
    ImVec2 saved = io.DisplaySize;
    io.DisplaySize = ImVec2(4096.0f, 4096.0f);
    g->impl_->measuring = true;
    float right = 0.0f, bottom = 0.0f;
    for (int i = 0; i < 3; ++i) {
      ImGui::NewFrame();
      build(g);
      ImGui::EndFrame();
    }
    for (GLUI_Control* c : g->root_.children_) {
      right = std::max(right, static_cast<float>(c->rect_.x + c->rect_.w));
      bottom = std::max(bottom, static_cast<float>(c->rect_.y + c->rect_.h));
    }
    g->impl_->measuring = false;
    g->impl_->pending.clear();
    io.DisplaySize = saved;
    const ImGuiStyle& style = ImGui::GetStyle();
    g->panel_width_ = static_cast<int>(std::ceil(right + style.WindowPadding.x));
    g->panel_height_ = static_cast<int>(std::ceil(bottom + style.WindowPadding.y));
  }
};

// --- Controls ---------------------------------------------------------------

GLUI_Control::GLUI_Control(GLUI* glui, GLUI_Panel* parent, const char* name, int id,
                           GLUI_Update_CB cb)
    : glui_(glui), parent_(parent), name_(name ? name : ""), id_(id), callback_(cb) {}

GLUI_Control::~GLUI_Control() = default;

void GLUI_Control::notify() {
  if (callback_) glui_->impl()->pending.push_back(this);
}

void GLUI_Control::record_rect() {
  rect_ = rect_of(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
}

void GLUI_Control::record_hot_rect() {
  hot_ = rect_of(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
  // A click into the text field already being typed in only moves the
  // caret: ImGui does not activate it again, but it was clicked, and it
  // stays the active control.
  bool clicked_while_active = ImGui::IsItemActive() && ImGui::IsMouseClicked(0);
  if (ImGui::IsItemActivated() || clicked_while_active) {
    glui_->set_active(this);
    glui_->impl()->activated = true;
  }
}

GLUI_Panel::GLUI_Panel(GLUI* glui, GLUI_Panel* parent, const char* name, int type)
    : GLUI_Control(glui, parent, name, -1, nullptr), type_(type) {}

GLUI_Panel::~GLUI_Panel() = default;  // the GLUI owns every control

float GLUI_Panel::label_column() const {
  // Text fields and spinners of one container line their boxes up in a
  // column after the longest label. Each control draws inside an ImGui
  // group, from whose start SameLine() counts.
  float widest = 0.0f;
  for (const GLUI_Control* c : children_)
    if (GLUI::accepts_text(c)) widest = std::max(widest, ImGui::CalcTextSize(c->get_name()).x);
  return widest;
}

void GLUI_Panel::draw_children() {
  for (GLUI_Control* c : children_) {
    ImGui::PushID(c);
    c->draw_frame();
    ImGui::PopID();
  }
}

namespace {

// The right edge of a container's children, for sizing it to them.
float children_right(const std::vector<GLUI_Control*>& children) {
  float right = 0.0f;
  for (const GLUI_Control* c : children)
    right = std::max(right, static_cast<float>(c->rect().x + c->rect().w));
  return right;
}

}  // namespace

// Panels: children inside an etched frame, the title set into its top line.
// While measuring, the frame hugs its children; otherwise it spans the
// width its container leaves, so that frames in a column line up.
void GLUI_Panel::draw_frame() {
  GLUI::Impl* impl = glui_->impl();
  if (type_ == GLUI_PANEL_NONE) {
    ImGui::BeginGroup();
    draw_children();
    ImGui::EndGroup();
    record_rect();
    return;
  }
  ImVec2 start = ImGui::GetCursorScreenPos();
  float avail = impl->avail.back();
  float title_h = ImGui::GetTextLineHeight();
  bool has_title = !name_.empty();
  float top = has_title ? title_h : kFramePad;

  ImGui::BeginGroup();
  ImGui::Dummy(ImVec2(1.0f, top));
  ImGui::Indent(kFramePad);
  impl->avail.push_back(avail - 2.0f * kFramePad);
  draw_children();
  impl->avail.pop_back();
  ImGui::Unindent(kFramePad);
  ImGui::Dummy(ImVec2(1.0f, kFramePad * 0.5f));
  ImGui::EndGroup();
  ImVec2 end = ImGui::GetItemRectMax();

  float title_w = has_title ? ImGui::CalcTextSize(name_.c_str()).x + 4.0f * kFramePad : 0.0f;
  float width = impl->measuring
                    ? std::max(children_right(children_) + kFramePad, start.x + title_w) - start.x
                    : avail;
  ImDrawList* dl = ImGui::GetWindowDrawList();
  float line_y = has_title ? start.y + title_h * 0.5f : start.y + 1.0f;
  glui_theme::draw_etched_rect(dl, ImVec2(start.x, line_y), ImVec2(start.x + width - 2.0f, end.y));
  if (has_title) {
    ImVec2 text_pos(start.x + kFramePad, start.y);
    ImVec2 size = ImGui::CalcTextSize(name_.c_str());
    dl->AddRectFilled(ImVec2(text_pos.x - 2.0f, text_pos.y),
                      ImVec2(text_pos.x + size.x + 2.0f, text_pos.y + size.y),
                      ImGui::GetColorU32(ImGuiCol_WindowBg));
    dl->AddText(text_pos, ImGui::GetColorU32(ImGuiCol_Text), name_.c_str());
  }
  rect_ = rect_of(start, ImVec2(start.x + width, end.y + 1.0f));
}

GLUI_Rollout::GLUI_Rollout(GLUI* glui, GLUI_Panel* parent, const char* name, bool open,
                           int type)
    : GLUI_Panel(glui, parent, name, type), open_(open) {}

// A rollout: a title bar that opens and closes it, over a framed panel.
void GLUI_Rollout::draw_frame() {
  GLUI::Impl* impl = glui_->impl();
  ImVec2 start = ImGui::GetCursorScreenPos();
  float avail = impl->avail.back();
  float bar_natural = ImGui::CalcTextSize(name_.c_str()).x + ImGui::GetFrameHeight() + 3.0f * kFramePad;
  float bar_w = impl->measuring ? bar_natural : avail;

  ImGui::BeginGroup();
  ImGui::SetNextItemOpen(open_, ImGuiCond_Always);
  ImGui::PushStyleColor(ImGuiCol_Header, ImGui::GetStyleColorVec4(ImGuiCol_Button));
  // The bar is as wide as the panel: clip ImGui's window-wide header to it.
  ImGui::PushClipRect(start, ImVec2(start.x + bar_w, start.y + 4096.0f), true);
  bool now_open = ImGui::TreeNodeEx(name_.c_str(),
                                    ImGuiTreeNodeFlags_Framed | ImGuiTreeNodeFlags_NoTreePushOnOpen);
  ImGui::PopClipRect();
  ImGui::PopStyleColor();
  record_hot_rect();
  hot_.w = static_cast<int>(bar_w);
  if (now_open != open_) open_ = now_open;
  float children_w = 0.0f;
  // Sizing the panel counts the contents of closed rollouts too, so that
  // opening one later finds room for it.
  if (open_ || impl->measuring) {
    ImGui::Indent(kFramePad);
    impl->avail.push_back(avail - 2.0f * kFramePad);
    ImGui::Dummy(ImVec2(1.0f, 1.0f));
    draw_children();
    impl->avail.pop_back();
    ImGui::Unindent(kFramePad);
    ImGui::Dummy(ImVec2(1.0f, kFramePad * 0.5f));
    children_w = children_right(children_) + kFramePad - start.x;
  }
  ImGui::EndGroup();
  ImVec2 end = ImGui::GetItemRectMax();
  float width = impl->measuring ? std::max(bar_natural, children_w) : avail;
  if (open_) {
    ImVec2 bar_end(start.x, start.y + ImGui::GetFrameHeight());
    glui_theme::draw_etched_rect(ImGui::GetWindowDrawList(), bar_end, ImVec2(start.x + width - 2.0f, end.y));
  }
  rect_ = rect_of(start, ImVec2(start.x + width, end.y + 1.0f));
}

GLUI_Separator::GLUI_Separator(GLUI* glui, GLUI_Panel* parent)
    : GLUI_Control(glui, parent, "", -1, nullptr) {}

void GLUI_Separator::draw_frame() {
  GLUI::Impl* impl = glui_->impl();
  ImVec2 start = ImGui::GetCursorScreenPos();
  float width = impl->measuring ? 1.0f : impl->avail.back();
  float h = ImGui::GetStyle().ItemSpacing.y;
  ImGui::Dummy(ImVec2(width, h));
  glui_theme::draw_etched_line(ImGui::GetWindowDrawList(), start.x, start.x + width,
                               std::floor(start.y + h * 0.5f));
  rect_ = rect_of(start, ImVec2(start.x + width, start.y + h));
}

GLUI_Button::GLUI_Button(GLUI* glui, GLUI_Panel* parent, const char* name, int id,
                         GLUI_Update_CB cb)
    : GLUI_Control(glui, parent, name, id, cb) {}

void GLUI_Button::draw_frame() {
  float text_w = ImGui::CalcTextSize(name_.c_str(), nullptr, true).x;
  float w = std::max(glui_theme::kButtonWidth, text_w + 2.0f * ImGui::GetStyle().FramePadding.x);
  // ImGui calls back on release over the button, as a button should.
  if (ImGui::Button(name_.c_str(), ImVec2(w, 0.0f))) notify();
  record_hot_rect();
  record_rect();
}

GLUI_Checkbox::GLUI_Checkbox(GLUI* glui, GLUI_Panel* parent, const char* name, int* live_var,
                             int id, GLUI_Update_CB cb)
    : GLUI_Control(glui, parent, name, id, cb), live_var_(live_var) {
  sync_from_live();
}

void GLUI_Checkbox::set_int_val(int v) {
  value_ = v ? 1 : 0;
  if (live_var_) *live_var_ = value_;
}

void GLUI_Checkbox::sync_from_live() {
  if (live_var_) value_ = *live_var_ ? 1 : 0;
}

void GLUI_Checkbox::draw_frame() {
  sync_from_live();
  bool ticked = value_ != 0;
  if (ImGui::Checkbox(name_.c_str(), &ticked)) {
    set_int_val(ticked ? 1 : 0);
    notify();
  }
  record_hot_rect();
  record_rect();
}

GLUI_RadioGroup::GLUI_RadioGroup(GLUI* glui, GLUI_Panel* parent, int* live_var, int id,
                                 GLUI_Update_CB cb)
    : GLUI_Panel(glui, parent, "", GLUI_PANEL_NONE), live_var_(live_var) {
  id_ = id;
  callback_ = cb;
  sync_from_live();
}

void GLUI_RadioGroup::set_int_val(int v) {
  value_ = v;
  if (live_var_) *live_var_ = v;
}

bool GLUI_RadioGroup::choose(int index) {
  if (index == value_) return false;
  set_int_val(index);
  notify();
  return true;
}

void GLUI_RadioGroup::sync_from_live() {
  if (live_var_) value_ = *live_var_;
}

void GLUI_RadioGroup::draw_frame() {
  sync_from_live();
  ImGui::BeginGroup();
  draw_children();
  ImGui::EndGroup();
  record_rect();
}

GLUI_RadioButton::GLUI_RadioButton(GLUI* glui, GLUI_RadioGroup* group, const char* name,
                                   int index)
    : GLUI_Control(glui, group, name, -1, nullptr), index_(index) {}

void GLUI_RadioButton::draw_frame() {
  auto* group = static_cast<GLUI_RadioGroup*>(parent_);
  if (ImGui::RadioButton(name_.c_str(), group->value_ == index_)) group->choose(index_);
  record_hot_rect();
  record_rect();
}

GLUI_EditText::GLUI_EditText(GLUI* glui, GLUI_Panel* parent, const char* name, int data_type,
                             void* live_var, int id, GLUI_Update_CB cb)
    : GLUI_Control(glui, parent, name, id, cb), data_type_(data_type), live_var_(live_var) {}

void GLUI_EditText::set_text(const char* text) { text_ = text ? text : ""; }

// The text is live already; Enter only reports it.
void GLUI_EditText::commit_on_enter() { notify(); }

void GLUI_EditText::draw_frame() {
  ImGui::BeginGroup();
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted(name_.c_str());
  ImGui::SameLine(parent_->label_column(), 0.0f);
  // A set width is the whole control's, label included, as in the classic
  // panels; the box keeps room for a few characters whatever the label.
  float label_w = parent_->label_column();
  float box_w = box_w_ > 0 ? std::max(static_cast<float>(box_w_) - label_w, glui_theme::kMinBoxWidth) : glui_theme::kDefaultBoxWidth;
  ImGui::SetNextItemWidth(box_w);
  if (ImGui::InputText("##text", &text_)) notify();
  record_hot_rect();
  ImGui::EndGroup();
  record_rect();
}

GLUI_Spinner::GLUI_Spinner(GLUI* glui, GLUI_Panel* parent, const char* name, int data_type,
                           void* live_var, int id, GLUI_Update_CB cb)
    : GLUI_Control(glui, parent, name, id, cb),
      value_(data_type == GLUI_SPINNER_FLOAT ? GLUI_SPINNER_FLOAT : GLUI_SPINNER_INT),
      live_var_(live_var) {
  if (live_var_) {
    if (value_.data_type() == GLUI_SPINNER_INT)
      value_.set_int_val(*static_cast<int*>(live_var_));
    else
      value_.set_float_val(*static_cast<float*>(live_var_));
  }
  edit_ = value_.text();
}

void GLUI_Spinner::set_int_val(int v) {
  value_.set_int_val(v);
  edit_ = value_.text();
}

void GLUI_Spinner::set_float_val(float v) {
  value_.set_float_val(v);
  edit_ = value_.text();
}

void GLUI_Spinner::set_int_limits(int low, int high, int limit_type) {
  value_.set_int_limits(low, high, limit_type);
  edit_ = value_.text();
}

void GLUI_Spinner::set_float_limits(float low, float high, int limit_type) {
  value_.set_float_limits(low, high, limit_type);
  edit_ = value_.text();
}

void GLUI_Spinner::changed() {
  if (live_var_) {
    if (value_.data_type() == GLUI_SPINNER_INT)
      *static_cast<int*>(live_var_) = value_.get_int_val();
    else
      *static_cast<float*>(live_var_) = value_.get_float_val();
  }
  notify();
}

void GLUI_Spinner::commit() {
  if (!editing_) return;
  editing_ = false;
  float before = value_.get_float_val();
  value_.commit_text(edit_.c_str());
  edit_ = value_.text();
  if (value_.get_float_val() != before) changed();
}

void GLUI_Spinner::deactivate() { commit(); }

void GLUI_Spinner::commit_on_enter() {
  commit();
  // The field stays in ImGui's hands, showing what was typed: it is to
  // show the committed (limited) value, and typing goes on from there.
  editing_ = true;
  show_committed_ = true;
}

namespace {

// Runs every frame while the spinner's field is being edited: puts the
// committed value into the text ImGui is editing, once it is due.
int show_committed_value(ImGuiInputTextCallbackData* data) {
  auto* pending = static_cast<std::pair<bool*, std::string>*>(data->UserData);
  if (*pending->first) {
    *pending->first = false;
    data->DeleteChars(0, data->BufTextLen);
    data->InsertChars(0, pending->second.c_str());  // the caret ends after it
  }
  return 0;
}

}  // namespace

void GLUI_Spinner::draw_frame() {
  ImGui::BeginGroup();
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted(name_.c_str());
  ImGui::SameLine(parent_->label_column(), 0.0f);
  if (!editing_) edit_ = value_.text();
  ImGui::SetNextItemWidth(glui_theme::kSpinnerBoxWidth);
  // A copy: ImGui edits edit_ itself while the callback runs.
  std::pair<bool*, std::string> pending(&show_committed_, show_committed_ ? edit_ : std::string());
  ImGui::InputText("##value", &edit_,
                   ImGuiInputTextFlags_AutoSelectAll | ImGuiInputTextFlags_CallbackAlways,
                   show_committed_value, &pending);
  show_committed_ = false;  // only while the field is being edited
  if (ImGui::IsItemActivated()) editing_ = true;
  bool deactivated = ImGui::IsItemDeactivated();
  record_hot_rect();
  if (deactivated) commit();

  ImGui::PushButtonRepeat(true);
  ImGui::SameLine(0.0f, 2.0f);
  if (ImGui::ArrowButton("##down", ImGuiDir_Down)) {
    commit();
    value_.step(-1);
    changed();
  }
  down_ = rect_of(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
  if (ImGui::IsItemActivated()) glui_->impl()->activated = true, glui_->set_active(this);
  ImGui::SameLine(0.0f, 2.0f);
  if (ImGui::ArrowButton("##up", ImGuiDir_Up)) {
    commit();
    value_.step(+1);
    changed();
  }
  up_ = rect_of(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
  if (ImGui::IsItemActivated()) glui_->impl()->activated = true, glui_->set_active(this);
  ImGui::PopButtonRepeat();
  ImGui::EndGroup();
  record_rect();
}

// --- GLUI -------------------------------------------------------------------

GLUI::GLUI(int parent_window, int position)
    : parent_window_(parent_window),
      position_(position),
      root_(this, nullptr, "", GLUI_PANEL_NONE),
      impl_(new Impl) {
  ContextScope scope(nullptr);
  impl_->ctx = ImGui::CreateContext();
  ImGui::SetCurrentContext(impl_->ctx);
  ImGuiIO& io = ImGui::GetIO();
  io.IniFilename = nullptr;  // a panel keeps no files
  io.LogFilename = nullptr;
  glui_theme::apply();
  unsigned char* pixels = nullptr;
  int w = 0, h = 0;
  io.Fonts->GetTexDataAsRGBA32(&pixels, &w, &h);  // frames need the font before any drawing
  ImGui_ImplGLUT_Init();
  ImGui_ImplOpenGL2_Init();
  io.DisplaySize = ImVec2(1.0f, 1.0f);
}

GLUI::~GLUI() {
  for (GLUI_Control* c : all_) delete c;
  {
    ContextScope scope(impl_->ctx);
    ImGui_ImplOpenGL2_Shutdown();
    ImGui_ImplGLUT_Shutdown();
  }
  ImGui::DestroyContext(impl_->ctx);
  delete impl_;
}

template <class T>
T* GLUI::add(GLUI_Panel* parent, T* control) {
  if (!parent) parent = &root_;
  parent->children_.push_back(control);
  all_.push_back(control);
  panel_width_ = 0;  // the panel is sized again when next asked
  return control;
}

GLUI_EditText* GLUI::add_edittext(const char* name, int data_type, void* live_var, int id,
                                  GLUI_Update_CB cb) {
  return add_edittext_to_panel(nullptr, name, data_type, live_var, id, cb);
}

GLUI_EditText* GLUI::add_edittext_to_panel(GLUI_Panel* panel, const char* name, int data_type,
                                           void* live_var, int id, GLUI_Update_CB cb) {
  return add(panel, new GLUI_EditText(this, panel ? panel : &root_, name, data_type, live_var, id, cb));
}

GLUI_Button* GLUI::add_button(const char* name, int id, GLUI_Update_CB cb) {
  return add_button_to_panel(nullptr, name, id, cb);
}

GLUI_Button* GLUI::add_button_to_panel(GLUI_Panel* panel, const char* name, int id,
                                       GLUI_Update_CB cb) {
  return add(panel, new GLUI_Button(this, panel ? panel : &root_, name, id, cb));
}

void GLUI::add_separator() { add_separator_to_panel(nullptr); }

void GLUI::add_separator_to_panel(GLUI_Panel* panel) {
  add(panel, new GLUI_Separator(this, panel ? panel : &root_));
}

GLUI_Panel* GLUI::add_panel(const char* name, int type) {
  return add_panel_to_panel(nullptr, name, type);
}

GLUI_Panel* GLUI::add_panel_to_panel(GLUI_Panel* panel, const char* name, int type) {
  return add(panel, new GLUI_Panel(this, panel ? panel : &root_, name, type));
}

GLUI_Rollout* GLUI::add_rollout(const char* name, int open, int type) {
  return add_rollout_to_panel(nullptr, name, open, type);
}

GLUI_Rollout* GLUI::add_rollout_to_panel(GLUI_Panel* panel, const char* name, int open,
                                         int type) {
  return add(panel, new GLUI_Rollout(this, panel ? panel : &root_, name, open != 0, type));
}

GLUI_RadioGroup* GLUI::add_radiogroup(int* live_var, int id, GLUI_Update_CB cb) {
  return add_radiogroup_to_panel(nullptr, live_var, id, cb);
}

GLUI_RadioGroup* GLUI::add_radiogroup_to_panel(GLUI_Panel* panel, int* live_var, int id,
                                               GLUI_Update_CB cb) {
  return add(panel, new GLUI_RadioGroup(this, panel ? panel : &root_, live_var, id, cb));
}

GLUI_RadioButton* GLUI::add_radiobutton_to_group(GLUI_RadioGroup* group, const char* name) {
  if (!group) return nullptr;
  int index = group->button_count();
  return add(group, new GLUI_RadioButton(this, group, name, index));
}

GLUI_Checkbox* GLUI::add_checkbox(const char* name, int* live_var, int id, GLUI_Update_CB cb) {
  return add_checkbox_to_panel(nullptr, name, live_var, id, cb);
}

GLUI_Checkbox* GLUI::add_checkbox_to_panel(GLUI_Panel* panel, const char* name, int* live_var,
                                           int id, GLUI_Update_CB cb) {
  return add(panel, new GLUI_Checkbox(this, panel ? panel : &root_, name, live_var, id, cb));
}

GLUI_Spinner* GLUI::add_spinner(const char* name, int data_type, void* live_var, int id,
                                GLUI_Update_CB cb) {
  return add_spinner_to_panel(nullptr, name, data_type, live_var, id, cb);
}

GLUI_Spinner* GLUI::add_spinner_to_panel(GLUI_Panel* panel, const char* name, int data_type,
                                         void* live_var, int id, GLUI_Update_CB cb) {
  return add(panel, new GLUI_Spinner(this, panel ? panel : &root_, name, data_type, live_var, id, cb));
}

void GLUI::deactivate_current_control() {
  if (active_) {
    GLUI_Control* was = active_;
    active_ = nullptr;
    was->deactivate();
  }
  {
    ContextScope scope(impl_->ctx);
    ImGui::ClearActiveID();
  }
  glutPostWindowRedisplay(window_id_);
  // A value the deactivation committed is reported at once, before the
  // click that ended the control goes on to the program.
  Impl::run_callbacks(this);
}

int GLUI::get_panel_width() {
  if (panel_width_ == 0 && !all_.empty()) Impl::measure(this);
  return panel_width_;
}

int GLUI::get_panel_height() {
  get_panel_width();
  return panel_height_;
}

bool GLUI::accepts_text(const GLUI_Control* c) {
  return dynamic_cast<const GLUI_EditText*>(c) || dynamic_cast<const GLUI_Spinner*>(c);
}

// --- Event entry points ------------------------------------------------------

void glui_panel_display(GLUI* gui) {
  // A panel that has not been placed yet (no forwarded reshape reached its
  // main window) places itself before it draws.
  if (glutGet(GLUT_WINDOW_WIDTH) != gui->get_panel_width() &&
      (gui->get_position() == GLUI_SUBWINDOW_RIGHT || gui->get_position() == GLUI_SUBWINDOW_LEFT)) {
    int self = glutGetWindow();
    GLUI_Master.reposition_subwindows(gui->get_parent_window());
    glutSetWindow(self);
  }
  GLUI::Impl::render(gui);
}

void glui_panel_reshape(GLUI* gui, int width, int height) {
  ContextScope scope(gui->impl()->ctx);
  ImGui::GetIO().DisplaySize = ImVec2(static_cast<float>(std::max(width, 1)),
                                      static_cast<float>(std::max(height, 1)));
  glutPostWindowRedisplay(gui->get_glut_window_id());
}

void glui_panel_mouse(GLUI* gui, int button, int state, int x, int y) {
  {
    ContextScope scope(gui->impl()->ctx);
    ImGuiIO& io = ImGui::GetIO();
    if (button == 3 || button == 4) {  // freeglut reports the wheel as buttons 3 and 4
      if (state == GLUT_DOWN) io.MouseWheel += button == 3 ? 1.0f : -1.0f;
      io.MousePos = ImVec2(static_cast<float>(x), static_cast<float>(y));
    } else {
      ImGui_ImplGLUT_MouseFunc(button, state, x, y);
    }
  }
  GLUI::Impl::input_frame(gui);
}

void glui_panel_motion(GLUI* gui, int x, int y) {
  ContextScope scope(gui->impl()->ctx);
  ImGui_ImplGLUT_MotionFunc(x, y);
  glutPostWindowRedisplay(gui->get_glut_window_id());
}

namespace {

// Hands one input transition to the panel's ImGui context, then runs the
// frame in which ImGui sees it.
template <typename Event>
void transition(GLUI* gui, Event&& event) {
  {
    ContextScope scope(gui->impl()->ctx);
    event();
  }
  GLUI::Impl::input_frame(gui);
}

constexpr unsigned char kEnter = 13, kEscape = 27;

// GLUT repeats a held key as further presses; ImGui counts a press only
// when the key goes down, so each press is preceded by a release.
//
// Enter and Esc are the toolkit's: ImGui would end the edit on either (and
// throw the typed text away on Esc), while the control clicked last keeps
// the keys until the next click in the main window. Enter commits what was
// typed; Esc does nothing, and does not reach the program either.
void key_down(GLUI* gui, unsigned char key) {
  if (key == kEscape) return;
  if (key == kEnter && GLUI::accepts_text(gui->get_active_control())) {
    GLUI::Impl::enter(gui);
    return;
  }
  transition(gui, [&] {
    if (ImGui::GetIO().KeysDown[key]) ImGui_ImplGLUT_KeyboardUpFunc(key, 0, 0);
  });
  transition(gui, [&] { ImGui_ImplGLUT_KeyboardFunc(key, 0, 0); });
}

void key_up(GLUI* gui, unsigned char key) {
  if (key == kEscape || (key == kEnter && GLUI::accepts_text(gui->get_active_control()))) return;
  transition(gui, [&] { ImGui_ImplGLUT_KeyboardUpFunc(key, 0, 0); });
}

void special_down(GLUI* gui, int key) {
  transition(gui, [&] { ImGui_ImplGLUT_SpecialUpFunc(key, 0, 0); });
  transition(gui, [&] { ImGui_ImplGLUT_SpecialFunc(key, 0, 0); });
}

void special_up(GLUI* gui, int key) {
  transition(gui, [&] { ImGui_ImplGLUT_SpecialUpFunc(key, 0, 0); });
}

// The panel whose active control takes the keys typed over `window`.
GLUI* active_gui_for(int window) {
  for (GLUI* g : GLUI_Master.guis())
    if (g->get_active_control() &&
        (g->get_parent_window() == window || g->get_main_gfx_window() == window))
      return g;
  return nullptr;
}

}  // namespace

void glui_panel_keyboard(GLUI* gui, unsigned char key, int, int) { key_down(gui, key); }
void glui_panel_keyboard_up(GLUI* gui, unsigned char key, int, int) { key_up(gui, key); }
void glui_panel_special(GLUI* gui, int key, int, int) { special_down(gui, key); }
void glui_panel_special_up(GLUI* gui, int key, int, int) { special_up(gui, key); }

void glui_main_reshape(int width, int height) {
  int window = glutGetWindow();
  auto it = forwarded.find(window);
  if (it != forwarded.end() && it->second.reshape) it->second.reshape(width, height);
  GLUI_Master.reposition_subwindows(window);
  glutSetWindow(window);
}

void glui_main_keyboard(unsigned char key, int x, int y) {
  int window = glutGetWindow();
  if (GLUI* g = active_gui_for(window)) {
    // The control clicked last takes the keys; only text controls use them.
    if (GLUI::accepts_text(g->get_active_control())) key_down(g, key);
    glutSetWindow(window);
    return;
  }
  auto it = forwarded.find(window);
  if (it != forwarded.end() && it->second.keyboard) it->second.keyboard(key, x, y);
}

void glui_main_keyboard_up(unsigned char key, int, int) {
  int window = glutGetWindow();
  if (GLUI* g = active_gui_for(window)) {
    if (GLUI::accepts_text(g->get_active_control())) key_up(g, key);
    glutSetWindow(window);
  }
}

void glui_main_special(int key, int x, int y) {
  int window = glutGetWindow();
  if (GLUI* g = active_gui_for(window)) {
    if (GLUI::accepts_text(g->get_active_control())) special_down(g, key);
    glutSetWindow(window);
    return;
  }
  auto it = forwarded.find(window);
  if (it != forwarded.end() && it->second.special) it->second.special(key, x, y);
}

void glui_main_special_up(int key, int, int) {
  int window = glutGetWindow();
  if (GLUI* g = active_gui_for(window)) {
    if (GLUI::accepts_text(g->get_active_control())) special_up(g, key);
    glutSetWindow(window);
  }
}

void glui_main_mouse(int button, int state, int x, int y) {
  int window = glutGetWindow();
  // A click in the main window ends the panel's active control first,
  // committing what was typed into it.
  for (GLUI* g : GLUI_Master.guis())
    if (g->get_active_control() &&
        (g->get_parent_window() == window || g->get_main_gfx_window() == window))
      g->deactivate_current_control();
  glutSetWindow(window);
  auto it = forwarded.find(window);
  if (it != forwarded.end() && it->second.mouse) it->second.mouse(button, state, x, y);
}

namespace {

// The idle work runs once a frame of the screen. GLUT calls an idle
// function over and over, as fast as the processor allows; between frames
// none is set, so that GLUT sleeps until an event arrives or this timer
// brings the idle function back at the next frame.
using Clock = std::chrono::steady_clock;
constexpr auto kFrame = std::chrono::microseconds(16667);  // 1/60 s
Clock::time_point next_frame;
bool idle_asleep = false;

void wake_idle(int) {
  idle_asleep = false;
  glutIdleFunc(glui_idle);
}

void sleep_until_next_frame() {
  Clock::time_point now = Clock::now();
  next_frame += kFrame;
  if (next_frame <= now || next_frame > now + kFrame) next_frame = now + kFrame;
  auto wait = std::chrono::ceil<std::chrono::milliseconds>(next_frame - now);
  glutIdleFunc(nullptr);
  idle_asleep = true;
  glutTimerFunc(static_cast<unsigned>(wait.count()), wake_idle, 0);
}

}  // namespace

void glui_idle() {
  int now = glutGet(GLUT_ELAPSED_TIME);
  for (GLUI* g : GLUI_Master.guis()) {
    GLUI::Impl::hold_frame(g);
    // A text field being typed into shows a blinking caret.
    ContextScope scope(g->impl()->ctx);
    if (ImGui::GetActiveID() != 0 && now - g->impl()->last_blink_ms >= kCaretBlinkMs)
      glutPostWindowRedisplay(g->get_glut_window_id());
  }
  if (user_idle) user_idle();
  sleep_until_next_frame();
}

// --- GLUI_Master --------------------------------------------------------------

namespace {

GLUI* current_gui() { return GLUI_Master.find_glui_by_window_id(glutGetWindow()); }

void panel_display_cb() {
  if (GLUI* g = current_gui()) glui_panel_display(g);
}
void panel_reshape_cb(int w, int h) {
  if (GLUI* g = current_gui()) glui_panel_reshape(g, w, h);
}
void panel_mouse_cb(int b, int s, int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_mouse(g, b, s, x, y);
}
void panel_motion_cb(int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_motion(g, x, y);
}
void panel_keyboard_cb(unsigned char k, int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_keyboard(g, k, x, y);
}
void panel_keyboard_up_cb(unsigned char k, int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_keyboard_up(g, k, x, y);
}
void panel_special_cb(int k, int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_special(g, k, x, y);
}
void panel_special_up_cb(int k, int x, int y) {
  if (GLUI* g = current_gui()) glui_panel_special_up(g, k, x, y);
}
void panel_entry_cb(int state) {
  // The pointer left the panel: nothing is hovered any more.
  if (state != GLUT_LEFT) return;
  if (GLUI* g = current_gui()) glui_panel_motion(g, -100000, -100000);
}

}  // namespace

GLUI* GLUI_Master_Object::create_glui_subwindow(int parent_window, int position) {
  GLUI* g = new GLUI(parent_window, position);
  glutSetWindow(parent_window);
  int height = std::max(glutGet(GLUT_WINDOW_HEIGHT), 1);
  // The width fits the controls, which do not exist yet: it is settled when
  // first asked for, before the main window's first display.
  g->window_id_ = glutCreateSubWindow(parent_window, 0, 0, 1, height);
  glutDisplayFunc(panel_display_cb);
  glutReshapeFunc(panel_reshape_cb);
  glutMouseFunc(panel_mouse_cb);
  glutMotionFunc(panel_motion_cb);
  glutPassiveMotionFunc(panel_motion_cb);
  glutKeyboardFunc(panel_keyboard_cb);
  glutKeyboardUpFunc(panel_keyboard_up_cb);
  glutSpecialFunc(panel_special_cb);
  glutSpecialUpFunc(panel_special_up_cb);
  glutEntryFunc(panel_entry_cb);
  guis_.push_back(g);
  glutSetWindow(parent_window);
  return g;
}

void GLUI_Master_Object::set_glutReshapeFunc(void (*f)(int, int)) {
  forwarded[glutGetWindow()].reshape = f;
  glutReshapeFunc(glui_main_reshape);
}

void GLUI_Master_Object::set_glutKeyboardFunc(void (*f)(unsigned char, int, int)) {
  forwarded[glutGetWindow()].keyboard = f;
  glutKeyboardFunc(glui_main_keyboard);
  glutKeyboardUpFunc(glui_main_keyboard_up);
}

void GLUI_Master_Object::set_glutSpecialFunc(void (*f)(int, int, int)) {
  forwarded[glutGetWindow()].special = f;
  glutSpecialFunc(glui_main_special);
  glutSpecialUpFunc(glui_main_special_up);
}

void GLUI_Master_Object::set_glutMouseFunc(void (*f)(int, int, int, int)) {
  forwarded[glutGetWindow()].mouse = f;
  glutMouseFunc(glui_main_mouse);
}

void GLUI_Master_Object::set_glutIdleFunc(void (*f)()) {
  user_idle = f;
  if (!idle_asleep) glutIdleFunc(glui_idle);  // else the timer brings it back
}

void GLUI_Master_Object::get_viewport_area(int* x, int* y, int* w, int* h) {
  int window = glutGetWindow();
  int width = glutGet(GLUT_WINDOW_WIDTH);
  int height = glutGet(GLUT_WINDOW_HEIGHT);
  int left = 0, right = 0, top = 0, bottom = 0;
  for (GLUI* g : guis_) {
    if (g->get_parent_window() != window) continue;
    switch (g->get_position()) {
      case GLUI_SUBWINDOW_RIGHT: right += g->get_panel_width(); break;
      case GLUI_SUBWINDOW_LEFT: left += g->get_panel_width(); break;
      case GLUI_SUBWINDOW_TOP: top += g->get_panel_height(); break;
      case GLUI_SUBWINDOW_BOTTOM: bottom += g->get_panel_height(); break;
      default: break;
    }
  }
  *x = std::max(left, 0);
  *y = std::max(bottom, 0);
  *w = std::max(width - left - right, 0);
  *h = std::max(height - top - bottom, 0);
}

void GLUI_Master_Object::reposition_subwindows(int window) {
  int prev = glutGetWindow();
  glutSetWindow(window);
  int width = glutGet(GLUT_WINDOW_WIDTH);
  int height = glutGet(GLUT_WINDOW_HEIGHT);
  for (GLUI* g : guis_) {
    if (g->get_parent_window() != window) continue;
    int pw = std::max(g->get_panel_width(), 1);
    int ph = std::max(g->get_panel_height(), 1);
    glutSetWindow(g->get_glut_window_id());
    switch (g->get_position()) {
      case GLUI_SUBWINDOW_LEFT:
        glutPositionWindow(0, 0);
        glutReshapeWindow(pw, std::max(height, 1));
        break;
      case GLUI_SUBWINDOW_TOP:
        glutPositionWindow(0, 0);
        glutReshapeWindow(std::max(width, 1), ph);
        break;
      case GLUI_SUBWINDOW_BOTTOM:
        glutPositionWindow(0, height - ph);
        glutReshapeWindow(std::max(width, 1), ph);
        break;
      default:  // right: flush with the right edge, full height
        glutPositionWindow(width - pw, 0);
        glutReshapeWindow(pw, std::max(height, 1));
        break;
    }
  }
  if (prev > 0) glutSetWindow(prev);
}

GLUI* GLUI_Master_Object::find_glui_by_window_id(int window_id) {
  for (GLUI* g : guis_)
    if (g->get_glut_window_id() == window_id) return g;
  return nullptr;
}
