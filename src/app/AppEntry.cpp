#include "app/AppEntry.h"

#include "app/Main.h"
#include "kellib/qt/KELSysHook.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelhtmlhelp.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>

namespace {

// The installed help pages, else those of the source tree.
QString findHelpFolder()
{
    const QString installed = QCoreApplication::applicationDirPath() + QStringLiteral("/../share/vaultleaf/help");
    if (QFileInfo(installed + QStringLiteral("/html/index.htm")).isFile())
        return QDir(installed).absolutePath();
    return QStringLiteral(VAULTLEAF_SOURCE_HELP);
}

// A relative file name means the starting folder, which the running
// instance does not share: hand over the absolute path.
QString firstArgument(const QStringList& arguments)
{
    const QString arg = arguments.value(1);
    if (arg.isEmpty() || arg.contains(QLatin1String("://")) || QDir::isAbsolutePath(arg))
        return arg;
    return QFileInfo(arg).absoluteFilePath();
}

// Second instance: hand the argument (or a show request) to the first one.
void handOver(KELSysHook& hook, const QString& argument)
{
    if (argument.isEmpty()) {
        hook.SendMessageToInstaller(MSG_SHOW_INSTANCE, 0, 0);
        return;
    }
    QByteArray shared = argument.toUtf8();
    shared.append('\0');
    hook.PutSharedData(shared);
    hook.SendMessageToInstaller(MSG_OPEN_PATH, shared.size(), 0);
}

} // namespace

int VaultleafMain(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vaultleaf"));
    QApplication::setQuitOnLastWindowClosed(false);
    const QString argument = firstArgument(QApplication::arguments());

    KELSysHook hook;
    hook.Load(QStringLiteral("Vaultleaf"));
    bool alreadyExists = false;
    CreateInstanceMutex(QStringLiteral("Mutex_Vaultleaf"), alreadyExists);
    if (alreadyExists) {
        handOver(hook, argument);
        return 0;
    }

    SetHelpFile(findHelpFolder());
    TFormMain form(&hook);
    SetAppMainWindow(&form);
    form.FormCreate(argument);
    app.exec();
    return 0;
}
