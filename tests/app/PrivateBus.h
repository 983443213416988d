// A dbus-daemon of a test's own, without service activation, so nothing on
// it starts by itself (a keyring, a portal). Started before the application
// exists: the first use of the session or system bus connects to what the
// environment names.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <signal.h>
#include <stdio.h>
#include <stdlib.h>

class PrivateBus {
public:
    // Sets variable (DBUS_SESSION_BUS_ADDRESS, DBUS_SYSTEM_BUS_ADDRESS) to the
    // new bus; Address() is empty when no dbus-daemon could be started.
    explicit PrivateBus(const char* variable)
    {
        const QString config = dir_.path() + QStringLiteral("/bus.conf");
        QFile file(config);
        if (!file.open(QIODevice::WriteOnly) || file.write(kConfig) < 0)
            return;
        file.close();
        const QByteArray command = "dbus-daemon --fork --print-address=1 --print-pid=1 --config-file="
                                   + QFile::encodeName(config) + " 2>/dev/null";
        FILE* out = popen(command.constData(), "r");
        if (!out)
            return;
        char line[512];
        if (fgets(line, sizeof line, out))
            address_ = QString::fromUtf8(line).trimmed();
        if (fgets(line, sizeof line, out))
            pid_ = atol(line);
        pclose(out);
        if (!address_.isEmpty())
            qputenv(variable, address_.toUtf8());
    }
    ~PrivateBus()
    {
        if (pid_ > 0)
            kill(static_cast<pid_t>(pid_), SIGTERM);
    }
    PrivateBus(const PrivateBus&) = delete;
    PrivateBus& operator=(const PrivateBus&) = delete;

    const QString& Address() const { return address_; }

private:
    static constexpr const char* kConfig =
        "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
        " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
        "<busconfig>\n"
        "  <type>session</type>\n"
        "  <listen>unix:tmpdir=/tmp</listen>\n"
        "  <policy context=\"default\">\n"
        "    <allow send_destination=\"*\" eavesdrop=\"true\"/>\n"
        "    <allow eavesdrop=\"true\"/>\n"
        "    <allow own=\"*\"/>\n"
        "  </policy>\n"
        "</busconfig>\n";
    QTemporaryDir dir_;
    QString address_;
    long pid_ = 0;
};
