// The browser page against local servers that answer at once, late or never:
// showing a node never waits for a page, a late page changes nothing but its
// own view, an address that does not come shows our opening page and then our
// error page; scripts of stored HTML open no windows and stop with their page;
// stored HTML fetches nothing remote until the user allows it for the node.
#include "NodeTestWindow.h"
#include "PageText.h"

#include "app/CaseNodeData.h"

#include <QAbstractButton>
#include <QLabel>
#include <QTabWidget>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTextEdit>
#include <QToolButton>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <csignal>

namespace {

// Answers every HTTP request with body after delayMs (-1: never answers) and
// counts the requests.
class TestServer : public QTcpServer {
public:
    explicit TestServer(QByteArray body, int delayMs = 0) : body_(std::move(body)), delay_(delayMs)
    {
        listen(QHostAddress::LocalHost);
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = nextPendingConnection())
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Request(socket); });
        });
    }
    QString Address(const char* path = "/") const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(serverPort()).arg(QLatin1String(path));
    }
    int requests = 0;

private:
    void Request(QTcpSocket* socket)
    {
        if (!socket->readAll().contains("\r\n\r\n"))
            return;
        ++requests;
        if (delay_ < 0)
            return;
        QTimer::singleShot(delay_, socket, [this, socket] {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: "
                          + QByteArray::number(body_.size()) + "\r\nConnection: close\r\n\r\n" + body_);
            socket->disconnectFromHost();
        });
    }

    QByteArray body_;
    int delay_;
};

QTextEdit* textEditor(TFormMain* form)
{
    return form->findChild<QTextEdit*>(QStringLiteral("RichEditText"));
}

QString currentPage(TFormMain* form)
{
    return form->Pages()->currentWidget()->objectName();
}

std::string address(const QString& text)
{
    std::string bytes = text.toStdString();
    bytes.push_back('\0');
    return bytes;
}

// Closes every modal window that appears and counts them, so a test never
// waits for a box a page opened.
class ModalWatch {
public:
    ModalWatch()
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (QWidget* modal = QApplication::activeModalWidget()) {
                ++seen;
                modal->close();
            }
        });
        timer_.start(50);
    }
    int seen = 0;

private:
    QTimer timer_;
};

bool processRuns(qint64 pid)
{
    return pid > 0 && (kill(pid_t(pid), 0) == 0 || errno != ESRCH);
}

} // namespace

class TestWebView : public QObject {
    Q_OBJECT

private slots:
    // A page that arrives after the user moved on to a text node and typed
    // there leaves that node, its page, its edits and the question alone.
    void latePageChangesNothingButItsOwnView()
    {
        TestServer slow("<p>late page</p>", 3000);
        NodeTestWindow w;
        const int32_t url = w.addNode(0, "slow", kNodeUrl, address(slow.Address()));
        const int32_t text = w.addNode(0, "text", kNodeText, "two");
        const int32_t folder = w.addNode(0, "folder", kNodeFolder);
        QTreeWidgetItem* urlItem = w.item(url);
        QTreeWidgetItem* textItem = w.item(text);
        bool typed = false;
        QTimer::singleShot(1000, w.form.get(), [&] {
            w.select(textItem);
            textEditor(w.form.get())->moveCursor(QTextCursor::End);
            textEditor(w.form.get())->insertPlainText(QStringLiteral("更多"));
            typed = true;
        });
        QElapsedTimer clock;
        clock.start();
        w.tree()->setCurrentItem(urlItem);
        QTRY_VERIFY_WITH_TIMEOUT(typed, kPageTimeout);
        QTest::qWait(qMax<qint64>(0, 5000 - clock.elapsed()));   // the page would have come by now
        QCOMPARE(w.tree()->currentItem(), textItem);
        QCOMPARE(currentPage(w.form.get()), QString("TabSheetText"));
        QCOMPARE(textEditor(w.form.get())->toPlainText(), QString("two更多"));
        QVERIFY(w.form->IsModified());
        QCOMPARE(w.form->Status()->PanelText(1), QString("已修改"));
        w.responder.answers << IDCANCEL;
        w.select(w.item(folder));
        QCOMPARE(w.responder.texts().value(0), QString("您已经修改了\"text\"的内容，要保存吗？"));
        QCOMPARE(w.tree()->currentItem(), textItem);
    }

    // The status bar and the move buttons follow the selection while the
    // page of the address is still on its way.
    void statusFollowsTheSelectionAtOnce()
    {
        TestServer never("", -1);
        NodeTestWindow w;
        const int32_t url = w.addNode(0, "never", kNodeUrl, address(never.Address()));
        const int32_t text = w.addNode(0, "text", kNodeText, "two");
        auto* up = w.form->findChild<QToolButton*>(QStringLiteral("SBMoveUp"));
        auto* down = w.form->findChild<QToolButton*>(QStringLiteral("SBMoveDown"));
        QTreeWidgetItem* urlItem = w.item(url);
        w.select(w.item(text));
        QVERIFY(up->isEnabled());
        QVERIFY(!down->isEnabled());
        bool seen = false, upShown = true, downShown = false;
        QString caption;
        QTimer::singleShot(500, w.form.get(), [&] {
            seen = true;
            upShown = up->isEnabled();
            downShown = down->isEnabled();
            caption = w.form->Status()->PanelText(5);
            never.close();   // ends a wait for the page, if there is one
            for (QTcpSocket* socket : never.findChildren<QTcpSocket*>())
                socket->abort();
        });
        w.tree()->setCurrentItem(urlItem);
        QTRY_VERIFY_WITH_TIMEOUT(seen, kPageTimeout);
        QVERIFY(!upShown);
        QVERIFY(downShown);
        QCOMPARE(caption, QString("never"));
    }

    // An address that does not come shows our opening page at once and our
    // error page after the time limit.
    void addressThatDoesNotComeShowsOurPages()
    {
        TestServer never("", -1);
        NodeTestWindow w;
        w.form->findChild<QTimer*>(QStringLiteral("TimerPageLimit"))->setInterval(2000);
        const int32_t url = w.addNode(0, "never", kNodeUrl, address(never.Address()));
        QTreeWidgetItem* item = w.item(url);
        QTimer::singleShot(8000, &never, [&never] {   // ends a wait for the page, if there is one
            for (QTcpSocket* socket : never.findChildren<QTcpSocket*>())
                socket->abort();
        });
        QElapsedTimer clock;
        clock.start();
        w.select(item);
        QVERIFY(clock.elapsed() < 2000);
        QTRY_VERIFY_WITH_TIMEOUT(pageText(w.form->HtmlViewer()).contains(QString("正在打开…")), kPageTimeout);
        QTRY_VERIFY_WITH_TIMEOUT(pageText(w.form->HtmlViewer()).contains(QString("无法打开网页")), kPageTimeout);
        QVERIFY(pageText(w.form->HtmlViewer()).contains(never.Address()));
        QCOMPARE(never.requests, 1);
    }

    // Leaving an address for another one that loads: the first one's end
    // never puts an error page over the second.
    void abandonedLoadShowsNoErrorOverTheNext()
    {
        TestServer never("", -1);
        TestServer quick("<p>page B</p>");
        NodeTestWindow w;
        const int32_t a = w.addNode(0, "A", kNodeUrl, address(never.Address()));
        const int32_t b = w.addNode(0, "B", kNodeUrl, address(quick.Address()));
        QTreeWidgetItem* itemA = w.item(a);
        QTreeWidgetItem* itemB = w.item(b);
        QTimer::singleShot(1500, w.form.get(), [&] { w.tree()->setCurrentItem(itemB); });
        w.tree()->setCurrentItem(itemA);
        QTRY_COMPARE_WITH_TIMEOUT(pageText(w.form->HtmlViewer()), QString("page B"), kPageTimeout);
        QTest::qWait(1000);
        QCOMPARE(pageText(w.form->HtmlViewer()), QString("page B"));
    }

    // A script that calls alert() for ever opens no window: another node can
    // be selected and the program closed.
    void scriptBoxesOpenNoWindow()
    {
        ModalWatch watch;
        NodeTestWindow w;
        const int32_t html = w.addNode(0, "alerts", kNodeHtml,
                                       "<p>boxes</p><script>setTimeout(function(){for(;;){alert('x');"
                                       "confirm('y');prompt('z');}},1500)</script>");
        const int32_t text = w.addNode(0, "text", kNodeText, "two");
        QTreeWidgetItem* textItem = w.item(text);
        w.select(w.item(html));
        QTRY_COMPARE_WITH_TIMEOUT(pageText(w.form->HtmlViewer()), QString("boxes"), kPageTimeout);
        QTest::qWait(2500);   // the boxes come
        w.select(textItem);
        QCOMPARE(textEditor(w.form.get())->toPlainText(), QString("two"));
        QVERIFY(w.form->close());
        QCOMPARE(watch.seen, 0);
    }

    // A page that is left is stopped: a script that never ends does not keep
    // its renderer busy once another node is shown.
    void leftPageFreesItsRenderer()
    {
        NodeTestWindow w;
        const int32_t html = w.addNode(0, "spins", kNodeHtml, "<p>spin</p><script>setTimeout(function(){while(true){}},1500)</script>");
        const int32_t text = w.addNode(0, "text", kNodeText, "two");
        QTreeWidgetItem* textItem = w.item(text);
        w.select(w.item(html));
        QTRY_COMPARE_WITH_TIMEOUT(pageText(w.form->HtmlViewer()), QString("spin"), kPageTimeout);
        const qint64 pid = w.form->HtmlViewer()->page()->renderProcessPid();
        QVERIFY(processRuns(pid));
        QTest::qWait(2000);   // the script spins
        w.select(textItem);
        QTRY_VERIFY_WITH_TIMEOUT(!processRuns(pid), kPageTimeout);
    }

    // Stored HTML (a node, a file's preview) fetches nothing remote until
    // 显示 allows it for that node; an address still loads.
    void storedHtmlFetchesNothingRemote_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("caption");
        QTest::newRow("HTML node") << int(kNodeHtml) << "page";
        QTest::newRow("HTML preview of a file") << int(kNodeFile) << "page.html";
    }
    void storedHtmlFetchesNothingRemote()
    {
        QFETCH(int, kind);
        QFETCH(QString, caption);
        TestServer server("<p>remote</p>");
        NodeTestWindow w;
        const QString source = QStringLiteral("<p>stored</p><img src=\"%1\"><script src=\"%2\"></script>")
                                   .arg(server.Address("/image.png"), server.Address("/script.js"));
        const int32_t stored = w.addNode(0, caption.toUtf8().constData(), kind, source.toStdString());
        const int32_t other = w.addNode(0, "other", kNodeText, "x");
        w.select(w.item(stored));
        QTRY_COMPARE_WITH_TIMEOUT(pageText(w.form->HtmlViewer()), QString("stored"), kPageTimeout);
        QTest::qWait(500);
        QCOMPARE(server.requests, 0);
        auto* bar = w.form->findChild<QWidget*>(QStringLiteral("RemoteContentBar"));
        QVERIFY(bar);
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisibleTo(w.form.get()), kPageTimeout);
        QCOMPARE(bar->findChild<QLabel*>()->text(), QString("已阻止远程内容。"));
        auto* show = bar->findChild<QAbstractButton*>(QStringLiteral("ButtonShowRemote"));
        QCOMPARE(show->text(), QString("显示"));
        show->click();
        QTRY_VERIFY_WITH_TIMEOUT(server.requests >= 2, kPageTimeout);   // the image and the script
        QVERIFY(!bar->isVisibleTo(w.form.get()));

        // Allowed for that node for the session; another node is blocked again.
        w.select(w.item(other));
        int before = server.requests;
        w.select(w.item(stored));
        QTRY_VERIFY_WITH_TIMEOUT(server.requests > before, kPageTimeout);
        const int32_t second = w.addNode(0, "second.html", kNodeFile, source.toStdString());
        w.select(w.item(second));
        QTRY_VERIFY_WITH_TIMEOUT(bar->isVisibleTo(w.form.get()), kPageTimeout);
        before = server.requests;
        QTest::qWait(500);
        QCOMPARE(server.requests, before);

        const int32_t url = w.addNode(0, "address", kNodeUrl, address(server.Address()));
        w.select(w.item(url));
        QTRY_COMPARE_WITH_TIMEOUT(pageText(w.form->HtmlViewer()), QString("remote"), kPageTimeout);
        QVERIFY(server.requests > before);
        QVERIFY(!bar->isVisibleTo(w.form.get()));
    }
};

int main(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestWebView test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_webview.moc"
