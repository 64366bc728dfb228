// Keeps the GL driver's libraries loaded until the process ends, so that
// the leak checker of the sanitizer build can name them in its reports
// (the driver is unloaded at exit otherwise, and its allocations then show
// as coming from an unknown module that no suppression can match). Call
// once a GL context exists.
#pragma once

void pin_gl_driver();
