#include "app/HelpWindow.h"

#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelhtmlhelp.h"

#include <QDir>
#include <QPointer>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

namespace {

bool InHelpFolder(const QUrl& url)
{
    if (!url.isLocalFile() || HelpFile().isEmpty())
        return false;
    const QString folder = QDir::cleanPath(HelpFile()) + QLatin1Char('/');
    return QDir::cleanPath(url.toLocalFile()).startsWith(folder);
}

// Pages of the help folder stay in the window; any other address a link
// names goes to the desktop's program for it.
class HelpPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override
    {
        if (InHelpFolder(url) || url.scheme() == QLatin1String("about"))
            return true;
        if (isMainFrame && type == NavigationTypeLinkClicked)
            ShellOpen(QStringLiteral("open"), url.toString(), QString(), QString());
        return false;
    }
};

QPointer<TFormHelp>& helpWindow()
{
    static QPointer<TFormHelp> window;
    return window;
}

} // namespace

TFormHelp::TFormHelp(QWidget* owner) : QWidget(owner, Qt::Window)
{
    setObjectName(QStringLiteral("TFormHelp"));
    setWindowTitle(ApplicationTitle() + QStringLiteral(" 帮助"));
    resize(800, 600);
    profile_ = new QWebEngineProfile(this);   // off the record
    profile_->setHttpCacheType(QWebEngineProfile::NoCache);
    WebBrowserHelp = new QWebEngineView(this);
    WebBrowserHelp->setObjectName(QStringLiteral("WebBrowserHelp"));
    auto* page = new HelpPage(profile_, WebBrowserHelp);
    page->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    WebBrowserHelp->setPage(page);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(WebBrowserHelp);
}

TFormHelp::~TFormHelp()
{
    delete WebBrowserHelp;
    delete profile_;
}

void TFormHelp::ShowPage(const QString& page)
{
    WebBrowserHelp->setUrl(QUrl::fromLocalFile(page));
    show();
    raise();
    activateWindow();
}

bool ShowHelpPage(const QString& page)
{
    if (!helpWindow()) {
        helpWindow() = new TFormHelp(AppMainWindow());
        if (!AppMainWindow())
            helpWindow()->setAttribute(Qt::WA_DeleteOnClose);
    }
    helpWindow()->ShowPage(page);
    return true;
}

void InstallHelpWindow()
{
    SetHelpViewer(ShowHelpPage);
}
