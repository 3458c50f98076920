#include "ui/DesktopPrograms.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>

namespace pelmar {
namespace {

constexpr int kQueryMs = 3000;  // xdg-mime is a shell script; a hung one must not hang us

// The desktop entry xdg-mime names for plain text ("org.gnome.TextEditor.desktop").
QString DefaultEntryForText() {
  const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
  if (query.isEmpty()) return {};
  QProcess process;
  process.start(query,
                {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/plain")});
  if (!process.waitForFinished(kQueryMs)) {
    process.kill();
    process.waitForFinished(kQueryMs);
    return {};
  }
  const QString entry = QString::fromLocal8Bit(process.readAllStandardOutput()).trimmed();
  // One entry id, nothing that could lead out of the applications folders.
  if (!entry.endsWith(QStringLiteral(".desktop")) || entry.contains(u'/')) return {};
  return entry;
}

// The entry's file in the applications folders; "kde4-kate.desktop" may live at
// "kde4/kate.desktop".
QString EntryFile(QString id) {
  for (;;) {
    const QString found = QStandardPaths::locate(QStandardPaths::ApplicationsLocation, id);
    if (!found.isEmpty()) return found;
    const qsizetype dash = id.indexOf(u'-');
    if (dash < 0) return {};
    id[dash] = u'/';
  }
}

// The Exec value of the entry's [Desktop Entry] group.
QString ExecLine(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
  QTextStream in(&file);
  bool mainGroup = false;
  while (!in.atEnd()) {
    const QString line = in.readLine().trimmed();
    if (line.startsWith(u'[')) {
      mainGroup = line == QStringLiteral("[Desktop Entry]");
      continue;
    }
    if (!mainGroup || !line.startsWith(QStringLiteral("Exec"))) continue;
    const QString rest = line.mid(4).trimmed();
    if (rest.startsWith(u'=')) return rest.mid(1).trimmed();
  }
  return {};
}

QString FindEditor() {
  if (const QString id = DefaultEntryForText(); !id.isEmpty()) {
    const QStringList command = ExecArguments(ExecLine(EntryFile(id)));
    if (!command.isEmpty() && ProgramProblem(command.first()).isEmpty()) {
      return JoinCommand(command);
    }
  }
  for (const char* known : {"gnome-text-editor", "gedit", "kate", "kwrite", "mousepad", "pluma",
                            "xed", "featherpad", "geany", "leafpad"}) {
    const QString name = QString::fromLatin1(known);
    if (!QStandardPaths::findExecutable(name).isEmpty()) return name;
  }
  return QStringLiteral("xdg-open");
}

}  // namespace

QString DesktopTextEditor() {
  static const QString editor = FindEditor();
  return editor;
}

QStringList ExecArguments(const QString& exec) {
  QStringList words;
  QString word;
  bool inWord = false;
  bool quoted = false;
  for (qsizetype i = 0; i < exec.size(); ++i) {
    const QChar c = exec[i];
    if (quoted) {
      if (c == u'\\' && i + 1 < exec.size()) {
        word += exec[++i];
      } else if (c == u'"') {
        quoted = false;
      } else {
        word += c;
      }
    } else if (c == u' ' || c == u'\t') {
      if (inWord) words << word;
      word.clear();
      inWord = false;
    } else {
      inWord = true;
      if (c == u'"') {
        quoted = true;
      } else {
        word += c;
      }
    }
  }
  if (inWord) words << word;

  QStringList arguments;
  for (const QString& raw : words) {
    if (raw.startsWith(QStringLiteral("@@"))) continue;  // flatpak's file-forwarding markers
    QString argument;
    bool code = false;  // the word held a field code: alone, it stands for the files
    for (qsizetype i = 0; i < raw.size(); ++i) {
      if (raw[i] != u'%' || i + 1 == raw.size()) {
        argument += raw[i];
      } else if (raw[++i] == u'%') {
        argument += u'%';
      } else {
        code = true;
      }
    }
    if (!argument.isEmpty() || !code) arguments << argument;
  }
  return arguments;
}

QString JoinCommand(const QStringList& arguments) {
  QStringList parts;
  for (const QString& argument : arguments) {
    const bool blank = argument.isEmpty() || argument.contains(u' ') || argument.contains(u'\t');
    parts << (blank ? u'"' + argument + u'"' : argument);
  }
  return parts.join(u' ');
}

QString ProgramProblem(const QString& program) {
  if (program.isEmpty()) return QStringLiteral("No program is chosen");
  if (!program.contains(u'/')) {
    return QStandardPaths::findExecutable(program).isEmpty() ? QStringLiteral("not found")
                                                             : QString();
  }
  const QFileInfo info(program);
  if (!info.exists()) return QStringLiteral("not found");
  if (info.isDir()) return QStringLiteral("is a folder");
  if (!info.isExecutable()) return QStringLiteral("is not executable");
  return {};
}

QString StartFailureText(const QString& program, const QString& reason, bool chosen) {
  const QString name = QFileInfo(program).fileName();
  QString advice;
  if (name == QStringLiteral("xdg-open") && reason == QStringLiteral("not found")) {
    advice = chosen ? QStringLiteral("install xdg-utils or choose a program in Preferences")
                    : QStringLiteral("install xdg-utils");
  } else if (chosen) {
    advice = QStringLiteral("choose a program in Preferences");
  }
  // Named as the preferences box shows it ("xdg-open" for "/usr/bin/xdg-open").
  const QString text = program.isEmpty() ? reason : name + QStringLiteral(": ") + reason;
  return advice.isEmpty() ? text : text + QStringLiteral("; ") + advice;
}

}  // namespace pelmar
