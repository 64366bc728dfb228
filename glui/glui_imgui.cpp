// See glui_imgui.h: checked against Dear ImGui 1.86.
#include "glui/glui_imgui.h"

#include <imgui.h>
#include <imgui_internal.h>

namespace glui_imgui {

unsigned active_id() { return ImGui::GetActiveID(); }

void clear_active_id() { ImGui::ClearActiveID(); }

bool within_frame() {
  ImGuiContext* ctx = ImGui::GetCurrentContext();
  return ctx && ctx->WithinFrameScope;
}

bool mouse_down(int button) {
  const ImGuiIO& io = ImGui::GetIO();
  return button >= 0 && button < IM_ARRAYSIZE(io.MouseDown) && io.MouseDown[button];
}

void mouse_wheel(float x, float y, float steps) {
  ImGuiIO& io = ImGui::GetIO();
  io.MouseWheel += steps;
  io.MousePos = ImVec2(x, y);
}

bool key_down(int key) {
  const ImGuiIO& io = ImGui::GetIO();
  return key >= 0 && key < IM_ARRAYSIZE(io.KeysDown) && io.KeysDown[key];
}

void set_key_down(int key, bool down) {
  ImGuiIO& io = ImGui::GetIO();
  if (key >= 0 && key < IM_ARRAYSIZE(io.KeysDown)) io.KeysDown[key] = down;
}

void set_modifiers(bool ctrl, bool shift, bool alt) {
  ImGuiIO& io = ImGui::GetIO();
  io.KeyCtrl = ctrl;
  io.KeyShift = shift;
  io.KeyAlt = alt;
}

void push_button_repeat() { ImGui::PushButtonRepeat(true); }

void pop_button_repeat() { ImGui::PopButtonRepeat(); }

}  // namespace glui_imgui
