#pragma once

// Pictures for the documentation's screenshots, drawn here so that they can be made again
// on any machine: landscape photos and a logo to stamp on them.

#include <QImage>

// A landscape at golden hour or in daylight: sky with clouds and sun, mountain ridges
// fading into haze, a lake reflecting them, a meadow with fir trees. The same seed gives
// the same picture; different seeds vary light, ridges and trees.
QImage DrawLandscape(int width, int height, int seed);

// A white quill and the word "quillmark" with a soft dark edge, on a transparent ground
// (ARGB). The fully transparent pixels carry magenta, so the logo also works where only
// a key colour takes the ground out.
QImage DrawLogo(int width, int height);
