// Save Image: reads the canvas as shown (the front buffer) and writes it
// as a TGA file to the path in the Image Filename field, as typed.
#pragma once

void save_image();
