// Opening and closing the show's window, kept in the Demo record: display
// mode (with fallbacks when 120 Hz is refused), pixel format, compatibility
// GL context, GL version and extension table (gl/gl_window.h), then show,
// focus, hidden cursor, projection and swap interval. Closing undoes it all
// and is safe to call twice. The window procedure turns a close request
// into a quit message for the main loop and fits the view to every new
// drawable size; the switch between fullscreen and a window is here for the
// viewer's keys (app/controls.h). Main thread only.
#pragma once

struct Demo;
struct Message;

// Brings up the display the show's windows are made on (the video
// subsystem, with the show's window class); false, with the reason on
// stderr, when there is none. A show that will open a window calls it
// before anything asks about the desktop: on an X server, a query with the
// video down connects and disconnects, and a server that resets when its
// last client leaves can drop the connection made for the window right
// after. Done by createGlWindow when not done before; destroyGlWindow ends it.
bool openDisplay();
// The whole opening sequence; false (with a message on stderr) on failure.
bool openWindow(Demo& demo);
// Window, mode change, pixel format, context, version, extensions.
bool createGlWindow(Demo& demo, int width, int height, bool fullscreen, int bits);
// Releases what createGlWindow made; safe to call twice.
bool destroyGlWindow(Demo& demo);
// The window procedure: a close request posts quit; a new drawable size
// resets viewport and projection.
void windowProc(Demo& demo, const Message& message);
// Switches between fullscreen and a window (cursor hidden only fullscreen).
void toggleFullscreen(Demo& demo);
