// The small windows of the main window on a real database: find node, node
// properties, the about box, the options, and the calling-card dialog with
// its new-card and open-card paths.
#include "NodeTestWindow.h"

#include "app/AboutBox.h"
#include "app/CardForm.h"
#include "app/CaseNodeData.h"
#include "app/FilePreview.h"
#include "app/FindNode.h"
#include "app/NodeProp.h"
#include "app/Options.h"
#include "kellib/qt/KELDesktopApps.h"

#include <QAction>
#include <QColorDialog>
#include <QComboBox>
#include <QFontDialog>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QTextEdit>

#include <climits>
#include <fstream>

using namespace xml;

namespace {

QString selectedCaption(QTreeWidget* tree)
{
    return tree->currentItem() ? tree->currentItem()->text(0) : QStringLiteral("<none>");
}

// Sets the find window's controls, presses the find button `presses` times
// and returns what was selected after each press ("<none>" for no selection).
QStringList find(NodeTestWindow& w, const QString& text, bool caseSensitive, bool exactly, bool unexpanded,
                 int presses = 1)
{
    QStringList selected;
    w.responder.dialogs << [&](QDialog* d) {
        auto* f = qobject_cast<TfrmFindNode*>(d);
        QVERIFY(f);
        f->EditCaption->setText(text);
        f->CheckBoxCase->setChecked(caseSensitive);
        f->CheckBoxExactly->setChecked(exactly);
        f->CheckBoxUnexpanded->setChecked(unexpanded);
        for (int i = 0; i < presses; ++i) {
            f->BitBtnFind->click();
            selected << selectedCaption(w.tree());
        }
        f->reject();
    };
    w.form->UpdateActions();
    w.form->ActionFindNode->trigger();
    return selected;
}

// Controls of the card dialog by field.
QString fieldText(TFormCallingCard* f, CardField field)
{
    QWidget* control = f->Field(field);
    if (auto* list = qobject_cast<QComboBox*>(control))
        return list->currentText();
    if (auto* memo = qobject_cast<QPlainTextEdit*>(control))
        return memo->toPlainText();
    return qobject_cast<QLineEdit*>(control)->text();
}

void setFieldText(TFormCallingCard* f, CardField field, const QString& text)
{
    QWidget* control = f->Field(field);
    if (auto* list = qobject_cast<QComboBox*>(control)) {
        list->setCurrentIndex(list->findText(text));
        QCOMPARE(list->currentText(), text);
    } else if (auto* memo = qobject_cast<QPlainTextEdit*>(control)) {
        memo->setPlainText(text);
    } else {
        qobject_cast<QLineEdit*>(control)->setText(text);
    }
}

using CardTexts = std::array<QString, kCardFieldCount>;

} // namespace

class TestDialogs : public QObject {
    Q_OBJECT

private slots:
    void findInLoadedItems()
    {
        NodeTestWindow w;
        const int32_t a = w.addNode(kParentTop, "A", kNodeFolder);
        w.addNode(a, "ABC", kNodeText);
        w.addNode(a, "xAbCx", kNodeText);
        w.addNode(a, "  abc  ", kNodeText);
        w.addNode(a, "xabc", kNodeText);
        const int32_t last = w.addNode(kParentTop, "last", kNodeText);
        w.select(w.item(last));   // loads the top level and A's children stay unloaded
        w.select(w.item(a));

        // Next match after the selection, then the next one below it.
        QCOMPARE(find(w, QStringLiteral("abc"), false, false, false, 3),
                 (QStringList{"ABC", "xAbCx", "  abc  "}));
        w.select(w.item(a));
        QCOMPARE(find(w, QStringLiteral("abc"), false, true, false, 3), (QStringList{"ABC", "  abc  ", "  abc  "}));
        QCOMPARE(w.responder.texts().last(), QString("没有找到符合条件的节点。"));
        w.select(w.item(a));
        QCOMPARE(find(w, QStringLiteral("AbC"), true, false, false), QStringList{"xAbCx"});
        w.select(w.item(a));
        QCOMPARE(find(w, QStringLiteral(" abc "), true, true, false), QStringList{"  abc  "});

        // From the last item nothing follows, though earlier items match; no wrap-around.
        w.select(w.item(last));
        const int boxes = w.responder.boxes.size();
        QCOMPARE(find(w, QStringLiteral("abc"), false, false, false), QStringList{"last"});
        QCOMPARE(w.responder.boxes.size(), boxes + 1);
        QCOMPARE(w.responder.texts().last(), QString("没有找到符合条件的节点。"));

        // The settings are kept for the next time.
        QCOMPARE(ReadString("Default", "FindText"), QString("abc"));
        QCOMPARE(ReadString("Default", "FindCaseSensitive"), QString("false"));
        w.responder.dialogs << [](QDialog* d) {
            auto* f = qobject_cast<TfrmFindNode*>(d);
            QCOMPARE(f->EditCaption->text(), QString("abc"));
            QVERIFY(f->BitBtnFind->isEnabled());
            f->EditCaption->setText(QStringLiteral("   "));
            QVERIFY(!f->BitBtnFind->isEnabled());
        };
        w.form->ActionFindNode->trigger();
    }

    void findWithoutSelectionSkipsTheFirstItem()
    {
        NodeTestWindow w;
        w.addNode(kParentTop, "回收站 copy", kNodeText);
        w.item(kParentTop);   // a fresh tree with its two fixed items
        w.tree()->setCurrentItem(nullptr);
        QCOMPARE(find(w, QStringLiteral("回收站"), true, true, false), QStringList{"<none>"});
        QCOMPARE(w.responder.texts().last(), QString("没有找到符合条件的节点。"));
        QCOMPARE(find(w, QStringLiteral("我的公文包"), true, true, false), QStringList{"我的公文包"});

        w.tree()->clear();
        TfrmFindNode dialog(*w.form);
        dialog.EditCaption->setText(QStringLiteral("x"));
        dialog.BitBtnFindClick();
        QCOMPARE(w.responder.texts().last(), QString("没有任何节点。"));
    }

    void findInFoldersNeverExpanded()
    {
        NodeTestWindow w;
        const int32_t folder = w.addNode(kParentTop, "folder", kNodeFolder);
        const int32_t inner = w.addNode(folder, "inner", kNodeFolder);
        const int32_t hidden = w.addNode(inner, "hidden target", kNodeText);
        const int32_t after = w.addNode(kParentTop, "after target", kNodeText);
        const int32_t binned = w.addNode(kParentRecycleBin, "binned target", kNodeText);
        w.select(w.item(after));
        w.select(w.top());
        QVERIFY(!w.form->FindItemById(hidden));

        // Without the new check box only loaded items are searched.
        QCOMPARE(find(w, QStringLiteral("target"), false, false, false), QStringList{"after target"});
        w.select(w.top());
        QCOMPARE(find(w, QStringLiteral("hidden"), false, false, false), QStringList{"我的公文包"});
        QVERIFY(!w.form->FindItemById(hidden));

        // With it, in tree order: the node inside the never-expanded folders
        // comes before the later sibling, and its folders are loaded.
        QCOMPARE(find(w, QStringLiteral("target"), false, false, true, 2),
                 (QStringList{"hidden target", "after target"}));
        QCOMPARE(NodeDataOf(w.tree()->currentItem()).Id, after);
        QVERIFY(w.form->FindItemById(inner)->isExpanded());
        QVERIFY(!w.form->FindItemById(binned));   // the bin lies before the selection

        // From the first item the recycle bin's unloaded content is searched first.
        w.select(w.bin());
        QCOMPARE(find(w, QStringLiteral("target"), false, false, true), QStringList{"binned target"});
        QCOMPARE(ReadString("Default", "FindUnexpanded"), QString("true"));

        // Once expanded, the plain search finds it too.
        w.select(w.top());
        QCOMPARE(find(w, QStringLiteral("hidden"), false, false, false), QStringList{"hidden target"});
    }

    void nodeProperties()
    {
        NodeTestWindow w;
        const int32_t folder = w.addNode(kParentTop, "folder", kNodeFolder);
        const int32_t child = w.addNode(folder, "child", kNodeFolder);
        w.addNode(folder, "leaf", kNodeText);
        for (const char* caption : {"g1", "g2", "g3"})
            w.addNode(child, caption, kNodeText);

        QString created;
        int folderHeight = 0;
        w.responder.dialogs << [&](QDialog* d) {
            auto* p = qobject_cast<TFormNodeProp*>(d);
            QVERIFY(p);
            QCOMPARE(p->windowTitle(), QString("属性"));
            QCOMPARE(p->LabelParent->text(), QString("我的公文包"));
            QCOMPARE(p->LabelCaption->text(), QString("folder"));
            QCOMPARE(p->LabelType->text(), QString("资料夹"));
            QCOMPARE(p->LabelSubs->text(), QString("5"));
            QVERIFY(QRegularExpression("^\\d{4}年\\d\\d月\\d\\d日 \\d\\d时\\d\\d分\\d\\d秒$").match(p->LabelCreated->text()).hasMatch());
            QCOMPARE(p->LabelModified->text(), p->LabelCreated->text());   // never modified
            QVERIFY(p->PanelExtProp->isHidden());
            p->adjustSize();
            folderHeight = p->sizeHint().height();
        };
        w.select(w.item(folder));
        QVERIFY(w.form->ActionNodeProp->isEnabled());
        const int run = w.responder.dialogsRun;
        w.form->ActionNodeProp->trigger();
        QCOMPARE(w.responder.dialogsRun, run + 1);

        // A file node: the five file lines, file times as stored (UTC).
        const QString path = w.dir.path() + QStringLiteral("/report.txt");
        std::ofstream(path.toStdString()) << "12345";
        CaseNode file;
        QVERIFY(file.LoadFromFile(path.toStdString(), true));
        file.SetAttr("FModifyLow", std::to_string(int32_t(UnixToFileTime(86400 * 365, 0) & 0xFFFFFFFF)));
        file.SetAttr("FModifyHigh", std::to_string(int32_t(UnixToFileTime(86400 * 365, 0) >> 32)));
        file.Id = w.db().TakeNextId(false);
        file.Parent = kParentTop;
        file.Type = kNodeFile;
        file.Caption = "report.txt";
        QVERIFY(w.db().AddNode(file) && w.db().Commit());
        CaseNode bare = file;   // a file node whose file times could not be read
        bare.Id = w.db().TakeNextId(false);
        bare.Caption = "bare.bin";
        for (const char* key : {"FCreateLow", "FCreateHigh", "FModifyLow", "FModifyHigh"})
            bare.SetAttr(key, "");
        QVERIFY(w.db().AddNode(bare) && w.db().Commit());
        QStringList lines, bareLines;
        int fileHeight = 0;
        w.responder.dialogs << [&](QDialog* d) {
            auto* p = qobject_cast<TFormNodeProp*>(d);
            QVERIFY(!p->PanelExtProp->isHidden());
            QCOMPARE(p->LabelType->text(), QString("文件"));
            for (int i = 0; i < p->ListBoxExtProp->count(); ++i)
                lines << p->ListBoxExtProp->item(i)->text();
            fileHeight = p->sizeHint().height();
        };
        w.form->CreateSpecialItems();   // the tree loads the two new nodes afresh
        w.select(w.item(file.Id));
        w.form->ActionNodeProp->trigger();
        QCOMPARE(lines.size(), 5);
        QCOMPARE(lines[0], QString("    文件名:report.txt"));
        QCOMPARE(lines[1], QString("  文件大小:5"));
        QCOMPARE(lines[2], QString("  导入日期:") + QString::fromStdString(AnsiToUtf8(file.FormatCreated())));
        QCOMPARE(lines[3], QString("  创建时间:") + QString::fromStdString(AnsiToUtf8(file.FormatFileCreated())));
        QCOMPARE(lines[4], QString("  修改时间:1971年01月01日 00时00分00秒"));
        QVERIFY(fileHeight > folderHeight);   // the window shrinks without the panel

        bareLines = FileFactLines(w.stored(bare.Id, false));
        QCOMPARE(bareLines[3], QString("  创建时间:未知"));
        QCOMPARE(bareLines[4], QString("  修改时间:未知"));

        // Not for the fixed items.
        w.select(w.top());
        QVERIFY(!w.form->ActionNodeProp->isEnabled());
    }

    void aboutBox()
    {
        NodeTestWindow w;
        const int before = w.responder.dialogsRun;
        int inner = -1;
        w.responder.dialogs << [&](QDialog* d) {
            auto* box = qobject_cast<TAboutBox*>(d);
            QVERIFY(box);
            QVERIFY(box->windowFlags() & Qt::WindowStaysOnTopHint);
            QCOMPARE(box->ProductName->text(), QString("Vaultleaf"));
            QCOMPARE(box->Version->text(), QString("版本:") + QString(VAULTLEAF_VERSION_TEXT));
            QVERIFY(!box->ProgramIcon->pixmap().isNull());
            for (QLabel* link : {box->Email, box->Homepage}) {
                QCOMPARE(link->cursor().shape(), Qt::PointingHandCursor);
                const QString href = QRegularExpression("href=\"([^\"]+)\"").match(link->text()).captured(1);
                emit link->linkActivated(href);
            }
            // A second request while it is open makes no second box.
            w.form->ActionAbout->trigger();
            inner = w.responder.dialogsRun;
        };
        w.form->UpdateActions();
        w.form->ActionAbout->trigger();
        QCOMPARE(inner, before + 1);
        QCOMPARE(w.responder.shells.size(), 2);
        QCOMPARE(w.responder.shells[0].verb, QString("open"));
        QCOMPARE(w.responder.shells[0].file, QString("mailto:") + TAboutBox::kEmail + "?subject=About Vaultleaf");
        QCOMPARE(w.responder.shells[1].file, QString(TAboutBox::kHomepage));
    }

    void optionsWithoutDatabase()
    {
        NodeTestWindow w;
        QVERIFY(w.form->CloseDatabase());
        w.form->UpdateActions();
        QVERIFY(w.form->ActionOption->isEnabled());
        w.responder.dialogs << [](QDialog* d) {
            auto* o = qobject_cast<TFormOption*>(d);
            QVERIFY(o);
            QCOMPARE(o->PageControlOption->tabText(1), QString("数据库配置"));
            for (QWidget* c : std::initializer_list<QWidget*>{o->CheckBoxRememberPassword, o->EditHtmlPreviewExt,
                                                              o->EditTextPreviewExt, o->ButtonDefaultExt})
                QVERIFY(!c->isEnabled());
            QVERIFY(o->TabSheetDatabase->isEnabled());   // visible, its controls disabled
            o->CheckBoxMinimizedAskForLogin->setChecked(true);
            o->ButtonOK->click();
        };
        w.form->ActionOption->trigger();
        QVERIFY(w.form->ActionMinimizedAskForLogin->isChecked());
        QVERIFY(!ReadString("Nav", "FontName").isEmpty());         // the fonts are applied and stored
        QVERIFY(ReadString("Nav", "BgColor").isEmpty());           // an unchanged colour is not
    }

    void optionsOnDatabase()
    {
        NodeTestWindow w;
        QVERIFY(w.db().SetParamBool("RememberPassword", true));
        QVERIFY(w.db().SetParam("RememberedPassword", "sealed password"));
        QVERIFY(w.db().SetParam("TextPreviewExt", ".txt"));
        QVERIFY(w.db().Commit());
        w.responder.dialogs << [](QDialog* d) {
            auto* o = qobject_cast<TFormOption*>(d);
            QVERIFY(o->CheckBoxRememberPassword->isChecked());
            QCOMPARE(o->EditTextPreviewExt->text(), QString(".txt"));
            QCOMPARE(o->EditHtmlPreviewExt->text(), QString(kDefaultHtmlPreviewExt));   // absent: the default
            o->ButtonDefaultExtClick();
            QVERIFY(!o->CheckBoxRememberPassword->isChecked());
            QVERIFY(o->EditTextPreviewExt->text().contains("*.pas"));
            QCOMPARE(o->EditHtmlPreviewExt->text().count(".nsf"), 2);
            o->EditHtmlPreviewExt->setText(QStringLiteral(".htm;.中文"));
            o->ButtonOK->click();
        };
        w.form->ActionOption->trigger();
        w.reopen();   // what follows was committed
        QCOMPARE(w.db().GetParam("RememberedPassword", "x"), std::string());
        QCOMPARE(w.db().GetParam("RememberPassword", ""), std::string("False"));
        QCOMPARE(AnsiToUtf8(w.db().GetParam("HtmlPreviewExt", "")), std::string(".htm;.中文"));
        QCOMPARE(w.db().GetParam("TextPreviewExt", ""), std::string(kDefaultTextPreviewExt));

        // Cancel writes nothing.
        w.responder.dialogs << [](QDialog* d) {
            auto* o = qobject_cast<TFormOption*>(d);
            o->CheckBoxRememberPassword->setChecked(true);
            o->ButtonCancel->click();
        };
        w.form->ActionOption->trigger();
        QCOMPARE(w.db().GetParam("RememberPassword", ""), std::string("False"));
    }

    void optionsFontsColoursAndDefaults()
    {
        NodeTestWindow w;
        const int32_t text = w.addNode(kParentTop, "text", kNodeText, "hello");
        w.select(w.item(text));
        w.form->TextEditor()->insertPlainText(QStringLiteral("edit "));
        QVERIFY(w.form->IsModified());
        const QFont chosen(QStringLiteral("DejaVu Sans"), 14);
        w.responder.dialogs << [&](QDialog* d) {
            auto* o = qobject_cast<TFormOption*>(d);
            QCOMPARE(o->PanelEditSettings->font().family(), w.form->TextEditor()->font().family());
            w.responder.dialogs << [&](QDialog* f) {
                qobject_cast<QFontDialog*>(f)->setCurrentFont(chosen);
                f->accept();
            };
            o->Button3->click();
            w.responder.dialogs << [](QDialog* c) {
                qobject_cast<QColorDialog*>(c)->setCurrentColor(QColor(255, 0, 0));
                c->accept();
            };
            o->Button2->click();
            w.responder.dialogs << [](QDialog* c) { c->reject(); };   // a cancelled dialog changes nothing
            o->Button4->click();
            o->ButtonOK->click();
        };
        w.form->ActionOption->trigger();
        QCOMPARE(w.form->TextEditor()->font().pointSize(), 14);
        QCOMPARE(ReadString("EditText", "FontSize"), QString("14"));
        QVERIFY(w.form->IsModified());   // a font change is no edit
        QCOMPARE(TFormMain::BackgroundOf(w.form->NavTree()), QColor(255, 0, 0));
        QCOMPARE(ReadString("Nav", "BgColor"), QString::number(0xFF));

        // The defaults of the basic page: the designed font, black on the window colour.
        w.responder.dialogs << [](QDialog* d) {
            auto* o = qobject_cast<TFormOption*>(d);
            o->CheckBoxAutoRun->setChecked(true);
            o->Button5Click();
            QVERIFY(!o->CheckBoxAutoRun->isChecked());
            QCOMPARE(o->PanelEditSettings->font(), TFormMain::DefaultFont());
            o->ButtonOK->click();
        };
        w.form->ActionOption->trigger();
        QCOMPARE(w.form->TextEditor()->font().pointSize(), 9);
        QCOMPARE(TFormMain::FontColorOf(w.form->NavTree()), QColor(Qt::black));
        QCOMPARE(TFormMain::BackgroundOf(w.form->NavTree()), QGuiApplication::palette().color(QPalette::Base));
    }

    void autostartAndBrowserEntries()
    {
        NodeTestWindow w;
        qputenv("XDG_DATA_HOME", w.dir.path().toUtf8() + "/data");
        const QString autostart = w.dir.path() + QStringLiteral("/xdg/autostart/Vaultleaf.desktop");
        auto run = [&w](bool autoRun, bool sendTo, bool* shownAutoRun = nullptr, bool* shownSendTo = nullptr) {
            w.responder.dialogs << [=](QDialog* d) {
                auto* o = qobject_cast<TFormOption*>(d);
                if (shownAutoRun)
                    *shownAutoRun = o->CheckBoxAutoRun->isChecked();
                if (shownSendTo)
                    *shownSendTo = o->CheckBoxAddIESendTo->isChecked();
                o->CheckBoxAutoRun->setChecked(autoRun);
                o->CheckBoxAddIESendTo->setChecked(sendTo);
                o->ButtonOK->click();
            };
            w.form->ActionOption->trigger();
        };
        run(true, true);
        QVERIFY(QFile::exists(autostart));
        QFile entry(autostart);
        QVERIFY(entry.open(QIODevice::ReadOnly));
        const QString autostartText = QString::fromUtf8(entry.readAll());
        QVERIFY(autostartText.contains(QStringLiteral("Exec=") + QCoreApplication::applicationFilePath()));
        QVERIFY(autostartText.contains(QStringLiteral("Name=Vaultleaf")));

        QFile sendTo(SendToEntryPath());
        QVERIFY(SendToEntryPath().startsWith(w.dir.path() + "/data/applications/"));
        QVERIFY(sendTo.open(QIODevice::ReadOnly));
        const QString sendToText = QString::fromUtf8(sendTo.readAll());
        QVERIFY(sendToText.contains(QStringLiteral("Name=发送到Vaultleaf")));
        QVERIFY(sendToText.contains(QStringLiteral("Exec=")));
        // It names no type, so it never becomes the program for web pages
        // (nor for the program's own help) where the user chose none.
        QVERIFY(!sendToText.contains(QStringLiteral("MimeType")));
        sendTo.close();
        // An entry of an earlier version that claims web pages is written anew
        // at start; one that claims none is left as it is.
        for (const bool claims : {true, false}) {
            QVERIFY(sendTo.open(QIODevice::WriteOnly | QIODevice::Truncate));
            sendTo.write(claims ? "[Desktop Entry]\nExec=old\nMimeType=text/html;\n" : "[Desktop Entry]\nExec=old\n");
            sendTo.close();
            RepairSendToEntry();
            QVERIFY(sendTo.open(QIODevice::ReadOnly));
            const QByteArray repaired = sendTo.readAll();
            sendTo.close();
            QVERIFY(!repaired.contains("MimeType"));
            QCOMPARE(repaired.contains("Exec=old"), !claims);
        }
        QVERIFY(CreateSendToEntry(QCoreApplication::applicationFilePath()));
        qputenv("XDG_DATA_DIRS", w.dir.path().toUtf8() + "/system");
        for (const char* type : {"text/html", "application/xhtml+xml"})
            QCOMPARE(DefaultApplication(QLatin1String(type)), QString());
        qunsetenv("XDG_DATA_DIRS");
        const QString program = QCoreApplication::applicationFilePath();
        QCOMPARE(RootReadString(KelRoot::CurrentUser,
                                QStringLiteral("Software\\Microsoft\\Internet Explorer\\MenuExt\\发送到Vaultleaf"), QString()),
                 program + QStringLiteral(".htm"));
        QCOMPARE(RootReadString(KelRoot::CurrentUser, QStringLiteral("Software\\Vaultleaf\\Setup"),
                                QStringLiteral("InstallationDir")),
                 QFileInfo(program).path() + QLatin1Char('/'));

        bool shownAutoRun = false, shownSendTo = false;
        run(false, false, &shownAutoRun, &shownSendTo);
        QVERIFY(shownAutoRun && shownSendTo);
        QVERIFY(!QFile::exists(autostart));
        QVERIFY(!QFile::exists(SendToEntryPath()));
        QVERIFY(RootReadString(KelRoot::CurrentUser,
                               QStringLiteral("Software\\Microsoft\\Internet Explorer\\MenuExt\\发送到Vaultleaf"), QString())
                    .isEmpty());
        run(false, false, &shownAutoRun, &shownSendTo);
        QVERIFY(!shownAutoRun && !shownSendTo);
        qunsetenv("XDG_DATA_HOME");
    }

    void newCard()
    {
        NodeTestWindow w;
        w.select(w.top());
        // The name is required: the message, the dialog stays open; then cancel creates nothing.
        w.responder.dialogs << [&](QDialog* d) {
            auto* f = qobject_cast<TFormCallingCard*>(d);
            QVERIFY(f);
            QCOMPARE(f->windowTitle(), QString("新建名片"));
            QCOMPARE(fieldText(f, HomePage), QString("http://"));
            QCOMPARE(f->ComboBoxBirthdayYear->count(), 150);
            QCOMPARE(f->ComboBoxBirthdayMonth->count(), 13);
            QCOMPARE(f->ComboBoxBirthdayDay->count(), 0);
            f->ButtonSave->click();
            QCOMPARE(w.responder.texts().last(), QString("请输入姓名。"));
            QCOMPARE(f->result(), int(QDialog::Rejected));
            f->ButtonCancel->click();
        };
        newMenuEntry(w.form.get(), kNodeCard)->trigger();
        QCOMPARE(w.top()->childCount(), 0);

        // The day list follows year and month.
        w.responder.dialogs << [](QDialog* d) {
            auto* f = qobject_cast<TFormCallingCard*>(d);
            setFieldText(f, BirthdayYear, QStringLiteral("2000"));
            setFieldText(f, BirthdayMonth, QStringLiteral("02"));
            QCOMPARE(f->ComboBoxBirthdayDay->count(), 30);
            QCOMPARE(f->ComboBoxBirthdayDay->itemText(29), QString("29"));
            setFieldText(f, BirthdayYear, QStringLiteral("1900"));
            QCOMPARE(f->ComboBoxBirthdayDay->count(), 30);   // a year change does not rebuild it
            setFieldText(f, BirthdayMonth, QStringLiteral("03"));
            setFieldText(f, BirthdayMonth, QStringLiteral("02"));
            QCOMPARE(f->ComboBoxBirthdayDay->count(), 29);
            f->EditName->setText(QStringLiteral("张三"));
            f->ButtonSave->click();
        };
        newMenuEntry(w.form.get(), kNodeCard)->trigger();
        QTreeWidgetItem* item = w.tree()->currentItem();
        QVERIFY(item && item->text(0) == QString("张三"));
        QCOMPARE(KindOf(item), int(kNodeCard));
        const int32_t id = NodeDataOf(item).Id;
        w.reopen();
        const CaseNode stored = w.stored(id);
        QCOMPARE(AnsiToUtf8(stored.Caption), std::string("张三"));
        const std::string& bytes = stored.DataBytes();
        QVERIFY(!bytes.empty() && bytes.back() == '\0');
        QCOMPARE(std::count(bytes.begin(), bytes.end(), '\n'), 25L);
        QVERIFY(bytes.find("<HomePage>http://</HomePage>\r\n") != std::string::npos);
        QVERIFY(bytes.find("<BirthdayYear>1900</BirthdayYear>\r\n<BirthdayMonth>02</BirthdayMonth>\r\n") != std::string::npos);
    }

    void cardSavedReopenedEditedAndSavedAgain()
    {
        NodeTestWindow w;
        CardTexts typed;
        for (int f = 0; f < kCardFieldCount; ++f)
            typed[f] = QStringLiteral("字段%1 value").arg(f);
        typed[Name] = QStringLiteral("<&>\"李四");
        typed[Sex] = QStringLiteral("女");
        typed[BirthdayYear] = QStringLiteral("2000");
        typed[BirthdayMonth] = QStringLiteral("02");
        typed[BirthdayDay] = QStringLiteral("29");
        typed[Tel2] = QString();             // empty fields stay empty
        typed[CompanyFax] = QString();
        typed[Remark] = QStringLiteral("第一行\n第二行 </Remark>");
        typed[CompanyRemark] = QString();

        auto fillAll = [](const CardTexts& texts) {
            return [texts](QDialog* d) {
                auto* f = qobject_cast<TFormCallingCard*>(d);
                for (int i = 0; i < kCardFieldCount; ++i)
                    setFieldText(f, CardField(i), texts[i]);
                f->ButtonSave->click();
            };
        };
        auto expectAll = [](const CardTexts& texts, const QString& title, QStringList* seen = nullptr) {
            return [=](QDialog* d) {
                auto* f = qobject_cast<TFormCallingCard*>(d);
                QCOMPARE(f->windowTitle(), title);
                for (int i = 0; i < kCardFieldCount; ++i)
                    QCOMPARE(fieldText(f, CardField(i)), texts[i]);
                if (seen)
                    *seen << f->windowTitle();
                f->ButtonCancel->click();
            };
        };
        w.select(w.top());
        w.responder.dialogs << fillAll(typed);
        newMenuEntry(w.form.get(), kNodeCard)->trigger();
        QTreeWidgetItem* item = w.tree()->currentItem();
        const int32_t id = NodeDataOf(item).Id;
        QCOMPARE(item->text(0), typed[Name]);
        const double modified = w.stored(id).Modified;

        // Selected: the information page shows its fields.
        w.select(item);
        auto* info = w.form->findChild<QListWidget*>(QStringLiteral("ListBoxInfo"));
        QVERIFY(info->count() > 0);
        QCOMPARE(info->item(0)->text(), QStringLiteral("姓名: ") + typed[Name]);
        QVERIFY(info->findItems(QStringLiteral("生日: 2000年02月29日"), Qt::MatchExactly).size() == 1);
        w.select(w.top());
        QCOMPARE(info->count(), 0);   // another node: the list is empty again

        // Reopened from the file, opened by a double click: every field as typed.
        w.reopen();
        item = w.item(id);
        w.select(item);
        QVERIFY(w.form->ActionOpenNode->isEnabled());
        const QString title = QStringLiteral("修改名片 - ") + typed[Name];
        const int run = w.responder.dialogsRun;
        w.responder.dialogs << expectAll(typed, title);
        emit w.tree()->itemDoubleClicked(item, 0);
        QCOMPARE(w.responder.dialogsRun, run + 1);

        // Edited and saved again: the caption stays, the node is newer.
        CardTexts edited = typed;
        edited[Name] = QStringLiteral("王五");
        edited[Tel2] = QStringLiteral("010-1234");
        edited[Remark] = QString();
        edited[BirthdayDay] = QString();
        w.responder.dialogs << fillAll(edited);
        w.form->ActionOpenNode->trigger();
        QCOMPARE(item->text(0), typed[Name]);
        QVERIFY(w.stored(id).Modified > modified);
        QCOMPARE(AnsiToUtf8(w.stored(id).Caption), typed[Name].toStdString());

        w.reopen();
        w.select(w.item(id));
        const int again = w.responder.dialogsRun;
        w.responder.dialogs << expectAll(edited, title);
        w.form->ActionOpenNode->trigger();
        QCOMPARE(w.responder.dialogsRun, again + 1);
        QVERIFY(w.responder.dialogs.isEmpty());
    }

    void noIdLeftCreatesNothing()
    {
        NodeTestWindow w;
        CaseNode top;
        top.Id = INT32_MAX;
        top.Parent = kParentTop;
        top.Caption = "last id";
        QVERIFY(w.db().AddNode(top) && w.db().Commit());
        w.select(w.item(INT32_MAX));
        w.select(w.top());
        const int children = w.top()->childCount();
        newMenuEntry(w.form.get(), kNodeFolder)->trigger();
        QCOMPARE(w.top()->childCount(), children);
        QVERIFY(w.responder.texts().last().startsWith(QStringLiteral("无法创建节点")));
        QCOMPARE(w.db().NodeCount(), 1);
    }
};

int main(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestDialogs test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_dialogs.moc"
