#include "app/AppEntry.h"

#include "app/HelpWindow.h"
#include "app/Main.h"
#include "app/Options.h"
#include "kellib/qt/KELSysHook.h"
#include "kellib/qt/KELTermSignal.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelhtmlhelp.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

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

bool loadTranslation(QTranslator& translator, const QString& catalog, const QLocale& locale)
{
    return translator.load(locale, catalog, QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath));
}

// The user's Chinese variant when Qt has it, else zh_CN.
bool installCatalog(QTranslator& translator, const QString& catalog)
{
    QCoreApplication::removeTranslator(&translator);
    const QLocale user;
    const bool loaded = (user.language() == QLocale::Chinese && loadTranslation(translator, catalog, user))
                        || loadTranslation(translator, catalog, QLocale(QLocale::Chinese, QLocale::China));
    return loaded && QCoreApplication::installTranslator(&translator);
}

} // namespace

// "qt" brings qtbase and qtmultimedia; the web view's menus have their own catalog.
bool InstallTranslations()
{
    static QTranslator base, web;
    const bool baseLoaded = installCatalog(base, QStringLiteral("qt"));
    const bool webLoaded = installCatalog(web, QStringLiteral("qtwebengine"));
    return baseLoaded && webLoaded;
}

bool LoadHook(KELSysHook& hook)
{
    if (hook.Load(QStringLiteral("Vaultleaf")))
        return true;
    AppMessageBox(QStringLiteral("不能装载文件") + hook.ChannelPath() + QStringLiteral("，相关的一些功能被关闭。"), 0);
    return false;
}

bool HandOverToFirstInstance(KELSysHook& hook, const QString& argument)
{
    if (!hook.IsLoaded())
        return false;   // nothing can be handed over; LoadHook has said so
    bool answered;
    if (argument.isEmpty()) {
        answered = hook.SendMessageToInstaller(MSG_SHOW_INSTANCE, 0, 0);
    } else {
        QByteArray shared = argument.toUtf8();
        shared.append('\0');
        answered = hook.PutSharedData(shared) && hook.SendMessageToInstaller(MSG_OPEN_PATH, shared.size(), 0);
    }
    if (!answered)
        AppMessageBox(QStringLiteral("Vaultleaf已经在运行，但是没有响应，请结束它后再启动。"), MB_ICONERROR);
    return answered;
}

int VaultleafMain(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vaultleaf"));
    QApplication::setQuitOnLastWindowClosed(false);
    SetApplicationTitle(QStringLiteral("Vaultleaf"));
    InstallTranslations();
    const QString argument = firstArgument(QApplication::arguments());

    KELSysHook hook;
    LoadHook(hook);
    bool alreadyExists = false;
    CreateInstanceMutex(QStringLiteral("Mutex_Vaultleaf"), alreadyExists);
    if (alreadyExists) {
        HandOverToFirstInstance(hook, argument);
        return 0;
    }

    SetHelpFile(findHelpFolder());
    InstallHelpWindow();
    RepairSendToEntry();
    TFormMain form(&hook);
    SetAppMainWindow(&form);
    // A logout ends the program through its own close, storing what is open.
    const KELTermSignal termination([&form] { form.EndSession(); });
    form.FormCreate(argument);
    app.exec();
    return 0;
}
