// The process entry: single instance, hand-over, help folder, main window.
#pragma once

#include <QString>

class KELSysHook;

int VaultleafMain(int argc, char** argv);

// Qt's own texts (standard dialogs, buttons, the web view's menus) in
// Chinese, as the program's: the user's Chinese variant when Qt has it,
// else zh_CN. False when a catalog could not be loaded.
bool InstallTranslations();
// Prepares the hand-over channel; when that fails, says so
// ("不能装载文件…，相关的一些功能被关闭。") and returns false.
bool LoadHook(KELSysHook& hook);
// Second instance: hands the argument (or a show request) to the first one.
// When the first one does not answer within the channel's time limit, says
// so and returns false.
bool HandOverToFirstInstance(KELSysHook& hook, const QString& argument);
