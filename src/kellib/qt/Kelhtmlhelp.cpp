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

} // namespace

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
    return ShellOpen(QStringLiteral("open"), QUrl::fromLocalFile(page).toString(), QString(), QString());
}
