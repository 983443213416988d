// The full-text search window on a real database: hits while it runs, the
// double click that selects a node whose folders the tree has not loaded,
// stop, and closing in the middle of a search.
#include "NodeTestWindow.h"

#include "app/CaseNodeData.h"
#include "app/FullTextSearch.h"

#include <QLabel>
#include <QProgressBar>

namespace {

// Runs script in the search window opened by its command.
void inSearchWindow(NodeTestWindow& w, std::function<void(TFormFullTextSearch*)> script)
{
    w.responder.dialogs << [script](QDialog* d) {
        auto* f = qobject_cast<TFormFullTextSearch*>(d);
        QVERIFY(f);
        script(f);
    };
    w.form->UpdateActions();
    QVERIFY(w.form->ActionFullTextSearch->isEnabled());
    QCOMPARE(w.form->ActionFullTextSearch->shortcut(), QKeySequence(QStringLiteral("Ctrl+Shift+F")));
    const int before = w.responder.dialogsRun;
    w.form->ActionFullTextSearch->trigger();
    QCOMPARE(w.responder.dialogsRun, before + 1);
}

} // namespace

class TestFullTextSearch : public QObject {
    Q_OBJECT
private slots:
    void findsAndSelectsANodeInAFolderNotLoaded()
    {
        NodeTestWindow w;
        const int32_t folder = w.addNode(kParentTop, "资料", kNodeFolder);
        const int32_t inner = w.addNode(folder, "内层", kNodeFolder);
        const int32_t note = w.addNode(inner, "笔记", kNodeText, Utf8ToAnsi("第一行\r\n有一只斑马在跑\r\n"));
        w.addNode(kParentTop, "其他", kNodeText, Utf8ToAnsi("没有"));
        w.addNode(kParentTop, "斑马的网页", kNodeHtml, Utf8ToAnsi("<p>马</p>"));
        w.form->CreateSpecialItems();   // the tree loads the top level only
        QVERIFY(!w.form->FindItemById(note));
        inSearchWindow(w, [&](TFormFullTextSearch* f) {
            QVERIFY(!f->ButtonStart->isEnabled());   // no text yet
            f->EditText->setText(QStringLiteral("斑马"));
            f->ButtonStart->click();
            QVERIFY(f->Running());
            QVERIFY(f->ButtonStop->isEnabled());
            QVERIFY(!f->ButtonStart->isEnabled());
            QTRY_VERIFY(!f->Running());
            QCOMPARE(f->ListViewResult->topLevelItemCount(), 2);
            QTreeWidgetItem* hit = nullptr;
            for (int i = 0; i < 2; ++i)
                if (TFormFullTextSearch::ResultId(f->ListViewResult->topLevelItem(i)) == note)
                    hit = f->ListViewResult->topLevelItem(i);
            QVERIFY(hit);
            QCOMPARE(hit->text(0), QStringLiteral("我的公文包\\资料\\内层\\笔记"));
            QCOMPARE(hit->text(1), QStringLiteral("有一只斑马在跑"));
            QCOMPARE(f->ProgressBarSearch->value(), f->ProgressBarSearch->maximum());
            QCOMPARE(f->LabelStatus->text(), QStringLiteral("搜索完毕，找到 2 个节点。"));
            emit f->ListViewResult->itemDoubleClicked(hit, 0);
            QVERIFY(w.tree()->currentItem());
            QCOMPARE(NodeDataOf(w.tree()->currentItem()).Id, note);
            f->CheckBoxCase->setChecked(true);
            f->CheckBoxWholeWord->setChecked(true);
            f->EditText->setText(QStringLiteral("只斑"));   // Chinese characters are words of their own
            f->ButtonStart->click();
            QTRY_VERIFY(!f->Running());
            QCOMPARE(f->ListViewResult->topLevelItemCount(), 1);
            f->ButtonClose->click();
        });
        QVERIFY(w.responder.boxes.isEmpty());
    }

    // Stop before the first rows are read: nothing found, the window says so;
    // closing during a search ends it.
    void stopAndCloseWhileRunning()
    {
        NodeTestWindow w;
        for (int i = 0; i < 50; ++i)
            w.addNode(kParentTop, "节点", kNodeText, std::string(2000, 'x'));
        inSearchWindow(w, [&](TFormFullTextSearch* f) {
            f->ButtonStartClick();   // the button is off while the text is empty
            QCOMPARE(w.responder.texts(), QStringList{QStringLiteral("请输入要查找的文字。")});
            f->EditText->setText(QStringLiteral("x"));
            f->ButtonStart->click();
            f->ButtonStop->click();
            QTRY_VERIFY(!f->Running());
            QCOMPARE(f->ListViewResult->topLevelItemCount(), 0);
            QCOMPARE(f->LabelStatus->text(), QStringLiteral("搜索已停止，找到 0 个节点。"));
            QVERIFY(f->ProgressBarSearch->value() < f->ProgressBarSearch->maximum());
            f->ButtonStart->click();
            QVERIFY(f->Running());
            f->ButtonClose->click();
            QVERIFY(!f->Running());
        });
    }
};

int main(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestFullTextSearch test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_fulltextsearch.moc"
