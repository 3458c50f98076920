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

// Engine texts may carry their own line ends; a log shows plain lines. Other control
// characters from a server are shown as visible marks (U+2400 pictures for C0 and DEL,
// "\x9b" for C1), never acted on.
inline QString LogLine(const QString& text) {
  QString line = text;
  line.remove(u'\r');
  while (line.endsWith(u'\n')) line.chop(1);
  while (line.startsWith(u'\n')) line.remove(0, 1);
  QString shown;
  shown.reserve(line.size());
  for (const QChar c : line) {
    const char16_t code = c.unicode();
    if (code < 0x20 && code != u'\n') {
      shown += QChar(static_cast<char16_t>(0x2400 + code));
    } else if (code == 0x7F) {
      shown += QChar(u'\u2421');
    } else if (code >= 0x80 && code <= 0x9F) {
      shown += QStringLiteral("\\x") + QString::number(code, 16);
    } else {
      shown += c;
    }
  }
  return shown;
}

// A TDateTime (days since 1899-12-30, local time) as Qt's date and time, to the millisecond.
// The zero date means "not known" (a folder just made, a listing without dates): an invalid
// QDateTime, which lists show empty.
inline QDateTime ToDateTime(TDateTime value) {
  if (!(value > 0)) return {};
  const qint64 days = static_cast<qint64>(value);
  const qint64 ms = static_cast<qint64>((value - static_cast<double>(days)) * 86400000.0 + 0.5);
  return QDateTime(QDate(1899, 12, 30).addDays(days), QTime(0, 0)).addMSecs(ms);
}

// The reverse: Qt's local date and time as a TDateTime, 0 when not known.
inline TDateTime FromDateTime(const QDateTime& value) {
  if (!value.isValid()) return 0;
  const QDateTime local = value.toLocalTime();
  const double days = static_cast<double>(QDate(1899, 12, 30).daysTo(local.date()));
  return days + local.time().msecsSinceStartOfDay() / 86400000.0;
}

}  // namespace pelmar
