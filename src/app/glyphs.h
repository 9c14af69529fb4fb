// The glyphs of the start/stop button: image 0 start, image 1 stop.
#pragma once

#include <QIcon>

namespace termload {

inline constexpr int kGlyphStart = 0;
inline constexpr int kGlyphStop = 1;
inline constexpr int kGlyphSize = 20;

// Image `index` of the button's image list; an unknown index gives an empty icon.
QIcon ButtonGlyph(int index);

}  // namespace termload
