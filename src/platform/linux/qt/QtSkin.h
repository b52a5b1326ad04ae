#pragma once
// The twice-size skin for the Qt window, from its run-format resource
// (platform/SkinRuns.h). Decoding takes a few milliseconds, so the window
// may decode it for each paint instead of keeping millions of pixels.

#include <QImage>
#include <QString>

namespace ldt {

// The picture held in run format at `path` (a file or a ":/" resource) as
// an RGB32 image of device pixel ratio 2; null when it cannot be read.
QImage LoadSkinRuns(const QString& path);

}  // namespace ldt
