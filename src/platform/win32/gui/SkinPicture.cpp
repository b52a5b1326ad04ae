#include "platform/win32/gui/SkinPicture.h"

#include "platform/SkinRuns.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ldt::gui {

namespace {

int Stride(int width) { return (width * 3 + 3) / 4 * 4; }

// For each of `to` new pixels along one axis of `from` old ones: the old
// pixels it covers (count[i] from first[i]) and the share of each, in
// fixed point: weight[offset[i]] on, summing to exactly `one`.
struct Taps {
    std::vector<int> first, count;
    std::vector<std::size_t> offset;
    std::vector<std::uint32_t> weight;
};

Taps Coverage(int from, int to, std::uint32_t one) {
    Taps t;
    const double scale = static_cast<double>(from) / to;
    for (int d = 0; d < to; ++d) {
        const double a = d * scale, b = (d + 1) * scale;
        const int s0 = static_cast<int>(std::floor(a));
        const int s1 = std::max(s0 + 1, std::min(from, static_cast<int>(std::ceil(b))));
        t.first.push_back(s0);
        t.offset.push_back(t.weight.size());
        t.count.push_back(s1 - s0);
        std::uint32_t sum = 0;
        std::size_t largest = t.weight.size();
        for (int s = s0; s < s1; ++s) {
            const double share = (std::min(b, s + 1.0) - std::max(a, double(s))) / (b - a);
            t.weight.push_back(static_cast<std::uint32_t>(std::lround(share * one)));
            sum += t.weight.back();
            if (t.weight.back() > t.weight[largest]) largest = t.weight.size() - 1;
        }
        t.weight[largest] += one - sum;  // the rounding's remainder, so that the shares sum to one
    }
    return t;
}

// Fixed-point scales: a row of sums stays below 2^18, a pixel's below 2^30.
constexpr std::uint32_t kDownOne = 1u << 10, kAcrossOne = 1u << 12;
constexpr int kShift = 22;

// `source` resampled to width x height into `out`: pixels of `pixelBytes`
// bytes (B, G, R first), rows `stride` bytes apart.
void AreaResampleInto(const Pixels& source, int width, int height, std::uint8_t* out, int pixelBytes, int stride) {
    const Taps across = Coverage(source.width, width, kAcrossOne);
    const Taps down = Coverage(source.height, height, kDownOne);
    // Row by row: the source rows a new row covers, weighted into one row,
    // then across. Integers throughout: x87 floating point is slow here.
    std::vector<std::uint32_t> row(static_cast<std::size_t>(source.width) * 3);
    const std::size_t n = row.size();
    std::uint32_t* const sum = row.data();
    for (int y = 0; y < height; ++y) {
        // The first two source rows set the sums in one pass (two rows is
        // the common case), any further ones add to them.
        const std::uint32_t* w = &down.weight[down.offset[y]];
        const std::uint8_t* in = source.bytes.data() + static_cast<std::size_t>(down.first[y]) * source.stride;
        int k = 1;
        if (down.count[y] >= 2) {
            const std::uint8_t* next = in + source.stride;
            for (std::size_t i = 0; i < n; ++i) sum[i] = w[0] * in[i] + w[1] * next[i];
            k = 2;
        } else {
            for (std::size_t i = 0; i < n; ++i) sum[i] = w[0] * in[i];
        }
        for (; k < down.count[y]; ++k) {
            const std::uint8_t* a = in + static_cast<std::size_t>(k) * source.stride;
            for (std::size_t i = 0; i < n; ++i) sum[i] += w[k] * a[i];
        }
        std::uint8_t* to = out + static_cast<std::size_t>(y) * stride;
        constexpr std::uint32_t kHalf = 1u << (kShift - 1);
        for (int x = 0; x < width; ++x, to += pixelBytes) {
            const std::uint32_t* weights = &across.weight[across.offset[x]];
            const std::uint32_t* p = &row[static_cast<std::size_t>(across.first[x]) * 3];
            std::uint32_t b = kHalf + weights[0] * p[0], g = kHalf + weights[0] * p[1], r = kHalf + weights[0] * p[2];
            // Two taps is the common case (any scale between 100 and 200 %).
            for (int k = 1; k < across.count[x]; ++k) {
                p += 3;
                b += weights[k] * p[0];
                g += weights[k] * p[1];
                r += weights[k] * p[2];
            }
            to[0] = static_cast<std::uint8_t>(b >> kShift);
            to[1] = static_cast<std::uint8_t>(g >> kShift);
            to[2] = static_cast<std::uint8_t>(r >> kShift);
        }
    }
}

}  // namespace

const std::uint8_t* ResourceBytes(HINSTANCE module, UINT id, LPCWSTR type, std::size_t& size) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), type);
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    const auto* data = static_cast<const std::uint8_t*>(loaded ? LockResource(loaded) : nullptr);
    size = data ? SizeofResource(module, found) : 0;
    return data;
}

StoredDib DibOf(const std::uint8_t* bytes, std::size_t size) {
    if (!bytes || size < sizeof(BITMAPINFOHEADER)) return {};
    const auto* info = reinterpret_cast<const BITMAPINFO*>(bytes);
    const BITMAPINFOHEADER& h = info->bmiHeader;
    const long long rows = h.biHeight < 0 ? -static_cast<long long>(h.biHeight) : h.biHeight;
    const bool plain = h.biCompression == BI_RGB || h.biCompression == BI_BITFIELDS;
    if (!plain || h.biWidth <= 0 || h.biWidth > 0x7FFF || rows == 0 || rows > 0x7FFF || h.biBitCount == 0 ||
        h.biBitCount > 32)
        return {};
    unsigned long long colours = h.biClrUsed ? h.biClrUsed : h.biBitCount <= 8 ? 1u << h.biBitCount : 0;
    if (h.biSize == sizeof(BITMAPINFOHEADER) && h.biCompression == BI_BITFIELDS) colours = 3;
    const unsigned long long header = h.biSize + colours * sizeof(RGBQUAD);
    const unsigned long long stride = (static_cast<unsigned long long>(h.biWidth) * h.biBitCount + 31) / 32 * 4;
    if (header > size || stride * static_cast<unsigned long long>(rows) > size - header) return {};
    return {info, bytes + header, static_cast<int>(rows)};
}

Pixels AreaResample(const Pixels& source, int width, int height) {
    if (width == source.width && height == source.height) return source;
    Pixels result{width, height, Stride(width), {}};
    result.bytes.assign(static_cast<std::size_t>(result.stride) * height, 0);
    AreaResampleInto(source, width, height, result.bytes.data(), 3, result.stride);
    return result;
}

Pixels DecodeSkinRuns(const std::uint8_t* data, std::size_t size) {
    Pixels p;
    if (!SkinRunsSize(data, size, p.width, p.height)) return {};
    p.stride = Stride(p.width);
    p.bytes.assign(static_cast<std::size_t>(p.stride) * p.height, 0);
    if (!ldt::DecodeSkinRuns(data, size, p.bytes.data(), 3, static_cast<std::size_t>(p.stride))) return {};
    return p;
}

Pixels DecodeSkinRunsResource(HINSTANCE module, UINT id) {
    std::size_t size = 0;
    const std::uint8_t* data = ResourceBytes(module, id, RT_RCDATA, size);
    return data ? DecodeSkinRuns(data, size) : Pixels();
}

Bitmap ScaledSkin(HINSTANCE module, UINT id, int width, int height) {
    std::size_t size = 0;
    const std::uint8_t* data = ResourceBytes(module, id, RT_RCDATA, size);
    int sourceWidth = 0, sourceHeight = 0;
    if (!data || !SkinRunsSize(data, size, sourceWidth, sourceHeight) || width <= 0 || height <= 0) return Bitmap();
    // Decoded or filtered straight into a 32-bit section: no copy in
    // between, and a layout the screen takes without conversion at each paint.
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (!bitmap || !bits) return Bitmap();
    auto* out = static_cast<std::uint8_t*>(bits);
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    if (width == sourceWidth && height == sourceHeight) {
        if (!ldt::DecodeSkinRuns(data, size, out, 4, stride)) return Bitmap();
    } else {
        const Pixels source = DecodeSkinRuns(data, size);
        if (source.width == 0) return Bitmap();
        AreaResampleInto(source, width, height, out, 4, static_cast<int>(stride));
    }
    GdiFlush();
    return bitmap;
}

}  // namespace ldt::gui
