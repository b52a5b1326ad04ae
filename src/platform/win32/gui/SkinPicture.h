#pragma once
// The skin at scales above 100 %: a PNG resource drawn at twice the size,
// decoded with WIC and filtered down (or up) to the size the scale needs.
// The filter is our own, an area average, because WIC's scaler may pick the
// nearest pixel whatever interpolation is asked.

#include <windows.h>

#include "platform/win32/gui/Gdi.h"

#include <cstdint>
#include <vector>

namespace ldt::gui {

// A 24-bit picture, rows top first, each `stride` bytes (a multiple of 4).
struct Pixels {
    int width = 0, height = 0, stride = 0;
    std::vector<std::uint8_t> bytes;
};

// `source` resampled to width x height (both > 0): each new pixel is the
// mean of the part of the source it covers, weighted by the area covered.
// At the source's own size it is a copy.
Pixels AreaResample(const Pixels& source, int width, int height);

// Decodes the PNG held as RT_RCDATA resource `id` of `module` into 24-bit
// BGR. Empty (width 0) when the resource or the decoding fails. COM must be
// initialised on the calling thread.
Pixels DecodePngResource(HINSTANCE module, UINT id);

// A bitmap compatible with the screen holding `pixels`; null on failure.
Bitmap MakeBitmap(const Pixels& pixels);

// The skin for a scale above 100 %: the twice-size picture held as resource
// `id` of `module`, filtered to width x height. Null when the picture cannot
// be had (the caller then falls back to the 100 % bitmap).
Bitmap ScaledSkin(HINSTANCE module, UINT id, int width, int height);

}  // namespace ldt::gui
