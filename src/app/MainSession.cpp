// TFormMain: start-up, the hook messages, showing and hiding, the hand-over
// of paths, and the orderly shutdown that writes the settings back.
#include "app/Main.h"
#include "app/CaseNodeData.h"
#include "app/WavePage.h"

#include "app/Login.h"
#include "kellib/Kelapputil.h"
#include "kellib/Kelcodepage.h"
#include "kellib/Kelfilelib.h"
#include "kellib/qt/KELSysHook.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelhotkey.h"
#include "kellib/qt/Kelhtmlhelp.h"
#include "kellib/qt/Kelregistry.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QSplitter>
#include <QSystemTrayIcon>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace {

const QString kDefault = QStringLiteral("Default");

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

} // namespace

// "%xx" becomes that byte and "+" a blank; a malformed escape leaves the
// whole text unchanged. The bytes are UTF-8, as handed over.
QString UrlDecode(const QString& text)
{
    const QByteArray in = text.toUtf8();
    QByteArray out;
    out.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        const char c = in[i];
        if (c == '+') {
            out += ' ';
        } else if (c == '%') {
            const int hi = i + 2 < in.size() ? hexValue(in[i + 1]) : -1;
            const int lo = hi >= 0 ? hexValue(in[i + 2]) : -1;
            if (lo < 0)
                return text;
            out += char(hi * 16 + lo);
            i += 2;
        } else {
            out += c;
        }
    }
    return QString::fromUtf8(out);
}

// With VAULTLEAF_STARTUP_LOG set, the wall-clock time (ms since the epoch)
// at which start-up is done goes to stderr, for measuring it from outside.
static void LogStartupTime(int nodes)
{
    if (qEnvironmentVariableIsEmpty("VAULTLEAF_STARTUP_LOG"))
        return;
    QCoreApplication::processEvents();
    fprintf(stderr, "vaultleaf: started at %lld ms, %d nodes\n",
            static_cast<long long>(QDateTime::currentMSecsSinceEpoch()), nodes);
}

void TFormMain::FormCreate(const QString& argument)
{
    CreateTrayIcon();
    SetApplicationTitle(QStringLiteral("Vaultleaf"));
    SetProductKey(QStringLiteral("Vaultleaf"));
    InstallNameErrorBox();
    SetInternalFailureReporter([](const std::string& message) {
        AppMessageBox(QString::fromStdString(message), MB_ICONERROR);
    });
    ReadDefaultSettings();
    DeleteTempFiles();   // copies a crash left behind
    setWindowTitle(QStringLiteral("Vaultleaf"));
    RestorePlacement(this);

    ReadAppearance();

    UpdateReopenList(QString());
    ShowMainWindow(ReadBool(kDefault, QStringLiteral("Visible"), true));
    if (shown_)
        ApplyLayout(layout_);   // once the window has its size; a hidden one gets it when shown
    if (hook_)
        hook_->InstallHook(this, MSG_HOOK_KEY);
    InstallHotKey();
    if (!argument.isEmpty())
        ReceivePath(argument);
    else
        OpenLastDatabase();
    UpdateActions();
    LogStartupTime(db_.NodeCount());
}

void TFormMain::ReadDefaultSettings()
{
    const int navWidth = qMax(100, ReadInt(kDefault, QStringLiteral("NavWidth"), 185));
    PanelNav->resize(navWidth, PanelNav->height());
    Splitter->setSizes({navWidth, qMax(50, width() - navWidth)});
    layout_ = ReadInt(kDefault, QStringLiteral("MainLayout"), 1);
    const bool wordWrap = ReadBool(kDefault, QStringLiteral("WordWrap"), false);
    ActionWordWrap->setChecked(wordWrap);
    RichEditText->setLineWrapMode(wordWrap ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
    ActionMinimizedAskForLogin->setChecked(ReadBool(kDefault, QStringLiteral("MinimizedLogin"), false));
    savedNavWidth_ = ReadInt(kDefault, QStringLiteral("OldNavWidth"), navWidth);
    ActionMainLayoutSplit->setChecked(layout_ == 1);
    whiteBoardWidth_ = ReadInt(kDefault, QStringLiteral("WhiteBoardWidth"), 600);
    whiteBoardHeight_ = ReadInt(kDefault, QStringLiteral("WhiteBoardHeight"), 400);
    ReadLockSettings();
}

void TFormMain::OpenLastDatabase()
{
    const QString name = ReadString(kDefault, QStringLiteral("DBFileName"));
    if (name.isEmpty()) {
        SetModified(false);
        ShowChildCount();
        UpdateTitle();
    } else if (QFileInfo::exists(name)) {
        OpenDatabase(name, false, true);
    } else {
        AppMessageBox(QStringLiteral("上次打开的数据库文件") + quoted(name) + QStringLiteral("不存在。"),
                      MB_ICONINFORMATION);
        UpdateTitle();
    }
}

bool TFormMain::event(QEvent* e)
{
    if (e->type() == KELHookMessage::EventType()) {
        auto* message = static_cast<KELHookMessage*>(e);
        if (message->Message == MSG_HOOK_KEY)
            HotKeyMessage(message->WParam, message->LParam);
        else
            HandleHookMessage(message->Message, message->WParam);
        return true;
    }
    return QMainWindow::event(e);
}

// The shared data is read at once: the next second instance overwrites it.
void TFormMain::HandleHookMessage(int message, qint64 wParam)
{
    if (message != MSG_SHOW_INSTANCE && message != MSG_OPEN_PATH)
        return;   // key events belong to the hot key
    QString text;
    if (message == MSG_OPEN_PATH && hook_) {
        QByteArray buffer;
        hook_->GetSharedData(buffer, wParam);
        const qsizetype end = buffer.indexOf('\0');
        text = QString::fromUtf8(end < 0 ? buffer : buffer.left(end));
    }
    pendingHandOvers_.push_back({message, text});
    RunPendingHandOvers();
}

// A long operation, or a modal window waiting for the person (a question,
// a dialog), holds the hand-overs back.
bool TFormMain::HandOverMustWait() const
{
    return busy_ > 0 || closing_ || QApplication::activeModalWidget();
}

void TFormMain::RunHandOver(int message, const QString& text)
{
    if (!MayShowWindow())
        return;
    ShowMainWindow(true);
    if (message == MSG_OPEN_PATH)
        ReceivePath(text);
}

// The end of a long operation runs the waiting hand-overs; a modal window
// is looked at again a little later.
void TFormMain::RunPendingHandOvers()
{
    while (!pendingHandOvers_.empty()) {
        if (HandOverMustWait()) {
            if (busy_ == 0 && !closing_)
                TimerHandOver->start();
            return;
        }
        const HandOver next = pendingHandOvers_.front();
        pendingHandOvers_.erase(pendingHandOvers_.begin());
        RunHandOver(next.message, next.text);
    }
}

TFormMain::BusyScope::BusyScope(TFormMain& form) : form_(form)
{
    ++form_.busy_;
}

TFormMain::BusyScope::~BusyScope()
{
    if (--form_.busy_ == 0 && !form_.pendingHandOvers_.empty())
        QTimer::singleShot(0, &form_, &TFormMain::RunPendingHandOvers);
}

void TFormMain::ReceivePath(const QString& text)
{
    const std::string bytes = text.toStdString();
    if (QString::fromStdString(ExtractExt(bytes)).toLower() == QLatin1String(".vldb")) {
        OpenDatabase(text, false, true);
        return;
    }
    if (!db_.IsOpen()) {
        AppMessageBox(QStringLiteral("请先打开数据库。"), MB_ICONINFORMATION);
        return;
    }
    QTreeWidgetItem* parent = TVNav->currentItem();
    if (!parent) {
        SelectNodeById(0);
        parent = TVNav->currentItem();
    }
    if (!parent) {
        AppMessageBox(QStringLiteral("请先选择要导入的节点。"), MB_ICONINFORMATION);
        return;
    }
    // Beside a selected node that is not a folder, so hand-overs in a row never nest.
    if (KindOf(parent) != kNodeFolder && !IsFixedItem(parent))
        parent = parent->parent();
    // A file manager's "open with" may hand over a plain path instead of a file URL.
    const bool plainPath = QDir::isAbsolutePath(text) && QFileInfo(text).isFile();
    if (plainPath || text.startsWith(QLatin1String("file://"))) {
        QString path = plainPath ? text : text.mid(7);
        if (!plainPath && !QFileInfo::exists(path)) {
            path.replace(QLatin1String("%20"), QLatin1String(" "));
            if (!QFileInfo::exists(path))
                path = UrlDecode(path);
        }
        const std::string file = path.toStdString();
        CreateNode(parent, QString::fromStdString(ExtractFileNameExt(file)), true, false, 33, kNodeFile, file);
    } else if (text.startsWith(QLatin1String("http://"))) {
        const QString decoded = UrlDecode(text);
        QString caption = decoded.mid(7);
        if (!ValidateName(caption.toStdString()))
            caption = QStringLiteral("请输入标题");
        std::string content = Utf8ToAnsi(decoded.toStdString());
        content.push_back('\0');
        CreateNode(parent, caption, true, true, 31, kNodeUrl, content);
    } else {
        AppMessageBox(QStringLiteral("收到的URL(") + text + QStringLiteral(")不符合要求。"), 0);
    }
}

void TFormMain::ShowMainWindow(bool show)
{
    shown_ = show;
    if (show) {
        ApplyLayout(layout_);
        setVisible(true);
        BringAppToFront();
    } else {
        PanelMain->hide();
        PanelNav->hide();
        HideWindow();
    }
}

bool TFormMain::MayShowWindow()
{
    if (WindowShown())
        return true;
    if ((ActionMinimizedAskForLogin->isChecked() || locked_) && db_.IsOpen()) {
        const BusyScope busy(*this);
        if (!AskLogin(this, false, db_, password_, LoginOffer::TypedOnly))
            return false;
    }
    Unlock();   // also when the locked database was closed meanwhile
    return true;
}

// A long operation refuses the close; a page still loading does not hold it up.
void TFormMain::closeEvent(QCloseEvent* e)
{
    if (closing_) {
        e->accept();
        return;
    }
    if (busy_ == 0)
        RestoreContents();   // the edits of a locked window are asked about as usual
    if (busy_ > 0 || SaveCurrentNode(TVNav->currentItem(), true) == 2) {
        if (locked_ && busy_ == 0)
            HideContents();
        e->ignore();
        return;
    }
    closing_ = true;
    SaveSessionSettings();
    ShutdownWebView();
    e->accept();
    QCoreApplication::quit();
}

void TFormMain::SaveSessionSettings()
{
    if (hook_)
        hook_->RemoveHook();
    hotKey_->Remove();
    WriteString(kDefault, QStringLiteral("DBFileName"), QString::fromStdString(db_.Path()));
    WriteInt(kDefault, QStringLiteral("NavWidth"), PanelNav->width());
    WriteInt(kDefault, QStringLiteral("MainLayout"), layout_);
    WriteBool(kDefault, QStringLiteral("WordWrap"), ActionWordWrap->isChecked());
    if (layout_ == 1)
        savedNavWidth_ = PanelNav->width();
    WriteInt(kDefault, QStringLiteral("OldNavWidth"), savedNavWidth_);
    WriteBool(kDefault, QStringLiteral("Visible"), WindowShown());
    WriteBool(kDefault, QStringLiteral("MinimizedLogin"), ActionMinimizedAskForLogin->isChecked());
    WriteBool(kDefault, QStringLiteral("ShowTree"), TVNav->isVisible());
    WriteInt(kDefault, QStringLiteral("WhiteBoardWidth"), whiteBoardWidth_);
    WriteInt(kDefault, QStringLiteral("WhiteBoardHeight"), whiteBoardHeight_);
    CloseDatabase();
    setWindowTitle(QStringLiteral("Vaultleaf"));
    SavePlacement(this);
    wavePage_->Shutdown();
    DeleteTempFiles();
}

void TFormMain::DeleteTempFiles()
{
    const QString tempFolder = QString::fromStdString(TempFolder());
    const QFileInfo folder(tempFolder);
    if (!folder.isDir() || folder.isSymLink())
        return;
    QDir dir(tempFolder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System))
        WipeAndRemoveFile(dir.filePath(name).toStdString());
}

void TFormMain::ActionHelpExecute()
{
    ShowHelpTopic(QStringLiteral("/html/index.htm"));
}
