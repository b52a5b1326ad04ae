#include "platform/win32/gui/SkinPicture.h"

#include "platform/win32/gui/ComPtr.h"

#include <wincodec.h>

#include <algorithm>
#include <cmath>

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

}  // namespace

Pixels AreaResample(const Pixels& source, int width, int height) {
    if (width == source.width && height == source.height) return source;
    const Taps across = Coverage(source.width, width, kAcrossOne);
    const Taps down = Coverage(source.height, height, kDownOne);
    Pixels result{width, height, Stride(width), {}};
    result.bytes.assign(static_cast<std::size_t>(result.stride) * height, 0);
    // Row by row: the source rows a new row covers, weighted into one row,
    // then across. Integers throughout: x87 floating point is slow here.
    std::vector<std::uint32_t> row(static_cast<std::size_t>(source.width) * 3);
    for (int y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0u);
        for (int k = 0; k < down.count[y]; ++k) {
            const std::uint32_t w = down.weight[down.offset[y] + k];
            const std::uint8_t* in = source.bytes.data() + static_cast<std::size_t>(down.first[y] + k) * source.stride;
            for (std::size_t i = 0; i < row.size(); ++i) row[i] += w * in[i];
        }
        std::uint8_t* out = result.bytes.data() + static_cast<std::size_t>(y) * result.stride;
        for (int x = 0; x < width; ++x) {
            std::uint32_t c[3] = {0, 0, 0};
            const std::uint32_t* weights = &across.weight[across.offset[x]];
            const std::uint32_t* p = &row[static_cast<std::size_t>(across.first[x]) * 3];
            for (int k = 0; k < across.count[x]; ++k, p += 3)
                for (int i = 0; i < 3; ++i) c[i] += weights[k] * p[i];
            for (int i = 0; i < 3; ++i) out[x * 3 + i] = static_cast<std::uint8_t>((c[i] + (1u << (kShift - 1))) >> kShift);
        }
    }
    return result;
}

Pixels DecodePngResource(HINSTANCE module, UINT id) {
    HRSRC found = FindResourceW(module, MAKEINTRESOURCEW(id), MAKEINTRESOURCEW(10));  // RT_RCDATA
    HGLOBAL loaded = found ? LoadResource(module, found) : nullptr;
    auto* data = static_cast<BYTE*>(loaded ? LockResource(loaded) : nullptr);
    if (!data) return {};
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                                reinterpret_cast<void**>(factory.Put()))) ||
        FAILED(factory->CreateStream(stream.Put())) ||
        FAILED(stream->InitializeFromMemory(data, SizeofResource(module, found))) ||
        FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                decoder.Put())) ||
        FAILED(decoder->GetFrame(0, frame.Put())) || FAILED(factory->CreateFormatConverter(converter.Put())) ||
        FAILED(converter->Initialize(frame.Get(), GUID_WICPixelFormat24bppBGR, WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)))
        return {};
    UINT w = 0, h = 0;
    if (FAILED(converter->GetSize(&w, &h)) || w == 0 || h == 0 || w > 16384 || h > 16384) return {};
    Pixels p{static_cast<int>(w), static_cast<int>(h), Stride(static_cast<int>(w)), {}};
    p.bytes.resize(static_cast<std::size_t>(p.stride) * h);
    if (FAILED(converter->CopyPixels(nullptr, p.stride, static_cast<UINT>(p.bytes.size()), p.bytes.data()))) return {};
    return p;
}

Bitmap MakeBitmap(const Pixels& pixels) {
    if (pixels.width <= 0 || pixels.height <= 0) return Bitmap();
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = pixels.width;
    info.bmiHeader.biHeight = -pixels.height;  // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 24;
    info.bmiHeader.biCompression = BI_RGB;
    // In the screen's own format, so that each paint's copy converts nothing.
    HDC screen = GetDC(nullptr);
    Bitmap bitmap(CreateCompatibleBitmap(screen, pixels.width, pixels.height));
    if (bitmap && !SetDIBits(screen, bitmap.Get(), 0, static_cast<UINT>(pixels.height), pixels.bytes.data(), &info,
                             DIB_RGB_COLORS))
        bitmap.Reset();
    ReleaseDC(nullptr, screen);
    return bitmap;
}

Bitmap ScaledSkin(HINSTANCE module, UINT id, int width, int height) {
    const Pixels source = DecodePngResource(module, id);
    if (source.width == 0) return Bitmap();
    return MakeBitmap(AreaResample(source, width, height));
}

}  // namespace ldt::gui
