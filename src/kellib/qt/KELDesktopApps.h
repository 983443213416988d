// The desktop's default application for a file, found by the freedesktop
// rules (mimeapps.list in the config and data folders, then defaults.list and
// mimeinfo.cache), the answer `xdg-mime query default` gives, and started as a
// child process so that its end can be watched.
#pragma once

#include <QString>
#include <QStringList>

class QObject;
class QProcess;

// The desktop entry id ("org.gnome.gedit.desktop") for the MIME type; empty when none.
QString DefaultApplication(const QString& mimeType);
// The full path of a desktop entry id in the data folders; empty when missing.
QString DesktopEntryPath(const QString& desktopId);
// The command line of the entry's Exec key for file: field codes %f %F %u %U
// replaced by the file (a path or file URL), %i %c %k dropped, %% kept as %;
// the file appended when no code names it. Empty when the entry has no Exec.
QStringList DesktopEntryCommand(const QString& entryPath, const QString& file);

// Starts the default application for file (MIME type from its name and
// content, then its parent types), falling back to xdg-open. The process is
// a child of parent; nullptr when nothing could be started.
QProcess* StartDefaultApplication(const QString& file, QObject* parent);
