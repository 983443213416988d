// TFormMain: the content pages of PageControlMain, which of them a node
// shows, loading a node's content into them, the modified state, saving with
// the save question, and the small editing commands of the two editors.
#include "app/Main.h"

#include "app/CaseNodeData.h"
#include "app/DrawPage.h"
#include "app/WavePage.h"
#include "app/LinkDetection.h"
#include "app/RtfPage.h"
#include "app/TextPage.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QMimeData>
#include <QScopedValueRollback>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QTabWidget>
#include <QTextBlock>
#include <QTextEdit>
#include <QTreeWidget>

namespace {

// Page indices of PageControlMain, in the designed order.
enum Page { kPageText = 0, kPageHtml, kPageRtf, kPageDraw, kPageWave, kPageInfo, kPageCount };

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString modifiedText(const CaseNode& node)
{
    return QString::fromStdString(AnsiToUtf8(node.FormatModified()));
}

} // namespace

void TFormMain::CreateContentPages()
{
    RichEditText->setTabChangesFocus(false);
    connect(RichEditText->document(), &QTextDocument::modificationChanged, this,
            [this] { ShowModifiedMark(); });
    connect(PageControlMain, &QTabWidget::currentChanged, this, [this] {
        if (!showingContent_)
            ShowNodeContent(TVNav->currentItem(), false, false);
    });
    CreateWebView();
    CreateRtfPage();

    SetUpdateRule(ActionSave, [this] {
        ShowModifiedMark();
        return db_.IsOpen() && TVNav->currentItem() && IsModified() && shown_;
    });
    SetUpdateRule(ActionWordWrap, [this] {
        return PageControlMain->currentIndex() == kPageText && shown_ && db_.IsOpen();
    });
    auto editorFocused = [this] {
        QWidget* focus = QApplication::focusWidget();
        auto* editor = qobject_cast<QTextEdit*>(focus);
        return shown_ && editor && FocusIsEditor() && editor->isEnabled() && !editor->isReadOnly();
    };
    SetUpdateRule(ActionInsertDate, editorFocused);
    SetUpdateRule(ActionInsertTimestamp, editorFocused);
    auto clipboardText = [this] {
        return db_.IsOpen() && TVNav->currentItem() && QApplication::clipboard()->mimeData()
               && QApplication::clipboard()->mimeData()->hasText();
    };
    SetUpdateRule(ActionPasteAsText, clipboardText);
    SetUpdateRule(ActionPasteAsHTML, clipboardText);

    connect(ActionSave, &QAction::triggered, this, [this] {
        SaveCurrentNode(TVNav->currentItem(), false);
        ShowModifiedMark();
    });
    connect(ActionWordWrap, &QAction::triggered, this, [this](bool checked) { SetWordWrap(checked); });
    connect(ActionInsertDate, &QAction::triggered, this,
            [this] { InsertAtCaret(QLocale().toString(QDate::currentDate(), QLocale::ShortFormat)); });
    connect(ActionInsertTimestamp, &QAction::triggered, this,
            [this] { InsertAtCaret(DateTimeStamp(QDateTime::currentDateTime())); });
    connect(ActionPasteAsText, &QAction::triggered, this, [this] { PasteAs(kNodeText); });
    connect(ActionPasteAsHTML, &QAction::triggered, this, [this] { PasteAs(kNodeHtml); });
}

bool TFormMain::FocusIsEditor() const
{
    QWidget* focus = QApplication::focusWidget();
    return focus && (focus == RichEditText || focus->objectName() == QLatin1String("RichEditRTF"));
}

// The locale's long time format without its time-zone fields ("t" runs
// outside quoted text) and the blanks beside them.
QString TFormMain::LongTimeFormat(const QLocale& locale)
{
    const QString format = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (qsizetype i = 0; i < format.size(); ++i) {
        const QChar c = format[i];
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (quoted || c != QLatin1Char('t')) {
            out += c;
            continue;
        }
        while (i + 1 < format.size() && format[i + 1] == QLatin1Char('t'))
            ++i;
        if (out.endsWith(QLatin1Char(' ')))
            out.chop(1);
        else if (i + 1 < format.size() && format[i + 1] == QLatin1Char(' '))
            ++i;
    }
    return out.trimmed();
}

QString TFormMain::DateTimeStamp(const QDateTime& when)
{
    const QLocale locale;
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(when.time(), LongTimeFormat(locale));
}

QWidget* TFormMain::PageOfKind(int code) const
{
    switch (code) {
    case kNodeText: return PageControlMain->widget(kPageText);
    case kNodeHtml:
    case kNodeUrl: return PageControlMain->widget(kPageHtml);
    case kNodeRtf: return PageControlMain->widget(kPageRtf);
    case kNodeWhiteboard: return PageControlMain->widget(kPageDraw);
    case kNodeSound: return PageControlMain->widget(kPageWave);
    default: return PageControlMain->widget(kPageInfo);
    }
}

// A page of the browser that is no longer visible is stopped and freed.
void TFormMain::SetPagesVisible(std::initializer_list<int> pages)
{
    for (int i = 0; i < kPageCount; ++i)
        PageControlMain->setTabVisible(i, std::find(pages.begin(), pages.end(), i) != pages.end());
    if (!PageControlMain->isTabVisible(kPageHtml))
        DiscardWebPage();
}

// Reads the node with its content and shows its time; a content the store
// cannot read (it has reported why) is shown unreadable.
bool TFormMain::ReadShownNode(QTreeWidgetItem* item, CaseNode& node)
{
    if (db_.GetNode(NodeDataOf(item).Id, node, true)) {
        ShowModifiedTime(modifiedText(node));
        return true;
    }
    ShowUnreadable(item);
    return false;
}

// The pages show nothing and are read-only, so nothing can be saved over the
// damaged content; the status bar shows the node's own time.
void TFormMain::ShowUnreadable(QTreeWidgetItem* item)
{
    CaseNode node;
    ShowModifiedTime(db_.GetNode(NodeDataOf(item).Id, node, false) ? modifiedText(node) : QString());
    SetTextPage(QString());
    rtfPage_->Load(std::string());
    drawPage_->Load(std::string());
    drawPage_->SetReadOnly(true);
    wavePage_->SetUnavailable();
    DiscardWebPage();
    SetModified(false);
    SetReadOnly(true);
}

bool TFormMain::ShowNodeContent(QTreeWidgetItem* item, bool switchPage, bool reload)
{
    if (updateLock_ > 0)
        return false;
    const QScopedValueRollback<bool> busy(showingContent_, true);
    ShowCardInfo(item);
    wavePage_->StopForShow();
    if (!item) {
        SetPagesVisible({kPageInfo});
        PageControlMain->setCurrentIndex(kPageInfo);
        return false;
    }
    if (reload)
        SetTextPage(QString());
    const int kind = KindOf(item);
    CaseNode node;
    bool shown = true;
    switch (kind) {
    case kNodeFolder:
        SetPagesVisible({kPageInfo});
        shown = ReadShownNode(item, node);
        break;
    case kNodeText:
        SetPagesVisible({kPageText});
        shown = ReadShownNode(item, node) && LoadTextPage(node.DataBytes(), TextEncoding::Ansi);
        break;
    case kNodeHtml:
    case kNodeUrl:
        SetPagesVisible({kPageText, kPageHtml});
        shown = !reload || (ReadShownNode(item, node) && LoadTextPage(node.DataBytes(), TextEncoding::Ansi));
        if (shown)
            ShowAsHtml(kind == kNodeUrl);
        break;
    case kNodeFile:
        // A file without a preview is not read whole: its time all the same.
        if (reload && db_.GetNode(NodeDataOf(item).Id, node, false))
            ShowModifiedTime(modifiedText(node));
        shown = PreviewFileNode(item, reload, switchPage);
        switchPage = false;
        break;
    case kNodeRtf:
        SetPagesVisible({kPageRtf});
        shown = ReadShownNode(item, node) && LoadRtfPage(node.DataBytes());
        break;
    case kNodeWhiteboard:
    case kNodeSound:
        SetPagesVisible({PageControlMain->indexOf(PageOfKind(kind))});
        shown = ReadShownNode(item, node);
        if (shown)
            SetReadOnly(!LoadMediaPage(kind, node));
        if (kind == kNodeSound)
            wavePage_->RefreshPage();
        break;
    default:
        SetPagesVisible({kPageInfo});
        ShowModifiedTime(QString());
        break;
    }
    if (switchPage)
        PageControlMain->setCurrentWidget(PageOfKind(kind));
    if (!shown)
        return false;
    if (reload)
        SetModified(false);
    ShowCaretPosition();
    return true;
}

bool TFormMain::LoadTextPage(const std::string& text, TextEncoding encoding)
{
    shownTextEncoding_ = encoding;
    SetTextPage(StoredTextToEditor(text, encoding));
    return true;
}

// The text editor gets text unmodified, caret at the start, writable unless
// its lines are too long to lay out quickly: then it shows them in pieces,
// read-only, and the status bar says so.
void TFormMain::SetTextPage(const QString& text)
{
    const QString pieces = PiecesOfLongLines(text);
    textInPieces_ = !pieces.isEmpty();
    pieceSource_ = textInPieces_ ? text : QString();
    RichEditText->setPlainText(textInPieces_ ? pieces : text);
    RichEditText->moveCursor(QTextCursor::Start);
    SetModified(false);
    SetReadOnly(textInPieces_);
    if (textInPieces_)
        ShowStatusText(QStringLiteral("行太长（超过%1个字符），已分段显示，不能修改。").arg(kLongLineLength));
}

QString TFormMain::TextPageText() const
{
    return textInPieces_ ? pieceSource_ : RichEditText->toPlainText();
}

void TFormMain::ShowModifiedTime(const QString& time)
{
    StatusBar->SetPanelText(4, QStringLiteral("修改时间:") + time);
}

bool TFormMain::IsModified() const
{
    return RichEditText->document()->isModified() || rtfPage_->IsModified() || drawPage_->IsModified()
           || (PageControlMain->isTabVisible(kPageWave) && wavePage_->IsModified());
}

void TFormMain::SetModified(bool modified)
{
    // Set: the flag of the visible page; cleared: every page's.
    const bool draw = PageControlMain->isTabVisible(kPageDraw), wave = PageControlMain->isTabVisible(kPageWave);
    const bool rtf = RtfPageVisible();
    RichEditText->document()->setModified(modified && !draw && !wave && !rtf);
    drawPage_->SetModified(modified && draw);
    wavePage_->SetModified(modified && wave);
    rtfPage_->SetModified(modified && rtf);
    ShowModifiedMark();
}

void TFormMain::SetReadOnly(bool readOnly)
{
    RichEditText->setReadOnly(readOnly);
    rtfPage_->SetReadOnly(readOnly);
    StatusBar->SetPanelText(2, readOnly ? QStringLiteral("只读") : QString());
}

int TFormMain::SaveCurrentNode(QTreeWidgetItem* item, bool ask)
{
    const int kind = KindOf(item);
    if (kind == kNodeFile && fileMonitor_.Active()) {
        const int stored = StoreBackFile(item, ask);
        if (stored >= 0)
            return stored;
    }
    if (!item || kind == kNodeFolder || kind == kNodeCard || kind > kNodeSound || !IsModified())
        return 0;
    if (ask) {
        const int answer = AppMessageBox(QStringLiteral("您已经修改了") + quoted(item->text(0))
                                             + QStringLiteral("的内容，要保存吗？"),
                                         MB_YESNOCANCEL | MB_ICONQUESTION);
        if (answer == IDNO) {
            SetModified(false);
            return 1;
        }
        if (answer != IDYES)
            return 2;
    }
    CaseNode node;
    if (!db_.GetNode(NodeDataOf(item).Id, node, true)) {
        AppMessageBox(QStringLiteral("无法从数据库中读出数据，修改失败。"), MB_ICONERROR);
        return 3;
    }
    // The visible page, not the node's kind, decides the format written.
    std::string stored;
    UnencodableChar failure;
    if (RtfPageVisible()) {
        node.SetData(rtfPage_->Save());
    } else if (kind == kNodeWhiteboard) {
        node.SetData(drawPage_->Save());
    } else if (kind == kNodeSound) {
        if (wavePage_->Save(stored))
            node.SetData(std::move(stored));
    } else if (EditorTextToStored(TextPageText(), stored,
                                  kind == kNodeFile ? shownTextEncoding_ : TextEncoding::Ansi, &failure)) {
        node.SetData(std::move(stored));
    } else {
        UnencodableMessageBox(failure);
        return 3;
    }
    node.Touch();
    if (!SaveNodeCommitted(node))
        return 3;
    SetModified(false);
    ShowModifiedTime(modifiedText(node));
    return 0;
}

bool TFormMain::SaveNodeCommitted(const CaseNode& node)
{
    if (db_.SaveNode(node))
        return CommitOrRollBack();
    RollBackPending();
    return false;
}

void TFormMain::SetWordWrap(bool on)
{
    const QTextCursor selection = RichEditText->textCursor();
    const bool modified = IsModified();
    RichEditText->setHorizontalScrollBarPolicy(on ? Qt::ScrollBarAlwaysOff : Qt::ScrollBarAsNeeded);
    ActionWordWrap->setChecked(on);
    RichEditText->setLineWrapMode(on ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    RichEditText->setTextCursor(selection);
    SetModified(modified);
}

bool TFormMain::InsertAtCaret(const QString& text)
{
    auto* editor = qobject_cast<QTextEdit*>(QApplication::focusWidget());
    if (!editor || !FocusIsEditor() || !editor->isEnabled() || editor->isReadOnly())
        return false;
    QTextCursor cursor = editor->textCursor();
    const int start = cursor.selectionStart();
    cursor.insertText(text);
    cursor.setPosition(start);
    cursor.setPosition(start + int(text.size()), QTextCursor::KeepAnchor);
    editor->setTextCursor(cursor);
    return true;
}

void TFormMain::PasteAs(int kind)
{
    QTreeWidgetItem* parent = TVNav->currentItem();
    // Line ends as the editor has them: CR LF and a lone CR are one line end each.
    QString text = QApplication::clipboard()->text();
    text.replace(QLatin1String("\r\n"), QLatin1String("\n")).replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (!parent || text.isEmpty())
        return;
    std::string bytes;
    UnencodableChar failure;
    if (!EditorTextToStored(text, bytes, TextEncoding::Ansi, &failure)) {
        UnencodableMessageBox(failure);
        return;
    }
    bytes.push_back('\0');
    CreateNode(parent, QStringLiteral("请输入标题"), true, true, kind == kNodeText ? 30 : 32, kind, bytes);
}

// The RTF page, caret position and link detection of both editors.
void TFormMain::CreateRtfPage()
{
    rtfPage_ = new TRtfPage(PageControlMain->widget(kPageRtf));
    PageControlMain->widget(kPageRtf)->layout()->addWidget(rtfPage_);
    QTextEdit* rtf = rtfPage_->Editor();
    rtf->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(rtf, &QWidget::customContextMenuRequested, this,
            [this, rtf](const QPoint& pos) { PopupMenuEdit->popup(rtf->viewport()->mapToGlobal(pos)); });
    connect(rtf->document(), &QTextDocument::modificationChanged, this, [this] { ShowModifiedMark(); });
    connect(rtfPage_, &TRtfPage::SelectionShown, this, [this] { ShowCaretPosition(); });
    connect(RichEditText, &QTextEdit::cursorPositionChanged, this, [this] { ShowCaretPosition(); });
    for (QTextEdit* editor : {RichEditText, rtf})
        connect(EnableLinkDetection(editor), &TLinkDetector::LinkClicked, this, &TFormMain::LinkClick);
}

bool TFormMain::RtfPageVisible() const
{
    return PageControlMain->isTabVisible(kPageRtf);
}

bool TFormMain::LoadRtfPage(const std::string& text)
{
    rtfPage_->Load(text);
    SetModified(false);
    SetReadOnly(false);
    return true;
}

void TFormMain::ShowCaretPosition()
{
    QTextEdit* editor = PageControlMain->currentIndex() == kPageText ? RichEditText
                        : PageControlMain->currentIndex() == kPageRtf ? rtfPage_->Editor()
                                                                      : nullptr;
    if (!editor) {
        StatusBar->SetPanelText(3, QString());
        return;
    }
    // Lines as the editor shows them: wrapped lines count.
    const QTextCursor caret = editor->textCursor();
    const QTextBlock block = caret.block();
    int line = 0;
    for (QTextBlock before = editor->document()->begin(); before != block; before = before.next())
        line += std::max(1, before.layout()->lineCount());
    int lineStart = block.position();
    if (const QTextLine shown = block.layout()->lineForTextPosition(caret.positionInBlock()); shown.isValid()) {
        line += shown.lineNumber();
        lineStart += shown.textStart();
    }
    StatusBar->SetPanelText(3, QString::number(line + 1) + QLatin1Char(':')
                                   + QString::number(caret.position() - lineStart + 1));
}

void TFormMain::LinkClick(QTextEdit* editor, int start, int end)
{
    if (!MayShowWindow())
        return;
    QTextCursor link = editor->textCursor();
    link.setPosition(start);
    link.setPosition(end, QTextCursor::KeepAnchor);
    editor->setTextCursor(link);
    ShellOpen(QStringLiteral("Open"), LinkAddress(link.selectedText()), QString(), QString());
}
