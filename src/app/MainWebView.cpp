// TFormMain: the browser page HTMLViewer. HTML nodes and HTML previews are
// rendered from the text page's current source, without anything remote until
// the user allows it for the node; URL nodes are navigated to the text page's
// text, not read from the cache. Every show gets a page of its own, so a page
// that is left (its load, its scripts, its renderer) ends with it and nothing
// it does later reaches the next one; nothing waits for a page to load.
#include "app/Main.h"

#include "app/CaseNodeData.h"
#include "app/FilePreview.h"
#include "app/TextPage.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QPointer>
#include <QPushButton>
#include <QQuickWidget>
#include <QTabWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <unistd.h>

#include <atomic>
#include <functional>
#include <vector>

namespace {

enum Page { kPageText = 0, kPageHtml, kPageRtf, kPageDraw, kPageWave, kPageInfo };

// setHtml hands the page over as a data URL, which the engine limits to 2 MB;
// larger sources are served from memory under their own scheme.
constexpr qsizetype kMaxHtmlBytes = 2 * 1024 * 1024;
constexpr char kSourceScheme[] = "vaultleaf-source";

// How long an address may take before our error page replaces it.
constexpr int kPageTimeLimitMs = 30000;

// The pages of the browser view: boxes a script asks for (alert, confirm,
// prompt) are answered at once without a window, as if cancelled, so no page
// can hold the program in a modal loop.
class ViewerPage : public QWebEnginePage {
public:
    using QWebEnginePage::QWebEnginePage;

protected:
    void javaScriptAlert(const QUrl&, const QString&) override {}
    bool javaScriptConfirm(const QUrl&, const QString&) override { return false; }
    bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override { return false; }
};

// Blocks the network requests of a page of stored HTML; the first one blocked
// runs blocked on the page's thread while the page lives.
class RemoteBlocker : public QWebEngineUrlRequestInterceptor {
public:
    RemoteBlocker(QWebEnginePage* page, std::function<void()> blocked)
        : QWebEngineUrlRequestInterceptor(page), page_(page), blocked_(std::move(blocked))
    {
    }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        static const QStringList remote{QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                                        QStringLiteral("ws"), QStringLiteral("wss")};
        if (!remote.contains(info.requestUrl().scheme().toLower()))
            return;
        info.block(true);
        if (!told_.exchange(true))
            QMetaObject::invokeMethod(page_, blocked_, Qt::QueuedConnection);
    }

private:
    QWebEnginePage* page_;
    std::function<void()> blocked_;
    std::atomic<bool> told_{false};
};

// A page of the program's own in the web view's place.
QString OwnPage(const QString& title, const QString& body)
{
    return QStringLiteral("<html><head><meta charset=\"utf-8\"><title>%1</title></head><body>%2</body></html>")
        .arg(title, body);
}

} // namespace

// Answers every request of its scheme with the source last handed to it.
class HtmlSourceHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    QUrl Serve(const QByteArray& utf8)
    {
        source_ = utf8;
        return QUrl(QStringLiteral("%1:page/%2").arg(QLatin1String(kSourceScheme)).arg(++serial_));
    }

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        auto* buffer = new QBuffer(job);
        buffer->setData(source_);
        buffer->open(QIODevice::ReadOnly);
        job->reply(QByteArrayLiteral("text/html;charset=utf-8"), buffer);
    }

private:
    QByteArray source_;
    quint64 serial_ = 0;
};

void PrepareWebEngine()
{
    // The engine's sandbox needs user namespaces, which neither a root process
    // nor a display-less test run has.
    const bool offscreen = qgetenv("QT_QPA_PLATFORM") == "offscreen";
    if ((offscreen || geteuid() == 0) && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (!QWebEngineUrlScheme::schemeByName(kSourceScheme).name().isEmpty())
        return;
    QWebEngineUrlScheme scheme(kSourceScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::LocalScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
}

// The page of a failed load, in the program's language instead of the engine's.
QString LoadErrorPage(const QUrl& url)
{
    return OwnPage(QStringLiteral("无法打开网页"),
                   QStringLiteral("<h3>无法打开网页</h3><p>无法打开网址：%1</p>"
                                  "<p>请检查网址是否正确，以及网络连接是否正常。</p>")
                       .arg(url.toString().toHtmlEscaped()));
}

// Shown at once while an address loads.
static QString OpeningPage(const QUrl& url)
{
    return OwnPage(QStringLiteral("正在打开…"),
                   QStringLiteral("<p>正在打开…</p><p>%1</p>").arg(url.toString().toHtmlEscaped()));
}

void TFormMain::CreateWebView()
{
    webProfile_ = new QWebEngineProfile(this);   // off the record, no disk cache
    webProfile_->setHttpCacheType(QWebEngineProfile::NoCache);
    webProfile_->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    webProfile_->settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    htmlSource_ = new HtmlSourceHandler(webProfile_);
    webProfile_->installUrlSchemeHandler(kSourceScheme, htmlSource_);
    QWidget* sheet = PageControlMain->widget(kPageHtml);
    CreateRemoteContentBar();
    HTMLViewer = new QWebEngineView(sheet);
    HTMLViewer->setObjectName(QStringLiteral("HTMLViewer"));
    sheet->layout()->addWidget(HTMLViewer);
    // The engine draws into a texture. Qt re-creates a shown window when such
    // a child first appears, which takes the keyboard from whatever had it
    // (the caption of a new node): a hidden texture child from the start
    // gives the window that kind of surface before it is first shown.
    auto* textureChild = new QQuickWidget(sheet);
    textureChild->setObjectName(QStringLiteral("TextureSurface"));
    textureChild->hide();
    TimerPageLimit = new QTimer(this);
    TimerPageLimit->setObjectName(QStringLiteral("TimerPageLimit"));
    TimerPageLimit->setSingleShot(true);
    TimerPageLimit->setInterval(kPageTimeLimitMs);
    connect(TimerPageLimit, &QTimer::timeout, this, [this] {
        if (webState_ == WebState::Loading)
            ShowLoadError();
    });
    NewWebPage(false);
}

// "已阻止远程内容。显示" above the page of stored HTML that asked for something remote.
void TFormMain::CreateRemoteContentBar()
{
    QWidget* sheet = PageControlMain->widget(kPageHtml);
    RemoteContentBar = new QFrame(sheet);
    RemoteContentBar->setObjectName(QStringLiteral("RemoteContentBar"));
    RemoteContentBar->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QHBoxLayout(RemoteContentBar);
    layout->setContentsMargins(6, 2, 6, 2);
    layout->addWidget(new QLabel(QStringLiteral("已阻止远程内容。"), RemoteContentBar));
    auto* show = new QPushButton(QStringLiteral("显示"), RemoteContentBar);
    show->setObjectName(QStringLiteral("ButtonShowRemote"));
    layout->addWidget(show);
    layout->addStretch(1);
    RemoteContentBar->hide();
    sheet->layout()->addWidget(RemoteContentBar);
    connect(show, &QPushButton::clicked, this, [this] {
        remoteAllowed_.insert({db_.Path(), webNode_});
        ShowAsHtml(false);
    });
}

// Replaces the view's page (the old one is stopped and deleted with its
// renderer); blockRemote: the new page fetches nothing from the network.
QWebEnginePage* TFormMain::NewWebPage(bool blockRemote)
{
    TimerPageLimit->stop();
    webState_ = WebState::Idle;
    webPageUsed_ = false;
    RemoteContentBar->hide();
    std::vector<QPointer<QWebEnginePage>> old;
    for (QWebEnginePage* shown : HTMLViewer->findChildren<QWebEnginePage*>(QString(), Qt::FindDirectChildrenOnly)) {
        shown->triggerAction(QWebEnginePage::Stop);
        old.emplace_back(shown);
    }
    auto* page = new ViewerPage(webProfile_, HTMLViewer);
    if (blockRemote) {
        page->setUrlRequestInterceptor(new RemoteBlocker(page, [this, page] {
            if (HTMLViewer && HTMLViewer->page() == page)
                RemoteContentBar->show();
        }));
    }
    connect(page, &QWebEnginePage::loadFinished, this, [this, page](bool ok) { WebPageLoaded(page, ok); });
    HTMLViewer->setPage(page);   // deletes the page it had, being its parent
    for (const QPointer<QWebEnginePage>& shown : old)
        delete shown.data();
    return page;
}

// Stops and frees the page the browser page showed, once it is not shown.
void TFormMain::DiscardWebPage()
{
    if (HTMLViewer && webPageUsed_)
        NewWebPage(false);
}

// An address goes in two steps: our opening page, then the address, with
// the time limit; a load that fails or passes the limit shows our error page.
void TFormMain::WebPageLoaded(QWebEnginePage* page, bool ok)
{
    if (!HTMLViewer || page != HTMLViewer->page())
        return;
    if (webState_ == WebState::Opening) {
        webState_ = WebState::Loading;
        page->load(webAddress_);
        TimerPageLimit->start();
    } else if (webState_ == WebState::Loading) {
        TimerPageLimit->stop();
        webState_ = WebState::Idle;
        if (!ok && !closing_)
            ShowLoadError();
    }
}

void TFormMain::ShowLoadError()
{
    TimerPageLimit->stop();
    webState_ = WebState::Idle;
    QWebEnginePage* page = HTMLViewer->page();
    page->triggerAction(QWebEnginePage::Stop);
    page->setHtml(LoadErrorPage(webAddress_), QUrl(QStringLiteral("about:blank")));
}

// Stops what the engine is doing and deletes the pages before their profile,
// so the process can end whatever a server does.
void TFormMain::ShutdownWebView()
{
    if (!HTMLViewer)
        return;
    TimerPageLimit->stop();
    webState_ = WebState::Idle;
    HTMLViewer->page()->triggerAction(QWebEnginePage::Stop);
    delete HTMLViewer;
    HTMLViewer = nullptr;
    delete webProfile_;
    webProfile_ = nullptr;
    htmlSource_ = nullptr;
}

bool TFormMain::ShowAsHtml(bool addressMode)
{
    const QString text = TextPageText();
    if (addressMode) {
        QWebEnginePage* page = NewWebPage(false);
        webPageUsed_ = true;
        // An address the engine cannot parse would never finish loading.
        const QUrl url(text);
        if (!url.isValid() || url.isEmpty()) {
            page->load(QUrl(QStringLiteral("about:blank")));
            return true;
        }
        webAddress_ = url;
        webState_ = WebState::Opening;
        page->setHtml(OpeningPage(url), QUrl(QStringLiteral("about:blank")));
        return true;
    }
    QTreeWidgetItem* item = TVNav->currentItem();
    webNode_ = item ? NodeDataOf(item).Id : 0;
    QWebEnginePage* page = NewWebPage(!remoteAllowed_.count({db_.Path(), webNode_}));
    webPageUsed_ = true;
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() > kMaxHtmlBytes)
        page->load(htmlSource_->Serve(utf8));
    else
        page->setHtml(text, QUrl(QStringLiteral("about:blank")));
    return true;
}

bool TFormMain::PreviewFileNode(QTreeWidgetItem* item, bool load, bool activate)
{
    const QString textList = QString::fromStdString(AnsiToUtf8(db_.GetParam("TextPreviewExt", kDefaultTextPreviewExt)));
    const QString htmlList = QString::fromStdString(AnsiToUtf8(db_.GetParam("HtmlPreviewExt", kDefaultHtmlPreviewExt)));
    const FilePreview preview = FilePreviewOf(item->text(0), textList, htmlList);
    const int page = preview == FilePreview::Text ? kPageText : preview == FilePreview::Html ? kPageHtml : kPageInfo;
    SetPagesVisible({page, kPageInfo});
    if (activate)
        PageControlMain->setCurrentIndex(page);
    CaseNode node;
    if (preview != FilePreview::None && load) {
        if (!ReadShownNode(item, node))
            return false;
        LoadTextPage(node.DataBytes(), FileTextEncoding(node.DataBytes()));
    }
    if (preview == FilePreview::Html) {
        ShowAsHtml(false);
        SetReadOnly(true);
    }
    return true;
}
