// TFormMain: the browser page HTMLViewer. HTML nodes and HTML previews are
// rendered from the text page's current source; URL nodes are navigated to
// the text page's text, not read from the cache.
#include "app/Main.h"

#include "app/CaseNodeData.h"
#include "app/FilePreview.h"
#include "app/TextPage.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"

#include <QApplication>
#include <QBuffer>
#include <QEventLoop>
#include <QLayout>
#include <QQuickWidget>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>

#include <unistd.h>

namespace {

enum Page { kPageText = 0, kPageHtml, kPageRtf, kPageDraw, kPageWave, kPageInfo };

// setHtml hands the page over as a data URL, which the engine limits to 2 MB;
// larger sources are served from memory under their own scheme.
constexpr qsizetype kMaxHtmlBytes = 2 * 1024 * 1024;
constexpr char kSourceScheme[] = "vaultleaf-source";

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
    return QStringLiteral("<html><head><meta charset=\"utf-8\"><title>无法打开网页</title></head>"
                          "<body><h3>无法打开网页</h3><p>无法打开网址：%1</p>"
                          "<p>请检查网址是否正确，以及网络连接是否正常。</p></body></html>")
        .arg(url.toString().toHtmlEscaped());
}

void TFormMain::CreateWebView()
{
    auto* profile = new QWebEngineProfile(this);   // off the record, no disk cache
    profile->setHttpCacheType(QWebEngineProfile::NoCache);
    htmlSource_ = new HtmlSourceHandler(profile);
    profile->installUrlSchemeHandler(kSourceScheme, htmlSource_);
    HTMLViewer = new QWebEngineView(PageControlMain->widget(kPageHtml));
    HTMLViewer->setObjectName(QStringLiteral("HTMLViewer"));
    auto* page = new QWebEnginePage(profile, HTMLViewer);
    page->settings()->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    page->settings()->setAttribute(QWebEngineSettings::FocusOnNavigationEnabled, false);
    HTMLViewer->setPage(page);
    PageControlMain->widget(kPageHtml)->layout()->addWidget(HTMLViewer);
    // The engine draws into a texture. Qt re-creates a shown window when such
    // a child first appears, which takes the keyboard from whatever had it
    // (the caption of a new node): a hidden texture child from the start
    // gives the window that kind of surface before it is first shown.
    auto* textureChild = new QQuickWidget(PageControlMain->widget(kPageHtml));
    textureChild->setObjectName(QStringLiteral("TextureSurface"));
    textureChild->hide();
    connect(HTMLViewer, &QWebEngineView::loadFinished, this, [this](bool ok) {
        htmlLoading_ = false;
        const QUrl url = HTMLViewer->page()->requestedUrl();
        if (!ok && !closing_ && (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https")))
            HTMLViewer->setHtml(LoadErrorPage(url), QUrl(QStringLiteral("about:blank")));
    });
}

// Stops what the engine is doing and deletes the page before its profile,
// so the process can end whatever a server does.
void TFormMain::ShutdownWebView()
{
    if (!HTMLViewer)
        return;
    htmlLoading_ = false;
    QWebEnginePage* page = HTMLViewer->page();
    QWebEngineProfile* profile = page->profile();
    page->triggerAction(QWebEnginePage::Stop);
    delete HTMLViewer;
    HTMLViewer = nullptr;
    delete profile;
    htmlSource_ = nullptr;
}

// Also ends when the window closes, which stops the load.
void TFormMain::WaitForDocument()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    while (htmlLoading_ && !closing_)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QApplication::restoreOverrideCursor();
}

bool TFormMain::ShowAsHtml(bool addressMode)
{
    const QString text = RichEditText->toPlainText();
    htmlLoading_ = true;
    if (addressMode) {
        // An address the engine cannot parse would never finish loading.
        QUrl url(text);
        if (!url.isValid() || url.isEmpty())
            url = QUrl(QStringLiteral("about:blank"));
        HTMLViewer->load(url);
        WaitForDocument();
        return true;
    }
    const QByteArray utf8 = text.toUtf8();
    if (utf8.size() > kMaxHtmlBytes)
        HTMLViewer->load(htmlSource_->Serve(utf8));
    else
        HTMLViewer->setHtml(text, QUrl(QStringLiteral("about:blank")));
    return true;
}

bool TFormMain::PreviewFileNode(QTreeWidgetItem* item, bool load, bool activate)
{
    for (int page : {kPageRtf, kPageWave, kPageDraw})
        PageControlMain->setTabVisible(page, false);
    PageControlMain->setTabVisible(kPageInfo, true);
    const QString textList = QString::fromStdString(AnsiToUtf8(db_.GetParam("TextPreviewExt", kDefaultTextPreviewExt)));
    const QString htmlList = QString::fromStdString(AnsiToUtf8(db_.GetParam("HtmlPreviewExt", kDefaultHtmlPreviewExt)));
    const FilePreview preview = FilePreviewOf(item->text(0), textList, htmlList);
    PageControlMain->setTabVisible(kPageText, preview == FilePreview::Text);
    PageControlMain->setTabVisible(kPageHtml, preview == FilePreview::Html);
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
    if (activate)
        PageControlMain->setCurrentIndex(preview == FilePreview::Text   ? kPageText
                                         : preview == FilePreview::Html ? kPageHtml
                                                                        : kPageInfo);
    return true;
}
