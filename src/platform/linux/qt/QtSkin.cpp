#include "platform/linux/qt/QtSkin.h"

#include "platform/SkinRuns.h"

#include <QFile>

namespace ldt {

QImage LoadSkinRuns(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QImage();
    const QByteArray bytes = file.readAll();
    const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.constData());
    const auto size = static_cast<std::size_t>(bytes.size());
    int width = 0, height = 0;
    if (!SkinRunsSize(data, size, width, height)) return QImage();
    // RGB32 is B, G, R, 255 in memory on little-endian machines, the
    // decoder's four-byte layout.
    static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "RGB32 is stored B, G, R, 255 here");
    QImage image(width, height, QImage::Format_RGB32);
    if (image.isNull() ||
        !DecodeSkinRuns(data, size, image.bits(), 4, static_cast<std::size_t>(image.bytesPerLine())))
        return QImage();
    image.setDevicePixelRatio(2);
    return image;
}

}  // namespace ldt
