#pragma once
// Data-set texts are code page 437; windows show and take UTF-8.
#include <QString>
#include <string>

#include "common/StrUtil.h"

inline QString FromData(const std::string& cp437) {
  return QString::fromStdString(Cp437ToUtf8(cp437));
}
inline std::string ToData(const QString& text) { return Utf8ToCp437(text.toStdString()); }
