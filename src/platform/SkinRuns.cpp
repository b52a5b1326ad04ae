#include "platform/SkinRuns.h"

#include <algorithm>
#include <cstring>

namespace ldt {

namespace {

constexpr std::size_t kHeaderBytes = 10;
// Larger sides are refused: a 32-bit program could not even count the
// bytes of such a picture.
constexpr int kMaxSide = 16384;

unsigned U16(const std::uint8_t* p) { return p[0] | p[1] << 8; }

}  // namespace

bool SkinRunsSize(const std::uint8_t* data, std::size_t size, int& width, int& height) {
    if (size < kHeaderBytes || std::memcmp(data, "SKR1", 4) != 0) return false;
    width = static_cast<int>(U16(data + 4));
    height = static_cast<int>(U16(data + 6));
    return width > 0 && height > 0 && width <= kMaxSide && height <= kMaxSide;
}

bool DecodeSkinRuns(const std::uint8_t* data, std::size_t size, std::uint8_t* out, int pixelBytes,
                    std::size_t stride) {
    int w = 0, h = 0;
    if (!SkinRunsSize(data, size, w, h) || (pixelBytes != 3 && pixelBytes != 4)) return false;
    const std::uint8_t* const end = data + size;
    const std::size_t colours = U16(data + 8);
    data += kHeaderBytes;
    if (static_cast<std::size_t>(end - data) < colours * 3) return false;
    const std::uint8_t* const palette = data;
    data += colours * 3;

    const std::size_t px = static_cast<std::size_t>(pixelBytes), rowBytes = static_cast<std::size_t>(w) * px;
    std::size_t left = static_cast<std::size_t>(w) * h;  // pixels still to come
    std::size_t x = 0;                                   // bytes written in the current row
    std::uint8_t* row = out;
    bool firstRow = true;
    // Writes `count` pixels of colour `from`, or copies them from the row
    // above when `from` is null, moving on to the next row at each row end.
    auto put = [&](const std::uint8_t* from, std::size_t count) {
        while (count) {
            const std::size_t n = std::min(count, (rowBytes - x) / px);
            std::uint8_t* to = row + x;
            if (!from) {
                std::memcpy(to, to - stride, n * px);
            } else {
                for (std::size_t i = 0; i < n; ++i, to += px) {
                    std::memcpy(to, from, 3);
                    if (px == 4) to[3] = 0xFF;
                }
            }
            x += n * px;
            count -= n;
            if (x == rowBytes) {
                row += stride;
                x = 0;
                firstRow = false;
            }
        }
    };
    while (left) {
        if (end - data < 2) return false;
        const unsigned token = U16(data);
        data += 2;
        const unsigned kind = token >> 13, value = token & 0x1FFF;
        std::size_t count = kind == 7 ? value + 1 : kind + 1;
        if (kind == 6) {
            if (end - data < 2) return false;
            count = 7 + U16(data);
            data += 2;
        }
        if (count > left) return false;
        if (kind == 7) {
            // A run may reach past the first row only where it started below it.
            if (firstRow) return false;
            put(nullptr, count);
        } else {
            if (value >= colours) return false;
            put(palette + value * 3, count);
        }
        left -= count;
    }
    return data == end;
}

}  // namespace ldt
