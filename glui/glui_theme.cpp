#include "glui/glui_theme.h"

#include <algorithm>

#include "glui/glui_scale.h"

namespace glui_theme {

float px(float size) { return size * glui_desktop_scale(); }

void apply() {
  ImGui::StyleColorsLight();
  ImGuiStyle& style = ImGui::GetStyle();
  style.WindowRounding = 0.0f;
  style.FrameRounding = 0.0f;
  style.GrabRounding = 0.0f;
  style.WindowBorderSize = 0.0f;
  style.FrameBorderSize = 1.0f;
  style.WindowPadding = ImVec2(8.0f, 8.0f);
  style.FramePadding = ImVec2(4.0f, 2.0f);
  style.ItemSpacing = ImVec2(6.0f, 3.0f);
  style.ItemInnerSpacing = ImVec2(4.0f, 3.0f);
  ImVec4* c = style.Colors;
  c[ImGuiCol_WindowBg] = ImVec4(0.85f, 0.85f, 0.84f, 1.0f);
  c[ImGuiCol_Text] = ImVec4(0.0f, 0.0f, 0.0f, 1.0f);
  c[ImGuiCol_Border] = ImVec4(0.45f, 0.45f, 0.45f, 1.0f);
  c[ImGuiCol_BorderShadow] = ImVec4(1.0f, 1.0f, 1.0f, 0.8f);
  c[ImGuiCol_FrameBg] = ImVec4(1.0f, 1.0f, 1.0f, 1.0f);
  c[ImGuiCol_FrameBgHovered] = ImVec4(0.96f, 0.97f, 1.0f, 1.0f);
  c[ImGuiCol_FrameBgActive] = ImVec4(1.0f, 1.0f, 1.0f, 1.0f);
  c[ImGuiCol_Button] = ImVec4(0.78f, 0.78f, 0.77f, 1.0f);
  c[ImGuiCol_ButtonHovered] = ImVec4(0.86f, 0.86f, 0.85f, 1.0f);
  c[ImGuiCol_ButtonActive] = ImVec4(0.66f, 0.66f, 0.65f, 1.0f);
  c[ImGuiCol_Header] = ImVec4(0.74f, 0.76f, 0.80f, 1.0f);
  c[ImGuiCol_HeaderHovered] = ImVec4(0.80f, 0.82f, 0.86f, 1.0f);
  c[ImGuiCol_HeaderActive] = ImVec4(0.68f, 0.70f, 0.75f, 1.0f);
  c[ImGuiCol_CheckMark] = ImVec4(0.0f, 0.0f, 0.0f, 1.0f);
  c[ImGuiCol_TextSelectedBg] = ImVec4(0.55f, 0.68f, 0.90f, 1.0f);
  const float scale = glui_desktop_scale();
  if (scale != 1.0f) {  // at 1, exactly the sizes above
    style.ScaleAllSizes(scale);
    style.FrameBorderSize *= scale;
  }
}

namespace {

ImU32 dark() { return ImGui::GetColorU32(ImGui::GetStyle().Colors[ImGuiCol_Border]); }
ImU32 light() { return ImGui::GetColorU32(ImGui::GetStyle().Colors[ImGuiCol_BorderShadow]); }

}  // namespace

void draw_etched_rect(ImDrawList* dl, ImVec2 a, ImVec2 b) {
  const float t = px(1.0f);  // a line's thickness, and the light line's offset
  dl->AddRect(ImVec2(a.x + t, a.y + t), ImVec2(b.x + t, b.y + t), light(), 0.0f, 0, t);
  dl->AddRect(a, b, dark(), 0.0f, 0, t);
}

void draw_etched_line(ImDrawList* dl, float x0, float x1, float y) {
  const float t = px(1.0f);
  dl->AddLine(ImVec2(x0, y), ImVec2(x1, y), dark(), t);
  dl->AddLine(ImVec2(x0, y + t), ImVec2(x1, y + t), light(), t);
}

void draw_warning_sign(ImDrawList* dl, ImVec2 at, float side) {
  const ImVec2 apex(at.x + side * 0.5f, at.y + 1.0f);
  const ImVec2 right(at.x + side - 1.0f, at.y + side - 1.0f);
  const ImVec2 left(at.x + 1.0f, at.y + side - 1.0f);
  dl->AddTriangleFilled(apex, right, left, IM_COL32(200, 20, 20, 255));
  // The mark: a bar and a dot, white on red.
  const float x = at.x + side * 0.5f;
  const float w = std::max(side * 0.08f, 1.0f);
  dl->AddRectFilled(ImVec2(x - w, at.y + side * 0.35f), ImVec2(x + w, at.y + side * 0.70f),
                    IM_COL32(255, 255, 255, 255));
  dl->AddRectFilled(ImVec2(x - w, at.y + side * 0.78f), ImVec2(x + w, at.y + side * 0.78f + 2 * w),
                    IM_COL32(255, 255, 255, 255));
}

}  // namespace glui_theme
