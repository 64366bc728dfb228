// The main window's motion callback: while the left button is held over
// the canvas, every motion event scatters a burst of strokes around the
// cursor. It first brings the source image up to date when a capture is
// pending. The strokes show at the next frame (the idle work redisplays a
// changed canvas); a motion that paints nothing posts a redisplay itself.
#pragma once

void motion_cb(int x, int y);
