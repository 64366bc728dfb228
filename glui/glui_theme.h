// The toolkit's look: a calm light theme with square corners and etched
// frames, like the classic tool panels, and the fixed sizes of its
// controls. The widgets take their sizes from here and draw their frames
// with these helpers; everything else comes from the ImGui style that
// apply() sets.
#pragma once

#include <imgui.h>

namespace glui_theme {

// A size of the look at 96 dpi, in pixels at the desktop's scale
// (glui/glui_scale.h): every size below goes through it.
float px(float size);

// Sizes, in pixels at 96 dpi.
constexpr float kFramePad = 7.0f;           // inside a panel's frame
constexpr float kButtonWidth = 100.0f;      // the classic fixed button width
constexpr float kDefaultBoxWidth = 120.0f;  // a text field's box
constexpr float kMinBoxWidth = 60.0f;       // ... whatever its label
constexpr float kSpinnerBoxWidth = 48.0f;

// Sets the theme's style and colours on the current ImGui context, its
// sizes at the desktop's scale.
void apply();

// An etched rectangle, corners a and b: a dark line with a light one
// beside it.
void draw_etched_rect(ImDrawList* dl, ImVec2 a, ImVec2 b);
// An etched horizontal line from x0 to x1, its dark line at y.
void draw_etched_line(ImDrawList* dl, float x0, float x1, float y);

// A warning sign of side `side` with its top-left corner at `at`: a
// triangle holding "!", which says "error" by its shape as well as by its
// colour.
void draw_warning_sign(ImDrawList* dl, ImVec2 at, float side);

}  // namespace glui_theme
