#pragma once
// The skin pictures as the executable holds them. At 100 %: a bitmap
// resource, drawn straight from its bytes. Above: a picture drawn at twice
// the size, held as a resource in the run format of platform/SkinRuns.h,
// which decodes in a few milliseconds without COM or a codec library, and
// filtered down (or up) to the size the scale needs with an area average.

#include <windows.h>

#include "platform/win32/gui/Gdi.h"

#include <cstdint>
#include <vector>

namespace ldt::gui {

// The bytes of resource `id` of `type` in `module`, in its mapped image;
// null (size 0) when it is missing.
const std::uint8_t* ResourceBytes(HINSTANCE module, UINT id, LPCWSTR type, std::size_t& size);

// A bitmap resource's bytes as the DIB they hold (header, colour table,
// pixels), for SetDIBitsToDevice.
struct StoredDib {
    const BITMAPINFO* info = nullptr;  // null: not a DIB whose pixels all fit in the bytes
    const std::uint8_t* bits = nullptr;
    int rows = 0;
};
StoredDib DibOf(const std::uint8_t* bytes, std::size_t size);

// A 24-bit picture, rows top first, each `stride` bytes (a multiple of 4).
struct Pixels {
    int width = 0, height = 0, stride = 0;
    std::vector<std::uint8_t> bytes;
};

// `source` resampled to width x height (both > 0): each new pixel is the
// mean of the part of the source it covers, weighted by the area covered.
// At the source's own size it is a copy.
Pixels AreaResample(const Pixels& source, int width, int height);

// Decodes a picture in the run format (platform/SkinRuns.h) into 24-bit
// BGR; empty (width 0) when the data is not a whole picture.
Pixels DecodeSkinRuns(const std::uint8_t* data, std::size_t size);

// DecodeSkinRuns of RT_RCDATA resource `id` of `module`; empty when the
// resource is missing.
Pixels DecodeSkinRunsResource(HINSTANCE module, UINT id);

// The skin for a scale above 100 %: the twice-size picture held as resource
// `id` of `module`, filtered to width x height, in a 32-bit DIB section.
// Null when the picture cannot be had (the caller then falls back to the
// 100 % bitmap).
Bitmap ScaledSkin(HINSTANCE module, UINT id, int width, int height);

}  // namespace ldt::gui
