// The default application for a MIME type: the answer `xdg-mime query
// default` gives for the same folders, and the command an entry's Exec makes.
#include "kellib/qt/KELDesktopApps.h"
#include "FileHelpers.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString Entry(const char* exec)
{
    return QStringLiteral("[Desktop Entry]\nType=Application\nName=x\nExec=%1\n").arg(QLatin1String(exec));
}

}  // namespace

class TestDesktopApps : public QObject {
    Q_OBJECT
private slots:
    void agreesWithXdgMime()
    {
        const QString xdgMime = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
        if (xdgMime.isEmpty())
            QSKIP("xdg-mime is not installed");
        QTemporaryDir dir;
        const QString config = dir.path() + QStringLiteral("/config"), data = dir.path() + QStringLiteral("/data"),
                      system = dir.path() + QStringLiteral("/system");
        qputenv("XDG_CONFIG_HOME", config.toUtf8());
        qputenv("XDG_CONFIG_DIRS", (dir.path() + QStringLiteral("/etc")).toUtf8());
        qputenv("XDG_DATA_HOME", data.toUtf8());
        qputenv("XDG_DATA_DIRS", system.toUtf8());
        qunsetenv("XDG_CURRENT_DESKTOP");
        qunsetenv("DE");
        qputenv("KDE_FULL_SESSION", "");
        for (const char* id : {"user-editor.desktop", "viewer.desktop", "cached.desktop", "picky.desktop", "best.desktop"})
            Write(system + QStringLiteral("/applications/") + QLatin1String(id), Entry("true %f").toUtf8());
        Write(system + QStringLiteral("/applications/picky.desktop"),
              "[Desktop Entry]\nType=Application\nExec=true\nMimeType=image/x-only;\nInitialPreference=2\n");
        Write(system + QStringLiteral("/applications/best.desktop"),
              "[Desktop Entry]\nType=Application\nExec=true\nMimeType=image/x-only;\nInitialPreference=5\n");
        Write(config + QStringLiteral("/mimeapps.list"),
              "[Added Associations]\ntext/plain=viewer.desktop;\n[Default Applications]\n"
              "text/plain=user-editor.desktop;\ntext/csv=missing.desktop;user-editor.desktop;\n");
        Write(system + QStringLiteral("/applications/mimeapps.list"),
              "[Default Applications]\ntext/plain=viewer.desktop\ntext/html=viewer.desktop\n");
        Write(system + QStringLiteral("/applications/defaults.list"), "[Default Applications]\napplication/pdf=viewer.desktop\n");
        Write(system + QStringLiteral("/applications/mimeinfo.cache"),
              "[MIME Cache]\napplication/pdf=cached.desktop;\nimage/png=cached.desktop;viewer.desktop;\n");
        for (const char* type : {"text/plain", "text/html", "application/pdf", "image/png", "image/x-only", "audio/none"}) {
            QProcess query;
            query.start(xdgMime, {QStringLiteral("query"), QStringLiteral("default"), QLatin1String(type)});
            QVERIFY(query.waitForFinished(10000));
            const QString expected = QString::fromUtf8(query.readAllStandardOutput()).trimmed();
            QCOMPARE(DefaultApplication(QLatin1String(type)), expected);
        }
        QCOMPARE(DefaultApplication(QStringLiteral("text/plain")), QStringLiteral("user-editor.desktop"));
        // A list names the first installed entry (the desktop rule; xdg-utils
        // 1.1.3 looks at the first name only and would fall through).
        QCOMPARE(DefaultApplication(QStringLiteral("text/csv")), QStringLiteral("user-editor.desktop"));
    }

    void execLineBecomesACommand()
    {
        QTemporaryDir dir;
        const QString entry = dir.path() + QStringLiteral("/e.desktop");
        const QString file = QStringLiteral("/run/a b/文件.txt");
        struct Case {
            const char* exec;
            QStringList command;
        } cases[] = {
            {"editor %f", {QStringLiteral("editor"), file}},
            {"editor --new %U", {QStringLiteral("editor"), QStringLiteral("--new"),
                                 QUrl::fromLocalFile(file).toString(QUrl::FullyEncoded)}},
            {"\"/opt/my app/run\" %i %c --x=%%y", {QStringLiteral("/opt/my app/run"), QStringLiteral("--x=%y"), file}},
            {"sh -c \"cat \\\"$1\\\"\" sh %F", {QStringLiteral("sh"), QStringLiteral("-c"), QStringLiteral("cat \"$1\""),
                                                QStringLiteral("sh"), file}},
        };
        for (const Case& c : cases) {
            Write(entry, Entry(c.exec).toUtf8());
            QCOMPARE(DesktopEntryCommand(entry, file), c.command);
        }
        Write(entry, "[Desktop Entry]\nName=none\n");
        QVERIFY(DesktopEntryCommand(entry, file).isEmpty());
    }

    // $TERMINAL, then the system's choice, then the current desktop's own, then any.
    void terminalOfTheDesktop()
    {
        QTemporaryDir dir;
        const QByteArray path = qgetenv("PATH"), terminal = qgetenv("TERMINAL"), desktop = qgetenv("XDG_CURRENT_DESKTOP");
        auto install = [&dir](const char* name) {
            const QString file = dir.path() + QLatin1Char('/') + QLatin1String(name);
            Write(file, "#!/bin/sh\n");
            QFile::setPermissions(file, QFile::ReadOwner | QFile::ExeOwner);
        };
        qputenv("PATH", dir.path().toUtf8());
        qunsetenv("TERMINAL");
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        QVERIFY(TerminalCommand().isEmpty());
        install("xterm");
        QCOMPARE(TerminalCommand(), (QStringList{QStringLiteral("xterm"), QStringLiteral("-e")}));
        install("konsole");
        install("gnome-terminal");
        QCOMPARE(TerminalCommand(), (QStringList{QStringLiteral("gnome-terminal"), QStringLiteral("--wait"), QStringLiteral("--")}));
        qputenv("XDG_CURRENT_DESKTOP", "KDE");
        QCOMPARE(TerminalCommand().first(), QStringLiteral("konsole"));
        install("x-terminal-emulator");
        QCOMPARE(TerminalCommand(), (QStringList{QStringLiteral("x-terminal-emulator"), QStringLiteral("-e")}));
        // The system's choice linked to a known terminal: that one with its options.
        QFile::remove(dir.path() + QStringLiteral("/x-terminal-emulator"));
        install("gnome-terminal.wrapper");
        QFile::link(dir.path() + QStringLiteral("/gnome-terminal.wrapper"), dir.path() + QStringLiteral("/x-terminal-emulator"));
        QCOMPARE(TerminalCommand(), (QStringList{QStringLiteral("gnome-terminal"), QStringLiteral("--wait"), QStringLiteral("--")}));
        install("myterm");
        qputenv("TERMINAL", "myterm");
        QCOMPARE(TerminalCommand(), (QStringList{QStringLiteral("myterm"), QStringLiteral("-e")}));
        qputenv("PATH", path);
        qputenv("TERMINAL", terminal);
        qputenv("XDG_CURRENT_DESKTOP", desktop);
    }
};

QTEST_GUILESS_MAIN(TestDesktopApps)
#include "tst_desktopapps.moc"
