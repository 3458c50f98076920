#pragma once
// The desktop's programs as Pelmar starts them: the text editor the desktop opens text files
// with, command lines split into a program and its arguments, and why a program cannot start,
// said so that a person knows what to install or choose.

#include <QString>
#include <QStringList>

namespace pelmar {

// The desktop's editor for text files as a command line: `xdg-mime query default text/plain`
// names a desktop entry, whose Exec line gives the command (without its field codes). Without
// one, the first well-known editor on the PATH; without any, "xdg-open". Found once per run.
QString DesktopTextEditor();

// The arguments of a desktop entry's Exec value: quoting undone, field codes ("%U", "%f", ...)
// and flatpak's "@@" markers dropped, "%%" read as "%".
QStringList ExecArguments(const QString& exec);

// A command line as one text ("program args"), each part quoted where it has blanks.
QString JoinCommand(const QStringList& arguments);

// Why `program` cannot be started (a path, or a name looked up on the PATH): "not found",
// "is a folder", "is not executable"; empty when it can be.
QString ProgramProblem(const QString& program);

// What to tell a person whose program did not start: "xdg-open: not found; install xdg-utils
// or choose a program in Preferences". `chosen`: the program comes from the preferences.
QString StartFailureText(const QString& program, const QString& reason, bool chosen);

}  // namespace pelmar
