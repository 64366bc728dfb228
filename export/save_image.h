// Save Image: reads the canvas as shown (the front buffer) and writes it
// as a TGA file to the path in the Image Filename field, as typed. A photo
// of that name is kept beside it first (write_tga_keeping in
// export/tga.h), which one line on standard output reports.
#pragma once

// Whether the canvas was saved; every failure has been reported.
bool save_image();
