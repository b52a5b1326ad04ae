#pragma once
// The skin at twice the size, held in a run format of our own that decodes
// in a few milliseconds and packs smaller than the PNG it is made from
// (res/skin/pack-skin.py, at build time):
//   "SKR1", u16 width, u16 height, u16 colours, the colours as B, G, R,
//   then u16 tokens (all little-endian) covering the pixels row by row, top
//   first: top 3 bits 0-5, colour (low 13 bits) repeated 1-6 times; 6,
//   colour repeated 7 + the next u16 times; 7, the pixels straight above
//   repeated 1 + the low 13 bits times.

#include <cstddef>
#include <cstdint>

namespace ldt {

// The picture's size from its header; false when `data` is not one or a
// side is over 16384 pixels.
bool SkinRunsSize(const std::uint8_t* data, std::size_t size, int& width, int& height);

// Decodes into `out`: rows `stride` bytes apart, pixels of `pixelBytes`
// bytes, 3 (B, G, R) or 4 (B, G, R, 255). False, with `out` partly
// written, unless the data covers every pixel exactly, with colours that
// exist and no pixels above the first row.
bool DecodeSkinRuns(const std::uint8_t* data, std::size_t size, std::uint8_t* out, int pixelBytes,
                    std::size_t stride);

}  // namespace ldt
