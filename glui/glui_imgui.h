// The toolkit's ties to Dear ImGui beyond its lasting interface: ImGui's
// internal state (imgui_internal.h, which promises no compatibility) and
// the calls that ImGui has since renamed or replaced. Every other toolkit
// file uses only imgui.h's stable calls, so an ImGui upgrade changes this
// file and its .cpp alone.
//
// Checked against Dear ImGui 1.86 (Debian 12's libimgui-dev). ImGui 1.87
// replaced io.KeysDown and io.KeyMap with io.AddKeyEvent, and writing
// io.MousePos and io.MouseWheel with io.AddMousePosEvent and
// io.AddMouseWheelEvent; 1.90 replaced PushButtonRepeat with
// PushItemFlag(ImGuiItemFlags_ButtonRepeat).
//
// All of these act on the current ImGui context.
#pragma once

namespace glui_imgui {

// The item the user is editing or holding down, 0 when none.
unsigned active_id();
// Ends the edit or hold of the active item, as a click elsewhere would.
void clear_active_id();
// Whether a frame of the current context has begun and not yet ended.
bool within_frame();

// Mouse button 0 (left), 1 (right) or 2 (middle) is held down.
bool mouse_down(int button);
// The wheel turned `steps` notches (up positive) with the pointer at (x, y).
void mouse_wheel(float x, float y, float steps);

// Keys as the GLUT backend numbers them: characters 0 .. 255, and GLUT's
// special keys 256 places after them.
constexpr int kSpecialKeyBase = 256;
bool key_down(int key);
void set_key_down(int key, bool down);
// The modifier keys held with the next input.
void set_modifiers(bool ctrl, bool shift, bool alt);

// Buttons built between these two repeat while held down.
void push_button_repeat();
void pop_button_repeat();

}  // namespace glui_imgui
