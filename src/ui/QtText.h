#pragma once
// Bytes of the engine and settings (std::string, UTF-8) to and from Qt's text.

#include <QDateTime>
#include <QString>
#include <string>

#include "platform/DateTime.h"

namespace pelmar {

inline QString Q(const std::string& text) {
  return QString::fromStdString(text);
}
inline std::string S(const QString& text) {
  return text.toStdString();
}

// Engine texts may carry their own line ends; a log shows plain lines.
inline QString LogLine(const QString& text) {
  QString line = text;
  line.remove(u'\r');
  while (line.endsWith(u'\n')) line.chop(1);
  while (line.startsWith(u'\n')) line.remove(0, 1);
  return line;
}

// A TDateTime (days since 1899-12-30, local time) as Qt's date and time, to the millisecond.
inline QDateTime ToDateTime(TDateTime value) {
  const qint64 days = static_cast<qint64>(value);
  const qint64 ms = static_cast<qint64>((value - static_cast<double>(days)) * 86400000.0 + 0.5);
  return QDateTime(QDate(1899, 12, 30).addDays(days), QTime(0, 0)).addMSecs(ms);
}

}  // namespace pelmar
