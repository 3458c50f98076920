#include "mainwindow/WindowState.h"

#include <QSettings>

namespace pelmar {
namespace {

int ReadInt(QSettings& settings, const QString& key, int fallback) {
  const QString text = settings.value(key).toString().trimmed();
  if (text.isEmpty()) return fallback;
  bool ok = false;
  const int value = text.startsWith(QStringLiteral("0x"), Qt::CaseInsensitive)
                        ? text.mid(2).toInt(&ok, 16)
                        : text.toInt(&ok, 10);
  return ok ? value : fallback;
}

QString SlotGroup(int slot) {
  return QString(QStringLiteral("Last Connections%1")).arg(slot);
}

}  // namespace

TWindowState ReadWindowState(QSettings& settings) {
  TWindowState state;
  settings.beginGroup("Windows/Main");
  state.Bounds = QRect(ReadInt(settings, QStringLiteral("Left"), state.Bounds.left()),
                       ReadInt(settings, QStringLiteral("Top"), state.Bounds.top()),
                       ReadInt(settings, QStringLiteral("Width"), state.Bounds.width()),
                       ReadInt(settings, QStringLiteral("Height"), state.Bounds.height()));
  const int shown = ReadInt(settings, QStringLiteral("State"), wsNormal);
  state.State =
      shown == wsMinimized || shown == wsMaximized ? static_cast<TShowState>(shown) : wsNormal;
  state.LocalViewStyle = ReadInt(settings, QStringLiteral("LocalViewStyle"), 2);
  state.HostViewStyle = ReadInt(settings, QStringLiteral("HostViewStyle"), 2);
  state.LogHeight = ReadInt(settings, QStringLiteral("LogHeight"), 97);
  state.LocalFolder = settings.value(QStringLiteral("LocalFolder")).toString();
  state.LocalColumns = settings.value(QStringLiteral("LocalColumns")).toByteArray();
  state.HostColumns = settings.value(QStringLiteral("HostColumns")).toByteArray();
  state.LocalSort = ReadInt(settings, QStringLiteral("LocalSort"), 1);
  state.HostSort = ReadInt(settings, QStringLiteral("HostSort"), 1);
  settings.endGroup();
  state.ToolBarMin = ReadInt(settings, QStringLiteral("Options/ToolBarMin"), 30);
  for (int slot = 1; slot <= 8; ++slot) {
    state.LastConnections[static_cast<size_t>(slot - 1)] =
        settings.value(SlotGroup(slot) + QStringLiteral("/Site")).toString();
  }
  // Styles outside 0..3 are not styles.
  if (state.LocalViewStyle < 0 || state.LocalViewStyle > 3) state.LocalViewStyle = 2;
  if (state.HostViewStyle < 0 || state.HostViewStyle > 3) state.HostViewStyle = 2;
  // Four columns to sort by, either way.
  for (int* sort : {&state.LocalSort, &state.HostSort}) {
    if (*sort == 0 || *sort < -4 || *sort > 4) *sort = 1;
  }
  return state;
}

void WriteWindowState(QSettings& settings, const TWindowState& state) {
  for (int slot = 1; slot <= 8; ++slot) {
    settings.setValue(SlotGroup(slot) + QStringLiteral("/Site"),
                      state.LastConnections[static_cast<size_t>(slot - 1)]);
  }
  settings.setValue("Options/ToolBarMin", QString::number(state.ToolBarMin));
  settings.beginGroup("Windows/Main");
  settings.setValue("State", QString::number(state.State));
  if (state.State == wsNormal) {
    settings.setValue("Left", QString::number(state.Bounds.left()));
    settings.setValue("Top", QString::number(state.Bounds.top()));
    settings.setValue("Width", QString::number(state.Bounds.width()));
    settings.setValue("Height", QString::number(state.Bounds.height()));
  }
  settings.setValue("LocalViewStyle", QString::number(state.LocalViewStyle));
  settings.setValue("HostViewStyle", QString::number(state.HostViewStyle));
  settings.setValue("LogHeight", QString::number(state.LogHeight));
  if (!state.LocalFolder.isEmpty()) settings.setValue("LocalFolder", state.LocalFolder);
  if (!state.LocalColumns.isEmpty()) settings.setValue("LocalColumns", state.LocalColumns);
  if (!state.HostColumns.isEmpty()) settings.setValue("HostColumns", state.HostColumns);
  settings.setValue("LocalSort", QString::number(state.LocalSort));
  settings.setValue("HostSort", QString::number(state.HostSort));
  settings.endGroup();
  settings.sync();
}

void AddLastConnection(std::array<QString, 8>& entries, const QString& name) {
  size_t found = entries.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] == name) {
      found = i;
      break;
    }
  }
  if (found == 0) return;
  const size_t last = found == entries.size() ? entries.size() - 1 : found;
  for (size_t i = last; i > 0; --i) entries[i] = entries[i - 1];
  entries[0] = name;
}

}  // namespace pelmar
