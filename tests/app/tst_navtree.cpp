// The navigation tree and its node commands on a real database: lazy loading
// and images, creating and renaming, moving up and down, drag acceptance,
// cut and paste, deleting into the recycle bin and for good, emptying it, and
// the bookmark menu.
#include "NodeTestWindow.h"

#include "app/CaseNodeData.h"
#include "app/FindNode.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFile>
#include <QTextEdit>
#include <QLineEdit>
#include <QMenu>

namespace {

bool hasImage(const QTreeWidgetItem* item, int image)
{
    return item->icon(0).pixmap(16).toImage() == ImageListMenus::Icon(image).pixmap(16).toImage();
}

QStringList menuTexts(QMenu* menu)
{
    QStringList out;
    for (QAction* a : menu->actions())
        out << a->text();
    return out;
}

} // namespace

class TestNavTree : public QObject {
    Q_OBJECT

private slots:
    void lazyLoadingAndImages()
    {
        NodeTestWindow w;
        const int32_t full = w.addNode(0, "full", kNodeFolder);
        w.addNode(full, "inner", kNodeText);
        w.addNode(0, "empty", kNodeFolder);
        w.addNode(0, "page", kNodeHtml);
        w.reopen();
        w.top()->setExpanded(true);
        QCOMPARE(NodeTestWindow::children(w.top()), QString("full|empty|page"));
        QTreeWidgetItem* fullItem = w.top()->child(0);
        QTreeWidgetItem* emptyItem = w.top()->child(1);
        QVERIFY(hasImage(fullItem, 29));
        QVERIFY(hasImage(emptyItem, 29));
        QVERIFY(hasImage(w.top()->child(2), 32));
        QCOMPARE(fullItem->childCount(), 0);   // one level at a time

        w.select(emptyItem);   // loading finds it empty
        QVERIFY(hasImage(emptyItem, 28));
        QCOMPARE(emptyItem->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
        fullItem->setExpanded(true);
        QCOMPARE(NodeTestWindow::children(fullItem), QString("inner"));
        QVERIFY(hasImage(fullItem->child(0), 30));

        QVERIFY(hasImage(w.bin(), 25));
        w.bin()->setExpanded(true);
        QVERIFY(hasImage(w.bin(), 26));
        QCOMPARE(w.bin()->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    }

    void createAndRename()
    {
        NodeTestWindow w;
        w.select(w.top());
        w.form->UpdateActions();
        QVERIFY(w.form->ActionNewSubNode->isEnabled());
        QCOMPARE(menuTexts(w.form->findChild<QMenu*>(QStringLiteral("MenuItemNewSubNode"))),
                 QStringList({"资料夹", "纯文本", "HTML", "文件", "名片", "URL", "RTF格式", "白板", "声音"}));
        newMenuEntry(w.form.get(), kNodeFolder)->trigger();
        QTreeWidgetItem* created = w.tree()->currentItem();
        QCOMPARE(created->text(0), QString("请输入标题"));
        QVERIFY(hasImage(created, 28));
        QLineEdit* editor = w.tree()->findChild<QLineEdit*>();
        QVERIFY(editor);   // the caption edit starts at once

        // A caption with a slash is refused and the old one stays.
        editor->setText(QStringLiteral("a/b"));
        QTest::keyClick(editor, Qt::Key_Return);
        QTRY_COMPARE(w.responder.boxes.size(), 1);
        QCOMPARE(created->text(0), QString("请输入标题"));
        QCOMPARE(w.responder.boxes.last().caption, QString("错误"));
        const int32_t id = NodeDataOf(created).Id;
        QCOMPARE(AnsiToUtf8(w.stored(id).Caption), std::string("请输入标题"));

        QVERIFY(w.form->CaptionEdited(created, QStringLiteral("笔记")));
        created->setText(0, QStringLiteral("笔记"));
        w.reopen();
        QVERIFY(w.item(id));
        QCOMPARE(w.item(id)->text(0), QString("笔记"));
        QVERIFY(w.stored(id).Modified > 0);

        // The rename command edits a loaded item's caption in place.
        QTreeWidgetItem* item = w.item(id);
        w.select(item);
        w.form->ActionNodeRename->trigger();
        QVERIFY(w.tree()->findChild<QLineEdit*>());
        w.tree()->closePersistentEditor(item);

        // The node was removed meanwhile: the message, the tree keeps the text.
        QVERIFY(w.db().DeleteNode(id));
        QVERIFY(w.db().Commit());
        QVERIFY(w.form->CaptionEdited(item, QStringLiteral("新")));
        QCOMPARE(w.responder.texts().last(), QString("该记录在数据库中不存在。"));

        // Fixed items are never renamed.
        QVERIFY(!w.form->CaptionEdited(w.top(), QStringLiteral("x")));
    }

    void moveUpAndDownRenumbers()
    {
        NodeTestWindow w;
        const int32_t a = w.addNode(0, "a", kNodeText, {}, 5);
        const int32_t b = w.addNode(0, "b", kNodeText, {}, 7);
        const int32_t c = w.addNode(0, "c", kNodeText, {}, 9);
        const double modified[] = {w.stored(a).Modified, w.stored(b).Modified, w.stored(c).Modified};
        w.select(w.item(b));
        w.form->MoveSelected(-1);
        QCOMPARE(NodeTestWindow::children(w.top()), QString("b|a|c"));
        QCOMPARE(w.stored(b).Order, 1);
        QCOMPARE(w.stored(a).Order, 2);
        QCOMPARE(w.stored(c).Order, 3);
        QCOMPARE(w.tree()->currentItem(), w.item(b));
        QCOMPARE(w.stored(a).Modified, modified[0]);
        QCOMPARE(w.stored(b).Modified, modified[1]);
        QCOMPARE(w.stored(c).Modified, modified[2]);

        w.form->MoveSelected(-1);   // already first
        QCOMPARE(NodeTestWindow::children(w.top()), QString("b|a|c"));
        w.select(w.item(c));
        w.form->MoveSelected(+1);   // already last
        QCOMPARE(NodeTestWindow::children(w.top()), QString("b|a|c"));
        w.select(w.item(b));
        w.form->MoveSelected(+1);
        QCOMPARE(NodeTestWindow::children(w.top()), QString("a|b|c"));
        w.reopen();
        w.top()->setExpanded(true);
        QCOMPARE(NodeTestWindow::children(w.top()), QString("a|b|c"));
    }

    void dropAcceptance()
    {
        NodeTestWindow w;
        const int32_t folder = w.addNode(0, "folder", kNodeFolder);
        const int32_t sub = w.addNode(folder, "sub", kNodeFolder);
        const int32_t deep = w.addNode(sub, "deep", kNodeText);
        const int32_t other = w.addNode(0, "other", kNodeFolder);
        QTreeWidgetItem* f = w.item(folder);
        QTreeWidgetItem* s = w.item(sub);
        QTreeWidgetItem* d = w.item(deep);
        QTreeWidgetItem* o = w.item(other);
        const struct { QTreeWidgetItem* selected; QTreeWidgetItem* target; bool accepted; } cases[] = {
            {f, o, true},          {f, w.bin(), true},   {d, w.top(), true},
            {f, f, false},         {f, s, false},        {f, d, false},
            {f, w.top(), false},   {s, f, false},        {w.top(), o, false},
            {w.bin(), o, false},   {nullptr, o, false},  {f, nullptr, false},
        };
        for (const auto& c : cases)
            QCOMPARE(DropAccepted(c.selected, c.target), c.accepted);
    }

    void cutAndPaste()
    {
        NodeTestWindow w;
        const int32_t folder = w.addNode(0, "folder", kNodeFolder);
        const int32_t sub = w.addNode(folder, "sub", kNodeFolder);
        const int32_t other = w.addNode(0, "other", kNodeFolder);
        w.select(w.item(folder));
        w.form->ActionCutNode->trigger();
        w.select(w.item(sub));
        w.form->UpdateActions();
        QVERIFY(w.form->ActionPaste->isEnabled());
        w.form->ActionPaste->trigger();
        QCOMPARE(w.responder.texts().last(), QString("移动节点时出错。"));
        QCOMPARE(w.stored(folder).Parent, 0);
        QCOMPARE(w.item(sub)->parent(), w.item(folder));

        w.select(w.item(other));   // loaded and found empty
        w.form->ActionPaste->trigger();
        QCOMPARE(w.stored(folder).Parent, other);
        QCOMPARE(w.item(folder)->parent(), w.item(other));
        w.form->UpdateActions();
        QVERIFY(!w.form->ActionPaste->isEnabled());
        w.reopen();
        QCOMPARE(w.stored(folder).Parent, other);
    }

    // The cut belongs to its database: another database's node with the same
    // id stays where it is.
    void cutEndsWithItsDatabase()
    {
        NodeTestWindow w;
        const int32_t cut = w.addNode(0, "cut here", kNodeText);
        w.select(w.item(cut));
        w.form->ActionCutNode->trigger();

        w.responder.files << w.dir.path() + "/other.vldb";
        w.responder.dialogs << NodeTestWindow::login();
        w.form->UpdateActions();
        w.form->ActionNewDB->trigger();
        const int32_t same = w.addNode(0, "same id", kNodeText);
        const int32_t folder = w.addNode(0, "folder", kNodeFolder);
        QCOMPARE(same, cut);
        QVERIFY(w.item(same));
        w.select(w.item(folder));
        QVERIFY(!w.form->ActionPaste->isEnabled());
        w.form->ActionPaste->trigger();
        QCOMPARE(w.stored(same).Parent, 0);
        QCOMPARE(w.item(same)->parent(), w.top());
    }

    // A cut node deleted for good meanwhile is refused like any failed move.
    void pasteOfANodeDeletedForGood()
    {
        NodeTestWindow w;
        const int32_t folder = w.addNode(0, "folder", kNodeFolder);
        const int32_t gone = w.addNode(0, "gone", kNodeText);
        w.select(w.item(gone));
        w.form->ActionCutNode->trigger();
        w.responder.answers << IDYES << IDYES;
        w.form->ActionDeleteSelNode->trigger();
        w.select(w.item(gone));
        w.form->ActionDeleteSelNode->trigger();
        QVERIFY(!w.exists(gone));
        w.select(w.item(folder));
        w.form->ActionPaste->trigger();
        QCOMPARE(w.responder.texts().last(), QString("移动节点时出错。"));
        w.form->UpdateActions();
        QVERIFY(!w.form->ActionPaste->isEnabled());
    }

    void deleteIntoBinThenForGood()
    {
        NodeTestWindow w;
        const int32_t folder = w.addNode(0, "folder", kNodeFolder);
        const int32_t child = w.addNode(folder, "child", kNodeText);
        w.select(w.item(folder));
        w.responder.answers << IDYES;
        w.form->ActionDeleteSelNode->trigger();
        QCOMPARE(w.responder.texts().last(), QString("确认要将\"folder\"放入回收站吗？"));
        QCOMPARE(w.responder.boxes.last().flags, MB_YESNO | MB_ICONQUESTION);
        QCOMPARE(w.stored(folder).Parent, -1);
        QCOMPARE(w.stored(child).Parent, folder);
        QCOMPARE(w.tree()->currentItem(), w.top());

        w.reopen();
        w.select(w.item(folder));
        QVERIFY(IsInRecycleBin(w.tree()->currentItem()));
        w.responder.answers << IDNO;
        w.form->ActionDeleteSelNode->trigger();
        QVERIFY(w.exists(folder));
        w.responder.answers << IDYES;
        w.form->ActionDeleteSelNode->trigger();
        QCOMPARE(w.responder.texts().last(), QString("确认要永久删除\"folder\"吗？"));
        QVERIFY(!w.exists(folder));
        QVERIFY(!w.exists(child));
        QVERIFY(!w.form->FindItemById(folder));

        w.select(w.top());
        QVERIFY(!w.form->ActionDeleteSelNode->isEnabled());
        w.form->ActionDeleteSelNodeExecute();   // the handler refuses as well
        QCOMPARE(w.responder.texts().last(), QString("不允许删除该节点。"));
        QCOMPARE(w.responder.boxes.last().flags, MB_ICONERROR);
    }

    void deleteAllChildrenAndEmptyBin()
    {
        NodeTestWindow w;
        const int32_t folder = w.addNode(0, "folder", kNodeFolder);
        const int32_t ids[] = {w.addNode(folder, "x", kNodeText), w.addNode(folder, "y", kNodeFolder),
                               w.addNode(folder, "z", kNodeText)};
        w.addNode(ids[1], "below", kNodeText);
        w.select(w.item(folder));
        w.responder.answers << IDYES;
        w.form->ActionDeleteAllChilds->trigger();
        QCOMPARE(w.responder.texts().last(), QString("确认要删除\"folder\"的所有子项（放入回收站）吗？"));
        for (int32_t id : ids)
            QCOMPARE(w.stored(id).Parent, -1);

        w.select(w.bin());
        w.form->UpdateActions();
        QCOMPARE(w.form->ActionDeleteAllChilds->text(), QString("清空回收站"));
        w.responder.answers << IDYES;
        w.form->ActionDeleteAllChilds->trigger();
        QCOMPARE(w.responder.texts().last(), QString("确认要清空回收站吗？"));
        QCOMPARE(w.bin()->childCount(), 0);
        w.reopen();   // committed
        for (int32_t id : ids)
            QVERIFY(!w.exists(id));
        QVERIFY(w.db().GetChildren(-1).empty());
        QCOMPARE(w.db().NodeCount(), 1);
    }

    // Every arrival of children sets the has-children flag, also where the
    // item was once found empty: the expand button and Shift+Del follow.
    void hasChildrenFollowsEveryArrival()
    {
        NodeTestWindow w;
        const int32_t big = w.addNode(0, "big", kNodeFolder);
        w.addNode(big, "inside", kNodeText);
        const int32_t empty = w.addNode(0, "empty", kNodeFolder);
        const int32_t dragged = w.addNode(0, "dragged", kNodeText);
        const int32_t cut = w.addNode(0, "cut", kNodeText);
        QTreeWidgetItem* emptyItem = w.item(empty);
        auto deleteAllEnabled = [&w](QTreeWidgetItem* item) {
            w.select(item);
            return w.form->ActionDeleteAllChilds->isEnabled();
        };
        QVERIFY(!deleteAllEnabled(w.bin()));   // learns that it is empty
        QVERIFY(!deleteAllEnabled(emptyItem));

        // Deleted into the bin.
        w.select(w.item(big));
        w.responder.answers << IDYES;
        w.form->ActionDeleteSelNode->trigger();
        QVERIFY(deleteAllEnabled(w.bin()));
        QCOMPARE(w.form->ActionDeleteAllChilds->text(), QString("清空回收站"));
        QCOMPARE(w.bin()->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);

        // Dragged into a folder found empty; it is empty again once the node leaves.
        QVERIFY(w.form->MoveItemUnder(w.item(dragged), emptyItem));
        QVERIFY(deleteAllEnabled(emptyItem));
        QVERIFY(w.form->MoveItemUnder(w.item(dragged), w.top()));
        QVERIFY(!deleteAllEnabled(emptyItem));

        // Pasted into a folder just made.
        w.select(w.top());
        newMenuEntry(w.form.get(), kNodeFolder)->trigger();
        QTreeWidgetItem* made = w.tree()->currentItem();
        w.tree()->closePersistentEditor(made);
        QVERIFY(!deleteAllEnabled(made));
        w.select(w.item(cut));
        w.form->ActionCutNode->trigger();
        w.select(made);
        w.form->ActionPaste->trigger();
        QCOMPARE(w.stored(cut).Parent, NodeDataOf(made).Id);
        QVERIFY(deleteAllEnabled(made));

        // Shift+Del empties the bin, which then has nothing to empty.
        w.select(w.bin());
        w.responder.answers << IDYES;
        w.form->ActionDeleteAllChilds->trigger();
        QVERIFY(!w.exists(big));
        QVERIFY(!deleteAllEnabled(w.bin()));
    }

    // A hand-over lands under the selected folder, or beside a selected node
    // that is no folder: files and addresses in a row never nest.
    void handOversLandBesideTheSelection()
    {
        NodeTestWindow w;
        const int32_t folder = w.addNode(0, "folder", kNodeFolder);
        const int32_t text = w.addNode(folder, "text", kNodeText);
        QStringList files;
        for (const char* name : {"one.bin", "two.bin", "three.bin"}) {
            files << w.dir.path() + QLatin1Char('/') + QLatin1String(name);
            QFile file(files.last());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write("x") == 1);
        }
        w.select(w.item(folder));
        for (const QString& file : files)
            w.form->ReceivePath(QStringLiteral("file://") + file);
        QCOMPARE(NodeTestWindow::children(w.item(folder)), QString("text|one.bin|two.bin|three.bin"));
        w.select(w.item(text));
        w.form->ReceivePath(QStringLiteral("http://example.com"));
        w.tree()->closePersistentEditor(w.tree()->currentItem());
        w.form->ReceivePath(QStringLiteral("http://example.org"));
        w.tree()->closePersistentEditor(w.tree()->currentItem());
        QCOMPARE(NodeTestWindow::children(w.item(folder)),
                 QString("text|one.bin|two.bin|three.bin|example.com|example.org"));
        QCOMPARE(w.item(text)->childCount(), 0);
    }

    // A caption edit that changes nothing writes nothing; a new caption of the
    // shown node replaces "请输入标题" in the status bar.
    void captionEditStatusAndModifiedTime()
    {
        NodeTestWindow w;
        const int32_t id = w.addNode(0, "same", kNodeText);
        QTreeWidgetItem* item = w.item(id);
        w.select(item);
        const double modified = w.stored(id).Modified;
        QTest::qWait(1100);   // a new time would differ
        QVERIFY(w.form->CaptionEdited(item, QStringLiteral("same")));
        QCOMPARE(w.stored(id).Modified, modified);

        w.select(w.top());
        newMenuEntry(w.form.get(), kNodeText)->trigger();
        QTreeWidgetItem* made = w.tree()->currentItem();
        QTRY_COMPARE(w.form->Status()->PanelText(5), QString("请输入标题"));
        QVERIFY(w.form->CaptionEdited(made, QStringLiteral("笔记")));
        QCOMPARE(w.form->Status()->PanelText(5), QString("笔记"));
    }

    // The modified-time panel follows the selection: a file node without a
    // preview shows its own time, cards and the two fixed items "修改时间:".
    void modifiedTimePanelFollowsTheSelection()
    {
        NodeTestWindow w;
        const int32_t text = w.addNode(0, "text.txt", kNodeText, "t");
        const int32_t file = w.addNode(0, "data.bin", kNodeFile, "bytes");
        const int32_t card = w.addNode(0, "card", kNodeCard);
        CaseNode node = w.stored(file);
        node.Modified = 40000.5;
        QVERIFY(w.db().SaveNode(node) && w.db().Commit());
        const QString fileTime = QString::fromStdString(AnsiToUtf8(node.FormatModified()));
        const struct { QTreeWidgetItem* item; QString panel; } cases[] = {
            {w.item(file), QStringLiteral("修改时间:") + fileTime},
            {w.item(card), QStringLiteral("修改时间:")},
            {w.bin(), QStringLiteral("修改时间:")},
            {w.top(), QStringLiteral("修改时间:")},
        };
        for (const auto& c : cases) {
            w.select(w.item(text));
            w.select(c.item);
            QCOMPARE(w.form->Status()->PanelText(4), c.panel);
        }
    }

    // End in a chain of 1,000 nested folders selects its last item.
    void endKeyInADeepChain()
    {
        NodeTestWindow w;
        int32_t parent = 0;
        for (int i = 0; i < 1000; ++i) {
            CaseNode node;
            node.Id = w.db().TakeNextId(false);
            node.Parent = parent;
            node.Order = 1;
            node.Caption = "level" + std::to_string(i);
            QVERIFY(w.db().AddNode(node));
            parent = node.Id;
        }
        QVERIFY(w.db().Commit());
        w.form->CreateSpecialItems();
        QVERIFY(w.form->SelectNodeById(parent));
        w.select(w.top());
        QTest::keyClick(w.tree(), Qt::Key_End);
        QVERIFY(w.tree()->currentItem());
        QCOMPARE(w.tree()->currentItem()->text(0), QString("level999"));
    }

    void layouts()
    {
        NodeTestWindow w;
        auto* panel = w.form->findChild<QWidget*>(QStringLiteral("PanelNav"));
        auto* central = w.form->centralWidget();
        w.form->UpdateActions();
        QVERIFY(w.form->ActionMainLayoutSplit->isChecked());
        w.form->ActionMainLayoutSplit->trigger();   // layout 2: hidden
        QVERIFY(!panel->isVisible());
        w.form->UpdateActions();
        QCOMPARE(w.form->ActionMainLayoutSplit->text(), QString("显示导航窗口"));
        w.form->ApplyLayout(1);   // the mouse at the left edge: slides in over the content
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->x(), 0);
        QCOMPARE(panel->width(), central->width() / 3);
        w.form->ActionMainLayoutSplit->trigger();   // docked again
        QCOMPARE(panel->parentWidget(), central);
        QVERIFY(panel->isVisible());
        w.form->UpdateActions();
        QCOMPARE(w.form->ActionMainLayoutSplit->text(), QString("隐藏导航窗口"));
    }

    // Every way the program moves the selection asks about the shown node's
    // edits first; 取消 keeps that node selected with its text. A jump to the
    // shown node itself asks nothing and keeps the edits.
    void everySelectionChangeAsksFirst_data()
    {
        QTest::addColumn<QString>("way");
        QTest::addColumn<bool>("asks");
        QTest::newRow("bookmark") << "bookmark" << true;
        QTest::newRow("bookmark of the shown node") << "bookmark of itself" << false;
        QTest::newRow("find") << "find" << true;
        QTest::newRow("search hit") << "select by id" << true;
        QTest::newRow("hand-over of a file") << "hand-over file" << true;
        QTest::newRow("hand-over of an address") << "hand-over address" << true;
        QTest::newRow("paste as text") << "paste as text" << true;
        QTest::newRow("new node") << "new node" << true;
    }
    void everySelectionChangeAsksFirst()
    {
        QFETCH(QString, way);
        QFETCH(bool, asks);
        NodeTestWindow w;
        const int32_t edited = w.addNode(0, "edited", kNodeText, "one");
        const int32_t folder = w.addNode(0, "folder", kNodeFolder);
        const int32_t target = w.addNode(folder, "target", kNodeText, "two");
        for (int32_t id : {target, edited}) {
            w.select(w.item(id));
            w.form->ActionToggleBookmark->trigger();
        }
        w.form->CreateSpecialItems();   // the target's folder not loaded
        w.select(w.item(edited));
        auto* editor = w.form->findChild<QTextEdit*>(QStringLiteral("RichEditText"));
        editor->moveCursor(QTextCursor::End);
        editor->insertPlainText(QStringLiteral("更多"));
        auto* bookmarks = w.form->findChild<QMenu*>(QStringLiteral("MenuItemBookmarks"));
        const QString file = w.dir.path() + QStringLiteral("/handed.txt");
        QFile handed(file);
        QVERIFY(handed.open(QIODevice::WriteOnly));
        handed.write("handed");
        handed.close();
        w.responder.answers << IDCANCEL;
        if (way == "bookmark") {
            bookmarks->actions()[1]->trigger();   // target: set first, listed last
        } else if (way == "bookmark of itself") {
            bookmarks->actions()[0]->trigger();
        } else if (way == "find") {
            TfrmFindNode find(*w.form);
            find.EditCaption->setText(QStringLiteral("target"));
            find.CheckBoxUnexpanded->setChecked(true);
            find.BitBtnFindClick();
        } else if (way == "select by id") {
            QVERIFY(w.form->SelectNodeById(target));
        } else if (way == "hand-over file") {
            w.form->ReceivePath(QStringLiteral("file://") + file);
        } else if (way == "hand-over address") {
            w.form->ReceivePath(QStringLiteral("http://127.0.0.1"));
        } else if (way == "paste as text") {
            QApplication::clipboard()->setText(QStringLiteral("剪贴"));
            w.form->PasteAs(kNodeText);
        } else {
            w.form->NewSubItemClick(kNodeFolder, 28);
        }
        QTest::qWait(200);   // the delayed change notification, had the selection moved
        if (asks)
            QCOMPARE(w.responder.texts(), QStringList{"您已经修改了\"edited\"的内容，要保存吗？"});
        else
            QVERIFY(w.responder.boxes.isEmpty());
        QCOMPARE(NodeDataOf(w.tree()->currentItem()).Id, edited);
        QCOMPARE(editor->toPlainText(), QString("one更多"));
        QVERIFY(w.form->IsModified());

        // 是 saves, then the bookmark shows its node.
        w.responder.answers = {IDYES};
        bookmarks->actions()[1]->trigger();
        QTRY_COMPARE(NodeDataOf(w.tree()->currentItem()).Id, target);
        QTRY_COMPARE(editor->toPlainText(), QString("two"));
        QCOMPARE(w.stored(edited).DataBytes(), Utf8ToAnsi("one更多"));
    }

    void bookmarks()
    {
        NodeTestWindow w;
        const int32_t a = w.addNode(0, "A", kNodeText);
        const int32_t b = w.addNode(0, "B", kNodeFolder);
        const int32_t c = w.addNode(0, "C", kNodeText);
        auto* menu = w.form->findChild<QMenu*>(QStringLiteral("MenuItemBookmarks"));
        QVERIFY(!menu->menuAction()->isEnabled());
        for (int32_t id : {a, b, c}) {
            w.select(w.item(id));
            w.form->ActionToggleBookmark->trigger();
        }
        QCOMPARE(menuTexts(menu), (QStringList{"C", "B", "A"}));
        QVERIFY(menu->menuAction()->isEnabled());
        w.select(w.item(a));
        w.form->UpdateActions();
        QCOMPARE(w.form->ActionToggleBookmark->text(), QString("取消书签"));
        w.select(w.bin());
        w.form->UpdateActions();
        QVERIFY(!w.form->ActionToggleBookmark->isEnabled());
        QCOMPARE(w.form->ActionToggleBookmark->text(), QString("设为书签"));

        // Refused while the shown node is modified.
        w.select(w.item(a));
        w.form->SetModified(true);
        w.form->ActionToggleBookmark->trigger();
        QCOMPARE(w.responder.texts().last(), QString("数据正被修改，必须先保存数据才能设为或取消书签。"));
        QVERIFY(w.db().IsBookmark(a));
        w.form->SetModified(false);

        // Moved into the recycle bin: still listed, choosing it selects it there.
        QVERIFY(w.db().MoveNode(b, -1));
        QVERIFY(w.db().Commit());
        menu->actions()[1]->trigger();
        QCOMPARE(NodeDataOf(w.tree()->currentItem()).Id, b);
        QVERIFY(IsInRecycleBin(w.tree()->currentItem()));

        // Deleted for good: choosing it removes the bookmark with the message.
        QVERIFY(w.db().DeleteNode(c));
        QVERIFY(w.db().Commit());
        menu->actions()[0]->trigger();
        QCOMPARE(w.responder.texts().last(), QString("书签\"C\"指向的节点已经不存在，该书签已被取消。"));
        QVERIFY(!w.db().IsBookmark(c));
        QCOMPARE(menuTexts(menu), (QStringList{"B", "A"}));
    }

    // A damaged file: two nodes each other's parent (the selection remembered
    // on one of them, a bookmark on the other) and a node whose parent is
    // missing. The database opens and shows what the top level reaches.
    void damagedTreeOpensWithWhatIsReachable()
    {
        NodeTestWindow w;
        w.addNode(0, "kept", kNodeFolder);
        const int32_t a = w.addNode(0, "a", kNodeFolder);
        const int32_t b = w.addNode(a, "b", kNodeText);
        const int32_t lost = w.addNode(0, "lost", kNodeText);
        QVERIFY(w.form->CloseDatabase());
        {
            CaseDB db;
            QCOMPARE(db.Open(w.file.toStdString(), false), int(CaseDB::kOpened));
            QVERIFY(db.Login("pw"));
            for (auto [id, parent] : {std::pair{a, b}, std::pair{lost, 999}}) {
                CaseNode node;
                QVERIFY(db.GetNode(id, node, true));
                node.Parent = parent;
                QVERIFY(db.SaveNode(node));
            }
            QVERIFY(db.SetParamInt("SelectedId", b));
            QVERIFY(db.AddBookmark(a));   // commits
        }
        w.responder.dialogs << NodeTestWindow::login();
        QVERIFY(w.form->OpenDatabase(w.file, false, false));
        w.form->LoadChildren(w.top());
        QCOMPARE(NodeTestWindow::children(w.top()), QString("kept"));
        QVERIFY(!w.form->SelectNodeById(b));
        QVERIFY(!w.form->SelectNodeById(lost));
        auto* menu = w.form->findChild<QMenu*>(QStringLiteral("MenuItemBookmarks"));
        menu->actions()[0]->trigger();   // reaches the same walk
        QCOMPARE(w.responder.texts().last(), QString("书签\"a\"指向的节点不在树中，数据库的结构已损坏。"));
        QVERIFY(w.db().IsBookmark(a));
    }

    // A chain of folders deeper than the view can lay out (a stack frame a
    // level): the database remembered on its deepest node opens on the
    // deepest level the tree shows, 10,000.
    void deepChainOpensOnItsDeepestNode()
    {
        NodeTestWindow w;
        const int depth = 30000;
        QVERIFY(w.form->CloseDatabase());
        {
            CaseDB db;
            QCOMPARE(db.Open(w.file.toStdString(), false), int(CaseDB::kOpened));
            QVERIFY(db.Login("pw"));
            for (int32_t id = 1; id <= depth; ++id) {
                CaseNode node;
                node.Id = id;
                node.Parent = id - 1;
                node.Order = 1;
                node.Caption.assign(1, 'd');
                node.SetDataFromText("");
                QVERIFY(db.AddNode(node));
            }
            QVERIFY(db.SetParamInt("SelectedId", depth));
            QVERIFY(db.Commit());
        }
        w.responder.dialogs << NodeTestWindow::login();
        QVERIFY(w.form->OpenDatabase(w.file, false, false));
        QCOMPARE(NodeDataOf(w.tree()->currentItem()).Id, 10000);
        QTreeWidgetItem* deepest = w.tree()->currentItem();
        w.form->LoadChildren(deepest);
        QCOMPARE(deepest->childCount(), 0);
        QVERIFY(w.form->CloseDatabase());
    }

    // The password check value damaged while the password still opens the
    // captions: the window says so and opens the database.
    void damagedPasswordCheckIsSaidAndTheDatabaseOpens()
    {
        NodeTestWindow w;
        const int32_t id = w.addNode(0, "note", kNodeText);
        QVERIFY(w.form->CloseDatabase());
        {
            CaseDB db;
            QCOMPARE(db.Open(w.file.toStdString(), false), int(CaseDB::kOpened));
            QVERIFY(db.Login("pw"));
            QVERIFY(db.SetParam("PassCheckSum", "?"));
            QVERIFY(db.Commit());
        }
        w.responder.dialogs << NodeTestWindow::login();
        QVERIFY(w.form->OpenDatabase(w.file, false, false));
        QVERIFY(w.responder.texts().last().contains(QStringLiteral("校验值已损坏")));
        QVERIFY(w.form->SelectNodeById(id));
        QCOMPARE(w.tree()->currentItem()->text(0), QString("note"));
    }
};

int main(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestNavTree test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_navtree.moc"
