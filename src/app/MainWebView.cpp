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
#include <QEventLoop>
#include <QLayout>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include <unistd.h>

namespace {

enum Page { kPageText = 0, kPageHtml, kPageRtf, kPageDraw, kPageWave, kPageInfo };

// setHtml hands the page over as a data URL, which the engine limits to 2 MB.
constexpr qsizetype kMaxHtmlBytes = 2 * 1024 * 1024;

} // namespace

void PrepareWebEngine()
{
    // The engine's sandbox needs user namespaces, which neither a root process
    // nor a display-less test run has.
    const bool offscreen = qgetenv("QT_QPA_PLATFORM") == "offscreen";
    if ((offscreen || geteuid() == 0) && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void TFormMain::CreateWebView()
{
    auto* profile = new QWebEngineProfile(this);   // off the record, no disk cache
    profile->setHttpCacheType(QWebEngineProfile::NoCache);
    HTMLViewer = new QWebEngineView(PageControlMain->widget(kPageHtml));
    HTMLViewer->setObjectName(QStringLiteral("HTMLViewer"));
    HTMLViewer->setPage(new QWebEnginePage(profile, HTMLViewer));
    PageControlMain->widget(kPageHtml)->layout()->addWidget(HTMLViewer);
    connect(HTMLViewer, &QWebEngineView::loadFinished, this, [this] { htmlLoading_ = false; });
}

void TFormMain::WaitForDocument()
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    while (htmlLoading_)
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
    if (text.toUtf8().size() > kMaxHtmlBytes) {
        htmlLoading_ = false;
        AppMessageBox(QStringLiteral("装载HTML错误！"), MB_ICONERROR);
        return false;
    }
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
