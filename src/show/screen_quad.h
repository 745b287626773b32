// One quad over the whole viewport in the current colour, whatever the
// scene's projection: both matrices are replaced for the draw and put back.
// Culling and depth test are off while it draws and on afterwards; the
// modelview matrix is current at the end. The sky and the fades use it.
// Main thread, GL context current.
#pragma once

void drawScreenQuad();
