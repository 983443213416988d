// The desktop's default application for a file, found by the freedesktop
// rules (mimeapps.list in the config and data folders, then defaults.list and
// mimeinfo.cache), the answer `xdg-mime query default` gives, and started in
// a process group of its own so that its end can be watched.
#pragma once

#include <QString>
#include <QStringList>

class QProcess;

// The desktop entry id ("org.gnome.gedit.desktop") for the MIME type; empty when none.
QString DefaultApplication(const QString& mimeType);
// The full path of a desktop entry id in the data folders; empty when missing.
QString DesktopEntryPath(const QString& desktopId);
// The command line of the entry's Exec key for file: field codes %f %F %u %U
// replaced by the file (a path or file URL), %i %c %k dropped, %% kept as %;
// the file appended when no code names it. Empty when the entry has no Exec.
QStringList DesktopEntryCommand(const QString& entryPath, const QString& file);

// The desktop's terminal with the options after which it takes the command to
// run (and keeps running until it ends): $TERMINAL, x-terminal-emulator (with
// the options of the known terminal it links to), then the terminals of the
// known desktops (the current desktop's first). Empty when none is installed.
QStringList TerminalCommand();

// The command that opens file: the Exec line of the default application for
// its MIME type (from name and content, then the parent types), inside the
// desktop's terminal when the entry says Terminal=true; else xdg-open.
// Empty when the entry needs a terminal and there is none.
QStringList OpenFileCommand(const QString& file);

// A program started in a session and process group of its own, so it is no
// part of ours: it outlives the window and the process that started it, and
// it can be ended together with every process it started (a shell wrapper's
// editor, say). Destroying this object leaves the program running.
class KELExternalProgram {
public:
    KELExternalProgram() = default;
    KELExternalProgram(const KELExternalProgram&) = delete;
    KELExternalProgram& operator=(const KELExternalProgram&) = delete;
    ~KELExternalProgram();

    // Starts command (program and arguments) in folder; false when it could not be started.
    bool Start(const QStringList& command, const QString& folder);
    // True while the started process or any process left in its group runs.
    bool Running();
    // Ends the whole group: SIGTERM, then SIGKILL for what still runs after a moment.
    void EndGroup();

private:
    QProcess* process_ = nullptr;
    qint64 group_ = 0;
};
