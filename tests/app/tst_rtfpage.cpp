// The RTF page: its controls, the ruler's arithmetic and drag, the size box
// rules, the toolbar writing the selection and the selection not being
// changed by the synchronisation, loading damaged or empty payloads, and in
// the main window: showing, saving and reopening an RTF node, the caret
// position, and links in both editors.
#include "NodeTestWindow.h"

#include "app/CaseNodeData.h"
#include "app/LinkDetection.h"
#include "app/RtfPage.h"
#include "app/RtfTextDocument.h"
#include "app/Ruler.h"
#include "rtf/RtfCodepage.h"
#include "rtf/RtfReader.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QToolButton>

namespace {

std::string fixture(const char* name)
{
    QFile file(QStringLiteral(VAULTLEAF_FIXTURES "/rtf/") + QLatin1String(name));
    file.open(QIODevice::ReadOnly);
    return file.readAll().toStdString();
}

RtfDocument modelOf(const std::string& rtf)
{
    RtfDocument doc;
    ReadRtf(rtf, doc);
    return doc;
}

void selectText(QTextEdit* editor, int start, int end)
{
    QTextCursor cursor = editor->textCursor();
    cursor.setPosition(start);
    cursor.setPosition(end, QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
}

// Clicks a character of the editor's document as a person does.
void clickAt(QTextEdit* editor, int position)
{
    QTextCursor cursor(editor->document());
    cursor.setPosition(position);
    const QRect rect = editor->cursorRect(cursor);
    QTest::mouseClick(editor->viewport(), Qt::LeftButton, {}, rect.center() + QPoint(2, 0));
}

} // namespace

class TestRtfPage : public QObject {
    Q_OBJECT

private slots:
    void controlsHaveTheirNamesAndHints()
    {
        TRtfPage page(nullptr);
        const std::pair<const char*, const char*> hints[] = {
            {"SpeedButtonRTFBold", "粗体"},          {"SpeedButtonRTFItalic", "斜体"},
            {"SpeedButtonRTFUnderline", "下划线"},   {"SpeedButtonRTFLeftAlign", "左对齐"},
            {"SpeedButtonRTFCenterAlign", "居中"},   {"SpeedButtonRTFRightAlign", "右对齐"},
            {"SpeedButtonRTFBullet", "段落"},        {"ImageRTFFirstIndent", "首行缩进"},
            {"ImageRTFLeftIndent", "悬挂缩进"},      {"ImageRTFRightIndent", "右缩进"},
        };
        for (const auto& [name, hint] : hints) {
            QWidget* w = page.findChild<QWidget*>(QLatin1String(name));
            QVERIFY2(w, name);
            QCOMPARE(w->toolTip(), QString::fromUtf8(hint));
        }
        for (const char* name : {"PanelRTF", "Ruler", "RulerLine", "RichEditRTF", "ComboBoxRTFFontName",
                                 "ComboBoxRTFFontSize", "ComboBoxRTFColor"})
            QVERIFY2(page.findChild<QWidget*>(QLatin1String(name)), name);
        QCOMPARE(page.SpeedButtonRTFBold->size(), QSize(23, 22));
        QVERIFY(!page.ComboBoxRTFFontName->isEditable());
        QVERIFY(page.ComboBoxRTFFontName->count() > 0);
        QVERIFY(page.ComboBoxRTFFontSize->isEditable());
        QCOMPARE(page.ComboBoxRTFFontSize->count(), 22);
        QCOMPARE(page.ComboBoxRTFFontSize->itemText(21), QStringLiteral("72"));
        QCOMPARE(TRuler::Caption().count(QLatin1Char('|')), 101);
        QCOMPARE(TRuler::Caption().count(QLatin1Char('\t')), 100);
    }

    void rulerArithmetic()
    {
        QCOMPARE(FirstMarkerLeft(30), 42);
        QCOMPARE(HangingMarkerLeft(30, 0), 42);
        QCOMPARE(FirstIndentAt(42, 5), 30);
        QCOMPARE(HangingIndentAt(42, 5, 30), 0);
        QCOMPARE(RightMarkerLeft(500, 0), 500 - 14);
        QCOMPARE(RightIndentAt(500, 500 - 14, 5), 0);
        // Truncation toward zero, also left of the ruler's zero.
        QCOMPARE(FirstIndentAt(0, 5), 0);
        QCOMPARE(FirstIndentAt(-10, 5), -8);
        QCOMPARE(HangingMarkerLeft(30, -15), 22);
    }

    void markersFollowAndWriteTheParagraph()
    {
        TRtfPage page(nullptr);
        page.resize(600, 300);
        page.show();
        page.Load(R"({\rtf1\pard\fi0\li600 indented\par})");   // F = 30 points, L = 0
        QCOMPARE(page.Ruler->ImageRTFFirstIndent->x(), 42);
        QCOMPARE(page.Ruler->ImageRTFLeftIndent->x(), 42);
        QCOMPARE(page.Ruler->ImageRTFRightIndent->x(), page.Ruler->width() - 14);
        const std::string before = page.Save();
        // Released unmoved: nothing changes.
        for (QLabel* marker : {page.Ruler->ImageRTFFirstIndent, page.Ruler->ImageRTFLeftIndent,
                               page.Ruler->ImageRTFRightIndent}) {
            QTest::mousePress(marker, Qt::LeftButton, {}, QPoint(5, 4));
            QTest::mouseRelease(marker, Qt::LeftButton, {}, QPoint(5, 4));
        }
        QCOMPARE(page.Save(), before);
        // Dragging the first-line marker 20 pixels right: F = trunc(61 / 4/3) = 45;
        // the later lines stay at 30 points.
        QTest::mousePress(page.Ruler->ImageRTFFirstIndent, Qt::LeftButton, {}, QPoint(5, 4));
        QTest::mouseMove(page.Ruler->ImageRTFFirstIndent, QPoint(25, 4));
        QTest::mouseRelease(page.Ruler->ImageRTFFirstIndent, Qt::LeftButton, {}, QPoint(5, 4));
        const RtfParagraph moved = modelOf(page.Save()).paragraphs.at(0);
        QCOMPARE(moved.leftIndent + moved.firstIndent, 45 * 20);
        QCOMPARE(moved.leftIndent, 30 * 20);
        QCOMPARE(page.Ruler->ImageRTFFirstIndent->x(), FirstMarkerLeft(45));
        QVERIFY(page.IsModified());
    }

    void sizeBox_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("boxText");
        QTest::addColumn<int>("applied");
        QTest::newRow("zero") << "0" << "字体太小（必须大于0）。" << "1" << 1;
        QTest::newRow("negative") << "-3" << "字体太小（必须大于0）。" << "1" << 1;
        QTest::newRow("too large") << "2000" << "字体太大（不能超过1638）。" << "1638" << 1638;
        QTest::newRow("largest") << "1638" << "" << "1638" << 1638;
        QTest::newRow("with unit") << "12pt" << "" << "12pt" << 12;
        QTest::newRow("no digits") << "abc" << "" << "abc" << 20;   // size 0: the editor keeps its size
        QTest::newRow("huge digits") << "99999999999" << "" << "99999999999" << 1638;
    }

    void sizeBox()
    {
        QFETCH(QString, typed);
        QFETCH(QString, message);
        QFETCH(QString, boxText);
        QFETCH(int, applied);
        ScriptedResponder responder;
        TRtfPage page(nullptr);
        page.Load(R"({\rtf1\fs40 sized text\par})");
        selectText(page.RichEditRTF, 0, 5);
        page.ComboBoxRTFFontSize->setEditText(typed);
        QCOMPARE(responder.texts(), message.isEmpty() ? QStringList() : QStringList{message});
        if (!message.isEmpty())
            QCOMPARE(responder.boxes.front().flags, int(MB_ICONINFORMATION));
        QCOMPARE(page.ComboBoxRTFFontSize->currentText(), boxText);
        const RtfDocument doc = modelOf(page.Save());
        QCOMPARE(doc.paragraphs.at(0).runs.at(0).size, applied * 2);
        QVERIFY(Utf32ToUtf8(doc.paragraphs[0].runs[0].text).rfind("sized", 0) == 0);
    }

    void toolbarWritesTheSelection()
    {
        TRtfPage page(nullptr);
        page.Load("");
        page.RichEditRTF->insertPlainText(QStringLiteral("普通 粗体字\n第二段"));
        selectText(page.RichEditRTF, 3, 6);
        for (QToolButton* b : {page.SpeedButtonRTFBold, page.SpeedButtonRTFItalic, page.SpeedButtonRTFUnderline})
            b->click();
        page.ComboBoxRTFColor->setCurrentIndex(page.ComboBoxRTFColor->findText(QStringLiteral("Red")));
        const int font = page.ComboBoxRTFFontName->count() - 1;
        page.ComboBoxRTFFontName->setCurrentIndex(font);
        page.SpeedButtonRTFCenterAlign->click();
        selectText(page.RichEditRTF, 8, 8);
        page.SpeedButtonRTFBullet->click();

        const RtfDocument doc = modelOf(page.Save());
        QCOMPARE(doc.paragraphs.size(), size_t(2));
        const RtfRun& styled = doc.paragraphs[0].runs.at(1);
        QCOMPARE(Utf32ToUtf8(styled.text), std::string("粗体字"));
        QVERIFY(styled.bold && styled.italic && styled.underline);
        QCOMPARE(styled.color, 0xFF0000);
        QCOMPARE(QString::fromStdString(styled.font), page.ComboBoxRTFFontName->itemText(font));
        QVERIFY(!doc.paragraphs[0].runs[0].bold);
        QCOMPARE(doc.paragraphs[0].align, RtfAlign::Center);
        QVERIFY(!doc.paragraphs[0].bullet);
        QVERIFY(doc.paragraphs[1].bullet);

        // The caret in the styled text brings its attributes back.
        selectText(page.RichEditRTF, 4, 4);
        QVERIFY(page.SpeedButtonRTFBold->isChecked());
        QVERIFY(page.SpeedButtonRTFCenterAlign->isChecked());
        QVERIFY(!page.SpeedButtonRTFLeftAlign->isChecked());
        QCOMPARE(page.ComboBoxRTFColor->currentText(), QStringLiteral("Red"));
        selectText(page.RichEditRTF, 8, 8);
        QVERIFY(page.SpeedButtonRTFBullet->isChecked());
        page.SpeedButtonRTFBullet->click();
        QVERIFY(!modelOf(page.Save()).paragraphs[1].bullet);
    }

    void synchronisationDoesNotChangeTheSelection()
    {
        TRtfPage page(nullptr);
        page.Load(fixture("richedit30-format.rtf"));
        const std::string before = page.Save();
        page.RichEditRTF->selectAll();   // mixed formatting
        page.RTFSelectionChange();
        selectText(page.RichEditRTF, 3, 20);
        page.RTFSelectionChange();
        QCOMPARE(page.Save(), before);
        QVERIFY(!page.IsModified());
    }

    void loadsWhatCanBeRead_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QString>("shown");
        QTest::newRow("empty") << QByteArray() << QString();
        QTest::newRow("only the zero byte") << QByteArray(1, '\0') << QString();
        QTest::newRow("truncated") << QByteArray(R"({\rtf1\ansi\ansicpg936 \'d6\'d0\'ce\'c4\par more{\b te)")
                                   << QStringLiteral("中文\nmorete");
        QTest::newRow("unbalanced") << QByteArray(fixture("damaged-braces.rtf").c_str()) << QString();
        QTest::newRow("plain text") << QByteArray("\xd6\xd0\r\nline") << QStringLiteral("中\nline");
    }

    void loadsWhatCanBeRead()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QString, shown);
        TRtfPage page(nullptr);
        page.RichEditRTF->setPlainText(QStringLiteral("old"));
        page.SetReadOnly(true);
        QVERIFY(page.Load(payload.toStdString()));
        QCOMPARE(page.RichEditRTF->toPlainText(), shown);
        QVERIFY(!page.IsModified());
        QVERIFY(!page.RichEditRTF->isReadOnly());
        QCOMPARE(page.RichEditRTF->textCursor().position(), 0);
        QVERIFY(!page.RichEditRTF->document()->isUndoAvailable());
    }

    void fixturesShowTheirFormatting()
    {
        TRtfPage page(nullptr);
        page.Load(fixture("richedit30-format.rtf"));
        QCOMPARE(modelOf(page.Save()), modelOf(fixture("richedit30-format.rtf")));
    }

    void rtfNodeShowSaveReopen()
    {
        NodeTestWindow w;
        w.form->show();
        const int32_t id = w.addNode(0, "格式", kNodeRtf, fixture("richedit20-plain.rtf"));
        const int32_t empty = w.addNode(0, "空", kNodeRtf);
        w.select(w.item(empty));
        TRtfPage* page = w.form->RtfPage();
        QCOMPARE(w.form->Pages()->currentWidget()->objectName(), QStringLiteral("TabSheetRTF"));
        QCOMPARE(w.form->Pages()->tabText(w.form->Pages()->currentIndex()), QStringLiteral("格式编辑"));
        QVERIFY(page->RichEditRTF->toPlainText().isEmpty());
        QVERIFY(!w.form->IsModified());

        w.select(w.item(id));
        QCOMPARE(page->RichEditRTF->toPlainText(), QStringLiteral("今天天气很好。\n第二行：Hello, 世界！"));
        QVERIFY(!w.form->IsModified());
        QCOMPARE(w.form->Status()->PanelText(3), QStringLiteral("1:1"));
        selectText(page->RichEditRTF, 0, 2);
        page->SpeedButtonRTFBold->click();
        QVERIFY(w.form->IsModified());
        w.form->UpdateActions();
        w.form->ActionSave->trigger();
        QVERIFY(!w.form->IsModified());

        const std::string stored = w.stored(id).DataBytes();
        QVERIFY(stored.rfind("{\\rtf1\\ansi\\ansicpg936\\deff0", 0) == 0);
        w.reopen();
        w.select(w.item(id));
        const RtfDocument doc = modelOf(page->Save());
        QVERIFY(doc.paragraphs.at(0).runs.at(0).bold);
        QCOMPARE(Utf32ToUtf8(doc.paragraphs[0].runs[0].text), std::string("今天"));
        QVERIFY(!doc.paragraphs[0].runs.at(1).bold);
        QCOMPARE(PlainTextOf(doc), std::string("今天天气很好。\n第二行：Hello, 世界！\n"));
    }

    void caretPositionOfBothEditors()
    {
        NodeTestWindow w;
        w.form->show();
        const int32_t text = w.addNode(0, "t", kNodeText, "first\r\nsecond");
        const int32_t rtf = w.addNode(0, "r", kNodeRtf, R"({\rtf1 one\par two three\par})");
        w.select(w.item(text));
        auto* editor = w.form->findChild<QTextEdit*>(QStringLiteral("RichEditText"));
        selectText(editor, 9, 9);
        QCOMPARE(w.form->Status()->PanelText(3), QStringLiteral("2:4"));
        w.select(w.item(rtf));
        selectText(w.form->RtfPage()->RichEditRTF, 6, 6);
        QCOMPARE(w.form->Status()->PanelText(3), QStringLiteral("2:3"));
        w.select(w.top());
        QCOMPARE(w.form->Status()->PanelText(3), QString());
    }

    void linksOpenWithTheShell()
    {
        NodeTestWindow w;
        w.form->show();
        const int32_t text = w.addNode(0, "t", kNodeText, "see http://example.com/a. end");
        const int32_t rtf = w.addNode(0, "r", kNodeRtf, R"({\rtf1 go to {\b www.example.org} now\par})");
        w.select(w.item(text));
        auto* editor = w.form->findChild<QTextEdit*>(QStringLiteral("RichEditText"));
        clickAt(editor, 1);   // not a link
        QVERIFY(w.responder.shells.isEmpty());
        clickAt(editor, 10);
        QCOMPARE(w.responder.shells.size(), 1);
        QCOMPARE(w.responder.shells[0].verb, QStringLiteral("Open"));
        QCOMPARE(w.responder.shells[0].file, QStringLiteral("http://example.com/a"));
        QCOMPARE(editor->textCursor().selectedText(), QStringLiteral("http://example.com/a"));

        w.select(w.item(rtf));
        clickAt(w.form->RtfPage()->RichEditRTF, 8);
        QCOMPARE(w.responder.shells.size(), 2);
        // A www. name is a web address, never a program of the working folder.
        QCOMPARE(w.responder.shells[1].file, QStringLiteral("http://www.example.org"));
        QVERIFY(!w.form->IsModified());
        for (const auto& [link, address] : {std::pair{"WWW.Example.org/x", "http://WWW.Example.org/x"},
                                            std::pair{"file:///tmp/a", "file:///tmp/a"},
                                            std::pair{"mailto:a@b.c", "mailto:a@b.c"}})
            QCOMPARE(LinkAddress(QLatin1String(link)), QLatin1String(address));
    }
};

int main(int argc, char** argv)
{
    PrepareWebEngine();
    QApplication app(argc, argv);
    TestRtfPage test;
    return QTest::qExec(&test, argc, argv);
}
#include "tst_rtfpage.moc"
