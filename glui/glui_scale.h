// The panel's scale on a high-density screen: the desktop's, as GTK and Qt
// programs take it, from the X resource Xft.dpi (which GNOME, KDE and Xfce
// set) divided by 96; 1 without it. At scale s every size of a panel (its
// fonts, rasterised at that size; rows, spacing, widths, arrows) is s
// times its size at 96 dpi; at 96 dpi nothing changes. The program's own
// drawing is not the toolkit's to scale.
#pragma once

// The scale that X resources in the server's RESOURCE_MANAGER form
// ("name: value" lines) give: Xft.dpi / 96, held within 0.5 to 4; 1 when
// they do not give a usable Xft.dpi, or are null.
float glui_scale_from_resources(const char* resources);

// The desktop's scale, asked of the X server that DISPLAY names the first
// time and kept: the resources do not change while the program runs. 1
// without a server.
float glui_desktop_scale();
