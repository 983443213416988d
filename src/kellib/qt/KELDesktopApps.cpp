#include "kellib/qt/KELDesktopApps.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QStandardPaths>
#include <QTextStream>
#include <QThread>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <unistd.h>

namespace {

QStringList EnvDirs(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    QStringList dirs = (value.isEmpty() ? fallback : value).split(QLatin1Char(':'), Qt::SkipEmptyParts);
    return dirs;
}

QString EnvDir(const char* name, const QString& fallback) {
    const QString value = qEnvironmentVariable(name);
    return value.isEmpty() ? QDir::homePath() + fallback : value;
}

QStringList DataDirs() {
    QStringList dirs{EnvDir("XDG_DATA_HOME", QStringLiteral("/.local/share"))};
    dirs += EnvDirs("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share"));
    return dirs;
}

// The mimeapps.list files in the order of precedence.
QStringList MimeAppsLists() {
    QStringList configDirs{EnvDir("XDG_CONFIG_HOME", QStringLiteral("/.config"))};
    configDirs += EnvDirs("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    QStringList desktops = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower().split(QLatin1Char(':'), Qt::SkipEmptyParts);
    QStringList files;
    for (const QString& dir : configDirs) {
        for (const QString& desktop : desktops) files << dir + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
        files << dir + QStringLiteral("/mimeapps.list");
    }
    for (const QString& dir : DataDirs()) {
        for (const QString& desktop : desktops)
            files << dir + QStringLiteral("/applications/") + desktop + QStringLiteral("-mimeapps.list");
        files << dir + QStringLiteral("/applications/mimeapps.list");
    }
    return files;
}

// The ";"-separated value of key in section of an ini-style file.
QStringList IniList(const QString& path, const QString& section, const QString& key) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
    QTextStream in(&file);
    bool inSection = false;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inSection = line == QLatin1Char('[') + section + QLatin1Char(']');
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (inSection && eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed().split(QLatin1Char(';'), Qt::SkipEmptyParts);
    }
    return {};
}

QString FirstInstalled(const QStringList& ids) {
    for (const QString& id : ids)
        if (!DesktopEntryPath(id).isEmpty()) return id;
    return {};
}

// Splits an Exec value by the desktop-entry quoting rules.
QStringList SplitExec(const QString& exec) {
    QStringList args;
    QString current;
    bool quoted = false, started = false;
    for (int i = 0; i < exec.size(); ++i) {
        const QChar c = exec[i];
        if (quoted && c == QLatin1Char('\\') && i + 1 < exec.size()) {
            current += exec[++i];
        } else if (c == QLatin1Char('"')) {
            quoted = !quoted;
            started = true;
        } else if (!quoted && c.isSpace()) {
            if (started || !current.isEmpty()) args << current;
            current.clear();
            started = false;
        } else {
            current += c;
        }
    }
    if (started || !current.isEmpty()) args << current;
    return args;
}

// One argument with its field codes expanded; nameUsed is set when it took the file.
QString ExpandArg(const QString& arg, const QString& path, const QString& url, bool& nameUsed) {
    if (arg == QLatin1String("%F") || arg == QLatin1String("%f")) return nameUsed = true, path;
    if (arg == QLatin1String("%U") || arg == QLatin1String("%u")) return nameUsed = true, url;
    QString out;
    for (int i = 0; i < arg.size(); ++i) {
        if (arg[i] != QLatin1Char('%') || i + 1 == arg.size()) {
            out += arg[i];
            continue;
        }
        const QChar code = arg[++i];
        if (code == QLatin1Char('%')) out += code;
        else if (code == QLatin1Char('f') || code == QLatin1Char('F')) out += path, nameUsed = true;
        else if (code == QLatin1Char('u') || code == QLatin1Char('U')) out += url, nameUsed = true;
    }
    return out;
}

}  // namespace

QString DefaultApplication(const QString& mimeType) {
    for (const QString& list : MimeAppsLists()) {
        const QString id = FirstInstalled(IniList(list, QStringLiteral("Default Applications"), mimeType));
        if (!id.isEmpty()) return id;
    }
    // Then, folder by folder, the first entry of defaults.list or mimeinfo.cache.
    for (const QString& dir : DataDirs()) {
        const QStringList defaults =
            IniList(dir + QStringLiteral("/applications/defaults.list"), QStringLiteral("Default Applications"), mimeType);
        if (!defaults.isEmpty()) return defaults.first();
        const QStringList cached =
            IniList(dir + QStringLiteral("/applications/mimeinfo.cache"), QStringLiteral("MIME Cache"), mimeType);
        if (!cached.isEmpty()) return cached.first();
    }
    // Last, the installed entry naming the type with the highest InitialPreference.
    QString best;
    int preference = -1;
    for (const QString& dir : DataDirs()) {
        const QDir applications(dir + QStringLiteral("/applications"));
        for (const QString& name : applications.entryList({QStringLiteral("*.desktop")}, QDir::Files, QDir::Name)) {
            const QString path = applications.filePath(name);
            if (!IniList(path, QStringLiteral("Desktop Entry"), QStringLiteral("MimeType")).contains(mimeType)) continue;
            const QStringList pref = IniList(path, QStringLiteral("Desktop Entry"), QStringLiteral("InitialPreference"));
            const int value = pref.isEmpty() ? 0 : pref.first().toInt();
            if (value > preference) {
                preference = value;
                best = name;
            }
        }
    }
    return best;
}

QString DesktopEntryPath(const QString& desktopId) {
    if (!desktopId.endsWith(QLatin1String(".desktop")) || desktopId.contains(QLatin1Char('/'))) return {};
    for (const QString& dir : DataDirs()) {
        QString candidate = dir + QStringLiteral("/applications/") + desktopId;
        if (QFileInfo(candidate).isFile()) return candidate;
        // "vendor-app.desktop" may live in applications/vendor/app.desktop.
        candidate = dir + QStringLiteral("/applications/") + QString(desktopId).replace(QLatin1Char('-'), QLatin1Char('/'));
        if (QFileInfo(candidate).isFile()) return candidate;
    }
    return {};
}

QStringList DesktopEntryCommand(const QString& entryPath, const QString& file) {
    const QStringList exec = IniList(entryPath, QStringLiteral("Desktop Entry"), QStringLiteral("Exec"));
    if (exec.isEmpty()) return {};
    const QString url = QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded);
    bool nameUsed = false;
    QStringList command;
    for (const QString& arg : SplitExec(exec.join(QLatin1Char(';')))) {
        const QString expanded = ExpandArg(arg, file, url, nameUsed);
        if (!expanded.isEmpty() || !arg.startsWith(QLatin1Char('%'))) command << expanded;
    }
    if (!nameUsed) command << file;
    return command;
}

QStringList TerminalCommand() {
    const QString own = qEnvironmentVariable("TERMINAL");
    if (!own.isEmpty() && !QStandardPaths::findExecutable(own).isEmpty()) return {own, QStringLiteral("-e")};
    struct Known {
        const char* desktop;   // in XDG_CURRENT_DESKTOP, lower case
        QStringList command;   // the program and its options before the command
    };
    const Known known[] = {
        {"", {QStringLiteral("x-terminal-emulator"), QStringLiteral("-e")}},
        {"gnome", {QStringLiteral("gnome-terminal"), QStringLiteral("--wait"), QStringLiteral("--")}},
        {"kde", {QStringLiteral("konsole"), QStringLiteral("--nofork"), QStringLiteral("-e")}},
        {"xfce", {QStringLiteral("xfce4-terminal"), QStringLiteral("--disable-server"), QStringLiteral("-x")}},
        {"mate", {QStringLiteral("mate-terminal"), QStringLiteral("--disable-factory"), QStringLiteral("-x")}},
        {"", {QStringLiteral("xterm"), QStringLiteral("-e")}},
    };
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP").toLower();
    auto installed = [](const Known& t) { return !QStandardPaths::findExecutable(t.command.first()).isEmpty(); };
    // The system's choice first, then the current desktop's own, then any.
    // A choice that is a known terminal gets that one's options, which keep
    // it running until the command ends (gnome-terminal returns at once without --wait).
    if (const QString chosen = QStandardPaths::findExecutable(known[0].command.first()); !chosen.isEmpty()) {
        const QString target = QFileInfo(chosen).canonicalFilePath().section(QLatin1Char('/'), -1);
        for (const Known& t : known)
            if (*t.desktop && target.startsWith(t.command.first()) && installed(t)) return t.command;
        return known[0].command;
    }
    for (const Known& t : known)
        if (*t.desktop && desktop.contains(QLatin1String(t.desktop)) && installed(t)) return t.command;
    for (const Known& t : known)
        if (installed(t)) return t.command;
    return {};
}

QStringList OpenFileCommand(const QString& file) {
    QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(file);
    QStringList candidates{type.name()};
    candidates += type.allAncestors();
    for (const QString& name : candidates) {
        const QString entry = DesktopEntryPath(DefaultApplication(name));
        const QStringList command = entry.isEmpty() ? QStringList() : DesktopEntryCommand(entry, file);
        if (command.isEmpty()) continue;
        const QStringList terminal = IniList(entry, QStringLiteral("Desktop Entry"), QStringLiteral("Terminal"));
        if (terminal.value(0) != QLatin1String("true")) return command;
        const QStringList inTerminal = TerminalCommand();
        return inTerminal.isEmpty() ? QStringList() : inTerminal + command;
    }
    return {QStringLiteral("xdg-open"), file};
}

KELExternalProgram::~KELExternalProgram() {
    if (!process_) return;
    if (process_->state() == QProcess::NotRunning) {
        delete process_;
        return;
    }
    // Left to run: the object goes when the program ends, and never kills it.
    QObject::connect(process_, &QProcess::finished, process_, &QObject::deleteLater);
}

bool KELExternalProgram::Start(const QStringList& command, const QString& folder) {
    if (process_ || command.isEmpty()) return false;
    auto* process = new QProcess;
    process->setProcessChannelMode(QProcess::ForwardedChannels);
    process->setStandardInputFile(QProcess::nullDevice());
    process->setWorkingDirectory(folder);
    // A session of its own: no signal meant for ours reaches it, and its
    // process group (id = its pid) holds everything it starts.
    process->setChildProcessModifier([] { setsid(); });
    process->start(command.first(), command.mid(1));
    if (!process->waitForStarted(5000)) {
        delete process;
        return false;
    }
    process_ = process;
    group_ = process->processId();
    return true;
}

bool KELExternalProgram::Running() {
    if (!process_) return false;
    if (process_->state() != QProcess::NotRunning) return true;
    return kill(pid_t(-group_), 0) == 0 || errno == EPERM;
}

void KELExternalProgram::EndGroup() {
    if (!process_) return;
    kill(pid_t(-group_), SIGTERM);
    for (int waited = 0; waited < 2000 && Running(); waited += 50) {
        if (process_->state() == QProcess::NotRunning) QThread::msleep(50);
        else process_->waitForFinished(50);
    }
    if (Running()) kill(pid_t(-group_), SIGKILL);
    process_->waitForFinished(2000);
}
