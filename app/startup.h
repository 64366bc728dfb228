// Start-up: opens the main window with its control panel and puts the
// canvas into its starting state, ready for glutMainLoop.
#pragma once

// Everything main does before it enters the GLUT main loop.
void start_daubwork();
