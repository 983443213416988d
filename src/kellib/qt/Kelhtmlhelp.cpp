#include "kellib/qt/Kelhtmlhelp.h"

#include "kellib/qt/Kelapputil.h"

#include <QFileInfo>
#include <QUrl>

namespace {

QString& helpFolder()
{
    static QString folder;
    return folder;
}

std::function<bool(const QString&)>& helpViewer()
{
    static std::function<bool(const QString&)> viewer;
    return viewer;
}

} // namespace

void SetHelpViewer(std::function<bool(const QString& page)> viewer)
{
    helpViewer() = std::move(viewer);
}

void SetHelpFile(const QString& folder)
{
    helpFolder() = folder;
}

QString HelpFile()
{
    return helpFolder();
}

bool ShowHelpTopic(const QString& topic)
{
    if (helpFolder().isEmpty() || topic.contains(QLatin1String("..")))
        return false;
    const QString page = helpFolder() + topic;
    if (!QFileInfo(page).isFile())
        return false;
    if (helpViewer() ? helpViewer()(page)
                     : ShellOpen(QStringLiteral("open"), QUrl::fromLocalFile(page).toString(), QString(), QString()))
        return true;
    // No desktop program for web pages (xdg-open missing or failing).
    AppMessageBox(QStringLiteral("不能打开帮助文件\"") + page + QStringLiteral("\"。"), MB_ICONERROR);
    return false;
}
