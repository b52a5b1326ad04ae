#include "platform/win32/gui/SkinPicture.h"

#include "platform/win32/gui/ComPtr.h"

#include <wincodec.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace ldt::gui {

namespace {

int Stride(int width) { return (width * 3 + 3) / 4 * 4; }

// For each of `to` new pixels along one axis of `from` old ones: the old
// pixels it covers and how much of each, summing to 1.
struct Taps {
    std::vector<int> first, count;
    std::vector<double> weight;  // count[i] weights from offset[i]
    std::vector<std::size_t> offset;
};

Taps Coverage(int from, int to) {
    Taps t;
    const double scale = static_cast<double>(from) / to;
    for (int d = 0; d < to; ++d) {
        const double a = d * scale, b = (d + 1) * scale;
        const int s0 = static_cast<int>(std::floor(a));
        const int s1 = std::min(from, static_cast<int>(std::ceil(b)));
        t.first.push_back(s0);
        t.offset.push_back(t.weight.size());
        int n = 0;
        for (int s = s0; s < s1; ++s, ++n) t.weight.push_back((std::min(b, s + 1.0) - std::max(a, double(s))) / (b - a));
        t.count.push_back(n);
    }
    return t;
}

}  // namespace

Pixels AreaResample(const Pixels& source, int width, int height) {
    const Taps across = Coverage(source.width, width), down = Coverage(source.height, height);
    // Across first, into one row of sums per source row.
    std::vector<double> rows(static_cast<std::size_t>(width) * 3 * source.height);
    for (int y = 0; y < source.height; ++y) {
        const std::uint8_t* in = source.bytes.data() + static_cast<std::size_t>(y) * source.stride;
        double* out = rows.data() + static_cast<std::size_t>(y) * width * 3;
        for (int x = 0; x < width; ++x) {
            double c[3] = {0, 0, 0};
            for (int k = 0; k < across.count[x]; ++k) {
                const double w = across.weight[across.offset[x] + k];
                const std::uint8_t* p = in + (across.first[x] + k) * 3;
                for (int i = 0; i < 3; ++i) c[i] += w * p[i];
            }
            std::copy(c, c + 3, out + x * 3);
        }
    }
    Pixels result{width, height, Stride(width), {}};
    result.bytes.assign(static_cast<std::size_t>(result.stride) * height, 0);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* out = result.bytes.data() + static_cast<std::size_t>(y) * result.stride;
        for (int x = 0; x < width * 3; ++x) {
            double v = 0;
            for (int k = 0; k < down.count[y]; ++k)
                v += down.weight[down.offset[y] + k] * rows[static_cast<std::size_t>(down.first[y] + k) * width * 3 + x];
            out[x] = static_cast<std::uint8_t>(std::clamp(v + 0.5, 0.0, 255.0));
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
    void* bits = nullptr;
    Bitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
    if (bitmap && bits) std::memcpy(bits, pixels.bytes.data(), pixels.bytes.size());
    return bitmap;
}

}  // namespace ldt::gui
