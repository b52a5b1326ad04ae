#pragma once
// UTF-16 text between the core's strings and QString.

#include "seams/CodePage.h"

#include <QString>

namespace ldt {

inline QString ToQString(const WString& text) {
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}
inline WString FromQString(const QString& text) { return text.toStdU16String(); }

}  // namespace ldt
