// The GLSL texts the show carries: the "PP" pair (terrain lit per pixel by a
// point light and faded into fog) and the "FAKEDOF" pair (particle sprites
// blended from a sharp to a blurred picture by distance from a focal plane),
// and "FAKEDOF_FAR", the sprite vertex stage with a fragment stage that reads
// only the blurred picture, for sprites wholly out of focus.
// The content set-up compiles them under these names.
#pragma once

extern const char* const PP_VERTEX_SOURCE;
extern const char* const PP_FRAGMENT_SOURCE;
extern const char* const FAKEDOF_VERTEX_SOURCE;
extern const char* const FAKEDOF_FRAGMENT_SOURCE;
extern const char* const FAKEDOF_FAR_FRAGMENT_SOURCE;
