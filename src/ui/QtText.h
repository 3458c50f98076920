#pragma once
// Bytes of the engine and settings (std::string, UTF-8) to and from Qt's text.

#include <QString>
#include <string>

namespace pelmar {

inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
inline std::string S(const QString& text) {
  return text.toStdString();
}

}  // namespace pelmar
