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

QString TFormMain::DateTimeStamp(const QDateTime& when)
{
    const QLocale locale;
    const QString date = locale.toString(when.date(), QLocale::ShortFormat);
    if (when.time() == QTime(0, 0))
        return date;
    return date + QLatin1Char(' ') + locale.toString(when.time(), QLocale::LongFormat);
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

void TFormMain::SetPagesVisible(std::initializer_list<int> pages)
{
    for (int i = 0; i < kPageCount; ++i)
        PageControlMain->setTabVisible(i, std::find(pages.begin(), pages.end(), i) != pages.end());
}

bool TFormMain::ReadShownNode(QTreeWidgetItem* item, CaseNode& node)
{
    if (!db_.GetNode(NodeDataOf(item).Id, node, true))
        return false;
    ShowModifiedTime(modifiedText(node));
    return true;
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
        RichEditText->clear();
    const int kind = KindOf(item);
    CaseNode node;
    switch (kind) {
    case kNodeFolder:
        SetPagesVisible({kPageInfo});
        if (!ReadShownNode(item, node))
            return false;
        break;
    case kNodeText:
        SetPagesVisible({kPageText});
        if (!ReadShownNode(item, node) || !LoadTextPage(node.DataBytes(), TextEncoding::Ansi))
            return false;
        SetReadOnly(false);
        break;
    case kNodeHtml:
    case kNodeUrl:
        SetPagesVisible({kPageText, kPageHtml});
        if (reload && (!ReadShownNode(item, node) || !LoadTextPage(node.DataBytes(), TextEncoding::Ansi)))
            return false;
        SetReadOnly(false);
        ShowAsHtml(kind == kNodeUrl);
        break;
    case kNodeFile:
        if (!PreviewFileNode(item, reload, switchPage))
            return false;
        switchPage = false;
        break;
    case kNodeRtf:
        SetPagesVisible({kPageRtf});
        if (!ReadShownNode(item, node))
            return false;
        LoadRtfPage(node.DataBytes());
        break;
    case kNodeWhiteboard:
    case kNodeSound:
        SetPagesVisible({PageControlMain->indexOf(PageOfKind(kind))});
        if (!ReadShownNode(item, node))
            return false;
        SetReadOnly(!LoadMediaPage(kind, node));
        if (kind == kNodeSound) {
            if (switchPage)
                PageControlMain->setCurrentWidget(PageOfKind(kind));
            wavePage_->RefreshPage();
            switchPage = false;
        }
        break;
    default:
        SetPagesVisible({kPageInfo});
        ShowModifiedTime(QString());
        break;
    }
    if (switchPage)
        PageControlMain->setCurrentWidget(PageOfKind(kind));
    if (reload)
        SetModified(false);
    ShowCaretPosition();
    return true;
}

bool TFormMain::LoadTextPage(const std::string& text, TextEncoding encoding)
{
    shownTextEncoding_ = encoding;
    RichEditText->setPlainText(StoredTextToEditor(text, encoding));
    RichEditText->moveCursor(QTextCursor::Start);
    SetModified(false);
    SetReadOnly(false);
    return true;
}

void TFormMain::ShowModifiedTime(const QString& time)
{
    StatusBar->SetPanelText(4, time.isEmpty() ? QString() : QStringLiteral("修改时间:") + time);
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
    } else if (EditorTextToStored(RichEditText->toPlainText(), stored,
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
    if (db_.SaveNode(node) && db_.Commit())
        return true;
    db_.Rollback();
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
    const QString text = QApplication::clipboard()->text();
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
