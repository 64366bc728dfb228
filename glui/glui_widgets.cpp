// The controls: each builds its Dear ImGui widgets into the frame of its
// panel's context, records where it was drawn, and queues its callback
// when the user has changed it.
#include "glui/glui_widgets.h"

#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "glui/glui_clipboard.h"
#include "glui/glui_context.h"
#include "glui/glui_imgui.h"
#include "glui/glui_theme.h"

using glui_theme::kFramePad;
using glui_theme::px;

GLUI_Control::GLUI_Control(GLUI* glui, GLUI_Panel* parent, const char* name, int id,
                           GLUI_Update_CB cb)
    : glui_(glui), parent_(parent), name_(name ? name : ""), id_(id), callback_(cb) {}

GLUI_Control::~GLUI_Control() = default;

void GLUI_Control::notify(GLUI_Context& ctx) { ctx.queue_callback(callback_, id_); }

void GLUI_Control::record_rect() {
  rect_ = glui_rect_of(ImGui::GetItemRectMin(), ImGui::GetItemRectMax());
}

void GLUI_Control::record_hot_rect(GLUI_Context& ctx) { hot_ = ctx.clickable_item(this); }

namespace {

// The right edge of a container's children, for sizing it to them.
float children_right(const std::vector<GLUI_Control*>& children) {
  float right = 0.0f;
  for (const GLUI_Control* c : children)
    right = std::max(right, static_cast<float>(c->rect().x + c->rect().w));
  return right;
}

// Starts the group of a text field or spinner with its label, and moves
// to the container's label column, which it returns.
float begin_labelled(const char* label, const GLUI_Panel& container) {
  float column = glui_label_column(container);
  ImGui::BeginGroup();
  ImGui::AlignTextToFramePadding();
  ImGui::TextUnformatted(label);
  ImGui::SameLine(column, 0.0f);
  return column;
}

}  // namespace

// --- Containers -----------------------------------------------------------------

GLUI_Panel::GLUI_Panel(GLUI* glui, GLUI_Panel* parent, const char* name, int type)
    : GLUI_Control(glui, parent, name, -1, nullptr), type_(type) {}

GLUI_Panel::~GLUI_Panel() = default;  // the GLUI owns every control

void GLUI_Panel::build_children(GLUI_Context& ctx) {
  for (GLUI_Control* c : children_) ctx.build(c);
}

// Panels: children inside an etched frame, the title set into its top line.
// While measuring, the frame hugs its children; otherwise it spans the
// width its container leaves, so that frames in a column line up.
void GLUI_Panel::build(GLUI_Context& ctx) {
  if (type_ == GLUI_PANEL_NONE) {
    ImGui::BeginGroup();
    build_children(ctx);
    ImGui::EndGroup();
    record_rect();
    return;
  }
  ImVec2 start = ImGui::GetCursorScreenPos();
  float avail = ctx.avail_width();
  float title_h = ImGui::GetTextLineHeight();
  bool has_title = !name_.empty();
  float top = has_title ? title_h : px(kFramePad);

  ImGui::BeginGroup();
  ImGui::Dummy(ImVec2(1.0f, top));
  ImGui::Indent(px(kFramePad));
  ctx.push_avail_width(avail - 2.0f * px(kFramePad));
  build_children(ctx);
  ctx.pop_avail_width();
  ImGui::Unindent(px(kFramePad));
  ImGui::Dummy(ImVec2(1.0f, px(kFramePad) * 0.5f));
  ImGui::EndGroup();
  ImVec2 end = ImGui::GetItemRectMax();

  float title_w = has_title ? ImGui::CalcTextSize(name_.c_str()).x + 4.0f * px(kFramePad) : 0.0f;
  float width =
      ctx.measuring()
          ? std::max(children_right(children_) + px(kFramePad), start.x + title_w) - start.x
          : avail;
  ImDrawList* dl = ImGui::GetWindowDrawList();
  float line_y = has_title ? start.y + title_h * 0.5f : start.y + 1.0f;
  glui_theme::draw_etched_rect(dl, ImVec2(start.x, line_y),
                               ImVec2(start.x + width - px(2.0f), end.y));
  if (has_title) {
    ImVec2 text_pos(start.x + px(kFramePad), start.y);
    ImVec2 size = ImGui::CalcTextSize(name_.c_str());
    dl->AddRectFilled(ImVec2(text_pos.x - px(2.0f), text_pos.y),
                      ImVec2(text_pos.x + size.x + px(2.0f), text_pos.y + size.y),
                      ImGui::GetColorU32(ImGuiCol_WindowBg));
    dl->AddText(text_pos, ImGui::GetColorU32(ImGuiCol_Text), name_.c_str());
  }
  rect_ = glui_rect_of(start, ImVec2(start.x + width, end.y + 1.0f));
}

GLUI_Rollout::GLUI_Rollout(GLUI* glui, GLUI_Panel* parent, const char* name, bool open, int type)
    : GLUI_Panel(glui, parent, name, type), open_(open) {}

// A rollout: a title bar that opens and closes it, over a framed panel.
void GLUI_Rollout::build(GLUI_Context& ctx) {
  ImVec2 start = ImGui::GetCursorScreenPos();
  float avail = ctx.avail_width();
  float bar_natural =
      ImGui::CalcTextSize(name_.c_str()).x + ImGui::GetFrameHeight() + 3.0f * px(kFramePad);
  float bar_w = ctx.measuring() ? bar_natural : avail;

  ImGui::BeginGroup();
  // The rollout keeps its own state (open() and close() set it): the
  // header takes it each frame, and returns it changed by a click.
  ImGui::SetNextItemOpen(open_, ImGuiCond_Always);
  ImGui::PushStyleColor(ImGuiCol_Header, ImGui::GetStyleColorVec4(ImGuiCol_Button));
  // The bar is as wide as the panel: ImGui's header spans the window and
  // a little beyond, so it is clipped to the bar, for clicks as well.
  ImGui::PushClipRect(start, ImVec2(start.x + bar_w, start.y + 4096.0f), true);
  open_ = ImGui::CollapsingHeader(name_.c_str());
  ImGui::PopClipRect();
  ImGui::PopStyleColor();
  hot_ = ctx.clickable_item(this);
  hot_.x = static_cast<int>(start.x);
  hot_.w = static_cast<int>(bar_w);
  float children_w = 0.0f;
  // Sizing the panel counts the contents of closed rollouts too, so that
  // opening one later finds room for it.
  if (open_ || ctx.measuring()) {
    ImGui::Indent(px(kFramePad));
    ctx.push_avail_width(avail - 2.0f * px(kFramePad));
    ImGui::Dummy(ImVec2(1.0f, 1.0f));
    build_children(ctx);
    ctx.pop_avail_width();
    ImGui::Unindent(px(kFramePad));
    ImGui::Dummy(ImVec2(1.0f, px(kFramePad) * 0.5f));
    children_w = children_right(children_) + px(kFramePad) - start.x;
  }
  ImGui::EndGroup();
  ImVec2 end = ImGui::GetItemRectMax();
  float width = ctx.measuring() ? std::max(bar_natural, children_w) : avail;
  if (open_) {
    ImVec2 bar_end(start.x, start.y + ImGui::GetFrameHeight());
    glui_theme::draw_etched_rect(ImGui::GetWindowDrawList(), bar_end,
                                 ImVec2(start.x + width - px(2.0f), end.y));
  }
  rect_ = glui_rect_of(start, ImVec2(start.x + width, end.y + 1.0f));
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

bool GLUI_RadioGroup::choose(int index, GLUI_Context& ctx) {
  if (index == value_) return false;
  set_int_val(index);
  notify(ctx);
  return true;
}

void GLUI_RadioGroup::sync_from_live() {
  if (live_var_) value_ = *live_var_;
}

void GLUI_RadioGroup::build(GLUI_Context& ctx) {
  sync_from_live();
  ImGui::BeginGroup();
  build_children(ctx);
  ImGui::EndGroup();
  record_rect();
}

// --- Simple controls ------------------------------------------------------------

GLUI_Separator::GLUI_Separator(GLUI* glui, GLUI_Panel* parent)
    : GLUI_Control(glui, parent, "", -1, nullptr) {}

void GLUI_Separator::build(GLUI_Context& ctx) {
  ImVec2 start = ImGui::GetCursorScreenPos();
  float width = ctx.measuring() ? 1.0f : ctx.avail_width();
  float h = ImGui::GetStyle().ItemSpacing.y;
  ImGui::Dummy(ImVec2(width, h));
  glui_theme::draw_etched_line(ImGui::GetWindowDrawList(), start.x, start.x + width,
                               std::floor(start.y + h * 0.5f));
  rect_ = glui_rect_of(start, ImVec2(start.x + width, start.y + h));
}

GLUI_Button::GLUI_Button(GLUI* glui, GLUI_Panel* parent, const char* name, int id,
                         GLUI_Update_CB cb)
    : GLUI_Control(glui, parent, name, id, cb) {}

void GLUI_Button::build(GLUI_Context& ctx) {
  float text_w = ImGui::CalcTextSize(name_.c_str(), nullptr, true).x;
  float w =
      std::max(px(glui_theme::kButtonWidth), text_w + 2.0f * ImGui::GetStyle().FramePadding.x);
  // ImGui calls back on release over the button, as a button should.
  if (ImGui::Button(name_.c_str(), ImVec2(w, 0.0f))) notify(ctx);
  record_hot_rect(ctx);
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

void GLUI_Checkbox::build(GLUI_Context& ctx) {
  sync_from_live();
  bool ticked = value_ != 0;
  if (ImGui::Checkbox(name_.c_str(), &ticked)) {
    set_int_val(ticked ? 1 : 0);
    notify(ctx);
  }
  record_hot_rect(ctx);
  record_rect();
}

GLUI_RadioButton::GLUI_RadioButton(GLUI* glui, GLUI_RadioGroup* group, const char* name, int index)
    : GLUI_Control(glui, group, name, -1, nullptr), index_(index) {}

void GLUI_RadioButton::build(GLUI_Context& ctx) {
  auto* group = static_cast<GLUI_RadioGroup*>(parent_);
  if (ImGui::RadioButton(name_.c_str(), group->get_int_val() == index_)) group->choose(index_, ctx);
  record_hot_rect(ctx);
  record_rect();
}

// --- Text fields and spinners ---------------------------------------------------

GLUI_EditText::GLUI_EditText(GLUI* glui, GLUI_Panel* parent, const char* name, int id,
                             GLUI_Update_CB cb)
    : GLUI_Control(glui, parent, name, id, cb) {}

void GLUI_EditText::set_text(const char* text) { text_ = text ? text : ""; }

// The text is live already; Enter only reports it.
void GLUI_EditText::commit_on_enter(GLUI_Context& ctx) { notify(ctx); }

namespace {

// Where the UTF-8 character before byte i of text starts.
size_t previous_char(const std::string& text, size_t i) {
  while (i > 0 && (static_cast<unsigned char>(text[--i]) & 0xC0) == 0x80) {
  }
  return i;
}

size_t next_char(const std::string& text, size_t i) {
  while (i < text.size() && (static_cast<unsigned char>(text[++i]) & 0xC0) == 0x80) {
  }
  return std::min(i, text.size());
}

float text_width(const std::string& text, size_t from, size_t to) {
  return ImGui::CalcTextSize(text.data() + from, text.data() + to).x;
}

// Where the longest end of text that fits in width pixels starts.
size_t fitting_end(const std::string& text, float width) {
  size_t start = text.size();
  float used = 0.0f;
  while (start > 0) {
    size_t prev = previous_char(text, start);
    used += text_width(text, prev, start);
    if (used > width) break;
    start = prev;
  }
  return start;
}

// The character boundary of text from `from` on nearest to x pixels.
size_t boundary_at(const std::string& text, size_t from, float x) {
  float at = 0.0f;
  for (size_t i = from; i < text.size();) {
    size_t next = next_char(text, i);
    float w = text_width(text, i, next);
    if (x < at + w * 0.5f) return i;
    at += w;
    i = next;
  }
  return text.size();
}

constexpr const char* kEllipsis = "...";
constexpr int kTooltipDelayMs = 500;

// Runs every frame while the field is being edited: puts the caret where
// the click that began the edit landed (see GLUI_EditText::caret_due_),
// and cuts a text grown past the field's bound at a character boundary.
int edit_callback(ImGuiInputTextCallbackData* data) {
  auto* field = static_cast<GLUI_EditText::Editing*>(data->UserData);
  if (data->BufTextLen > static_cast<int>(kGluiFieldMaxBytes)) {
    int end = static_cast<int>(kGluiFieldMaxBytes);
    while (end > 0 && (static_cast<unsigned char>(data->Buf[end]) & 0xC0) == 0x80) --end;
    data->DeleteChars(end, data->BufTextLen - end);
    field->cut = true;
  }
  if (field->caret_due >= 0) {
    data->CursorPos = data->SelectionStart = data->SelectionEnd =
        std::min(field->caret_due, data->BufTextLen);
    field->caret_due = -1;
  }
  const int from = std::min(data->SelectionStart, data->SelectionEnd);
  const int to = std::max(data->SelectionStart, data->SelectionEnd);
  field->selected.assign(data->Buf + from, static_cast<size_t>(to - from));
  return 0;
}

// The end of text, from a character boundary, that fits in a box `width`
// pixels wide and `height` high when wrapped at its width: all of it when
// it fits.
size_t fitting_tail(const std::string& text, float width, float height) {
  auto fits = [&](size_t from) {
    return ImGui::CalcTextSize(text.data() + from, text.data() + text.size(), false, width).y <=
           height;
  };
  if (fits(0)) return 0;
  size_t low = 0, high = text.size();  // low does not fit, high does
  while (high - low > 1) {
    size_t mid = low + (high - low) / 2;
    while (mid < high && (static_cast<unsigned char>(text[mid]) & 0xC0) == 0x80) ++mid;
    if (mid == high) break;
    (fits(mid) ? high : low) = mid;
  }
  return high;
}

}  // namespace

// A text too long for the field shows its end while it is not being edited
// (the end of a path is the file's name), after an ellipsis; a click puts
// the caret at the character clicked in what was shown. Resting the
// pointer on the field shows the whole text.
void GLUI_EditText::build(GLUI_Context& ctx) {
  float label_w = begin_labelled(name_.c_str(), *parent_);
  // A set width is the whole control's, label included, as in the classic
  // panels; the box keeps room for a few characters whatever the label.
  float box_w =
      box_w_ > 0 ? std::max(px(static_cast<float>(box_w_)) - label_w, px(glui_theme::kMinBoxWidth))
                 : px(glui_theme::kDefaultBoxWidth);
  if (ctx.fonts().want(text_.c_str())) ctx.redraw_at(ctx.now_ms());
  const ImGuiStyle& style = ImGui::GetStyle();
  const float inner_w = box_w - 2.0f * style.FramePadding.x;
  const bool overflows = ImGui::CalcTextSize(text_.c_str()).x > inner_w;
  const bool show_end = overflows && glui_imgui::active_id() != ImGui::GetID("##text");
  if (show_end) ImGui::PushStyleColor(ImGuiCol_Text, ImVec4(0, 0, 0, 0));
  ImGui::SetNextItemWidth(box_w);
  if (ImGui::InputText("##text", &text_, ImGuiInputTextFlags_CallbackAlways, edit_callback,
                       &editing_)) {
    notify(ctx);
  }
  if (editing_.cut) {
    editing_.cut = false;
    ctx.report_cut();
  }
  // Text newly selected becomes the PRIMARY selection, as in every X text
  // field: a middle click in another program pastes it.
  if (glui_imgui::active_id() != ImGui::GetID("##text")) editing_.selected.clear();
  if (!editing_.selected.empty() && editing_.selected != primary_)
    glui_x11::set_selection_text(glui_x11::Selection::primary, editing_.selected.c_str());
  primary_ = editing_.selected;
  const bool hovered = ImGui::IsItemHovered();
  if (show_end) {
    ImGui::PopStyleColor();
    const ImVec2 origin(ImGui::GetItemRectMin().x + style.FramePadding.x,
                        ImGui::GetItemRectMin().y + style.FramePadding.y);
    const float ellipsis_w = ImGui::CalcTextSize(kEllipsis).x;
    const size_t end_from = fitting_end(text_, inner_w - ellipsis_w);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const ImU32 colour = ImGui::GetColorU32(ImGuiCol_Text);
    dl->PushClipRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax(), true);
    dl->AddText(origin, colour, kEllipsis);
    dl->AddText(ImVec2(origin.x + ellipsis_w, origin.y), colour, text_.c_str() + end_from);
    dl->PopClipRect();
    if (ImGui::IsItemActivated()) {
      const float x = ImGui::GetMousePos().x - origin.x - ellipsis_w;
      editing_.caret_due = static_cast<int>(x <= 0.0f ? end_from : boundary_at(text_, end_from, x));
    }
  }
  record_hot_rect(ctx);
  ImGui::EndGroup();
  record_rect();
  show_whole_text(ctx, overflows && hovered);
}

namespace {
float style_padding() { return ImGui::GetStyle().WindowPadding.x; }
}  // namespace

void GLUI_EditText::show_whole_text(GLUI_Context& ctx, bool hovered) {
  if (!hovered || ctx.measuring()) {
    hovered_since_ms_ = -1;
    tooltip_shown_ = false;
    return;
  }
  const int now = ctx.now_ms();
  if (hovered_since_ms_ < 0) hovered_since_ms_ = now;
  if (now - hovered_since_ms_ < kTooltipDelayMs) {
    ctx.redraw_at(hovered_since_ms_ + kTooltipDelayMs);
    return;
  }
  // ImGui sizes a new tooltip in its first frame and shows it in the next.
  if (!tooltip_shown_) ctx.redraw_at(now);
  tooltip_shown_ = true;
  // Within the panel, wrapped: the subwindow is all there is to draw in.
  // A text taller than the panel shows its end (the file's name), after
  // an ellipsis.
  const ImVec2 display = ImGui::GetIO().DisplaySize;
  const float wrap = std::max(display.x - 4.0f * style_padding(), 40.0f);
  const float room = std::max(display.y - 4.0f * style_padding() - ImGui::GetTextLineHeight(),
                              ImGui::GetTextLineHeight());
  const size_t from = fitting_tail(text_, wrap - style_padding(), room);
  ImGui::BeginTooltip();
  ImGui::PushTextWrapPos(wrap);
  if (from > 0) ImGui::TextUnformatted(kEllipsis);
  ImGui::TextUnformatted(text_.c_str() + from, text_.c_str() + text_.size());
  ImGui::PopTextWrapPos();
  ImGui::EndTooltip();
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

void GLUI_Spinner::changed(GLUI_Context& ctx) {
  if (live_var_) {
    if (value_.data_type() == GLUI_SPINNER_INT)
      *static_cast<int*>(live_var_) = value_.get_int_val();
    else
      *static_cast<float*>(live_var_) = value_.get_float_val();
  }
  notify(ctx);
}

void GLUI_Spinner::commit(GLUI_Context& ctx) {
  if (!editing_) return;
  editing_ = false;
  float before = value_.get_float_val();
  value_.commit_text(edit_.c_str());
  edit_ = value_.text();
  if (value_.get_float_val() != before) changed(ctx);
}

// An arrow commits what was being typed before it steps.
void GLUI_Spinner::step(GLUI_Context& ctx, int direction) {
  commit(ctx);
  value_.step(direction);
  changed(ctx);
}

void GLUI_Spinner::deactivate(GLUI_Context& ctx) { commit(ctx); }

void GLUI_Spinner::commit_on_enter(GLUI_Context& ctx) {
  commit(ctx);
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

void GLUI_Spinner::build(GLUI_Context& ctx) {
  begin_labelled(name_.c_str(), *parent_);
  if (!editing_) edit_ = value_.text();
  ImGui::SetNextItemWidth(px(glui_theme::kSpinnerBoxWidth));
  // A copy: ImGui edits edit_ itself while the callback runs.
  std::pair<bool*, std::string> pending(&show_committed_, show_committed_ ? edit_ : std::string());
  ImGui::InputText("##value", &edit_,
                   ImGuiInputTextFlags_AutoSelectAll | ImGuiInputTextFlags_CallbackAlways,
                   show_committed_value, &pending);
  show_committed_ = false;  // only while the field is being edited
  if (ImGui::IsItemActivated()) editing_ = true;
  bool deactivated = ImGui::IsItemDeactivated();
  record_hot_rect(ctx);
  if (deactivated) commit(ctx);

  glui_imgui::push_button_repeat();
  ImGui::SameLine(0.0f, px(2.0f));
  if (ImGui::ArrowButton("##down", ImGuiDir_Down)) step(ctx, -1);
  down_ = ctx.clickable_item(this);
  ImGui::SameLine(0.0f, px(2.0f));
  if (ImGui::ArrowButton("##up", ImGuiDir_Up)) step(ctx, +1);
  up_ = ctx.clickable_item(this);
  glui_imgui::pop_button_repeat();
  ImGui::EndGroup();
  record_rect();
}
