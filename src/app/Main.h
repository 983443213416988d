// TFormMain: the main window. It owns the one CaseDB, the navigation tree
// TVNav, the content pages in PageControlMain, the menus and the ActionList.
//
// The construction (Main.cpp) builds the components under their names; the
// start-up, message routing, showing and closing live in MainSession.cpp,
// opening and closing databases in MainDatabase.cpp, the tree basics in
// MainTree.cpp.
#pragma once

#include <QMainWindow>
#include <QStatusBar>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <set>
#include <vector>

#include "app/LockVeil.h"
#include "app/TextPage.h"
#include "db/CaseDB.h"
#include "kellib/KELFileMonitor.h"

class DrawPage;
class HtmlSourceHandler;
class KELHotKey;
class KELLockWatch;
class KELTrayIcon;
class WavePage;
class KELShellDragDropFiles;
class KELSysHook;
class QAction;
class QActionGroup;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class QSplitter;
class QSystemTrayIcon;
class QTabWidget;
class QTextEdit;
class QToolBar;
class QToolButton;
class QTreeWidget;
class QTreeWidgetItem;
class QDateTime;
class QLocale;
class QTimer;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;
class TRtfPage;

// The images of menus, tool bar and tree, by their index.
class ImageListMenus {
public:
    static QIcon Icon(int index);
};

// Item data roles of TVNav: the CaseNodeData of each item.
enum TreeRole { RoleNodeId = Qt::UserRole + 1, RoleNodeType, RoleHasChildren };

// The six-panel status bar.
class TStatusBar : public QStatusBar {
public:
    explicit TStatusBar(QWidget* parent);
    void SetPanelText(int panel, const QString& text);
    QString PanelText(int panel) const;   // as shown
    // Veiled (while locked), the panels show nothing; their texts wait.
    void SetVeiled(bool veiled);
    static constexpr int kPanels = 6;

private:
    QLabel* panels_[kPanels] = {};
    QString texts_[kPanels];
    bool veiled_ = false;
};

// Before the QApplication exists: switches the web engine's sandbox off where
// it cannot work (offscreen test runs, root) and lets it share GL contexts.
void PrepareWebEngine();

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    // hook: the program-wide hand-over object (may be null in tests).
    explicit TFormMain(KELSysHook* hook, QWidget* parent = nullptr);
    ~TFormMain() override;

    // Start-up (creation handler); argument = the first command-line argument.
    void FormCreate(const QString& argument);

    // Part of the workspace other windows call.
    bool OpenDatabase(const QString& path, bool create, bool autoLogin);
    bool CloseDatabase();
    void UpdateReopenList(const QString& path);
    void UpdateTitle();
    void ShowChildCount();
    void ShowModifiedMark();
    void ShowStatusText(const QString& text);
    void ReceivePath(const QString& text);
    void ShowMainWindow(bool show);
    bool MayShowWindow();
    void SaveSessionSettings();
    // Recomputes every action's enabled state (also run whenever the
    // application is idle).
    void UpdateActions();

    CaseDB& Database() { return db_; }
    bool Shown() const { return shown_; }
    // A long operation runs (opening with its login, password change, pack):
    // hand-overs wait for its end and the database commands are refused.
    bool Busy() const { return busy_ > 0; }
    QTreeWidget* NavTree() const { return TVNav; }
    QTabWidget* Pages() const { return PageControlMain; }
    TStatusBar* Status() const { return StatusBar; }
    QMenu* ReopenMenu() const { return MenuItemReOpenSub; }
    QSystemTrayIcon* TrayIcon() const;
    const std::string& Password() const { return password_; }

    // Tree basics used by opening and closing.
    void CreateSpecialItems();
    // Selects the node's item, loading its folders, after the save question;
    // false when the node is not in the tree (missing, or below a damaged
    // part of it); 取消 keeps the selection.
    bool SelectNodeById(int id);
    // The one way the program moves the selection: the save question about
    // the shown node first; false when the user cancelled.
    bool SelectItem(QTreeWidgetItem* item);
    bool MayLeaveShownNode();
    // Commits the store's pending changes; a failed commit (which the store
    // reports) rolls them back. Rolls back pending changes and says so
    // when even that fails.
    bool CommitOrRollBack();
    void RollBackPending();
    // After a change that failed to commit: the tree loaded anew from the
    // store, with the node id selected as far as it can be.
    void ResyncTree(int id);
    QTreeWidgetItem* FindItemById(int id) const;
    static int ImageOfKind(int code);
    QTreeWidgetItem* AddTreeItem(QTreeWidgetItem* parent, int id, int image, const QString& caption,
                                 int kind);
    void LoadChildren(QTreeWidgetItem* item);
    // The has-children flag: the expand button, and what the delete-all and
    // empty-bin commands look at.
    static void SetHasChildren(QTreeWidgetItem* item, bool has);
    // Creates a node under parent (kind 3: bytes are the path of a file to read).
    QTreeWidgetItem* CreateNode(QTreeWidgetItem* parent, const QString& caption, bool commit,
                                bool edit, int image, int kind, const std::string& bytes);

    // Content state; the content pages fill these in.
    int SaveCurrentNode(QTreeWidgetItem* item, bool ask);
    bool IsModified() const;
    void SetModified(bool modified);

    // Navigation tree and node commands (MainNav.cpp).
    void BuildNewMenu(QMenu* menu);
    void NewSubItemClick(int code, int image);
    // End of a caption edit; false keeps the old caption.
    bool CaptionEdited(QTreeWidgetItem* item, const QString& text);
    void TVNavChange();
    void MoveSelected(int step);   // -1 up (SBMoveUp), +1 down (SBMoveDown)
    bool RenumberChildren(QTreeWidgetItem* item);   // false: the store is as before
    bool MoveItemUnder(QTreeWidgetItem* item, QTreeWidgetItem* target);
    bool DeleteItem(QTreeWidgetItem* item);
    void ActionDeleteSelNodeExecute();
    void ActionDeleteAllChildsExecute();
    void ActionPasteExecute();
    void ApplyLayout(int layout);
    QTreeWidgetItem* RecycleBinItem() const { return recycleBinItem_; }
    QTreeWidgetItem* BriefcaseItem() const { return briefcaseItem_; }

    // Content pages (MainPages.cpp) and the browser page (MainWebView.cpp).
    bool ShowNodeContent(QTreeWidgetItem* item, bool switchPage, bool reload);
    void SetReadOnly(bool readOnly);
    bool LoadTextPage(const std::string& text, TextEncoding encoding);
    void ShowModifiedTime(const QString& time);
    QWidget* PageOfKind(int code) const;
    bool InsertAtCaret(const QString& text);
    void SetWordWrap(bool on);
    void PasteAs(int kind);
    static QString DateTimeStamp(const QDateTime& when);
    static QString LongTimeFormat(const QLocale& locale);
    bool ShowAsHtml(bool addressMode);
    bool PreviewFileNode(QTreeWidgetItem* item, bool load, bool activate);
    // The text of the text page as stored text sees it (a text shown in
    // pieces is given whole).
    QString TextPageText() const;
    QWebEngineView* HtmlViewer() const { return HTMLViewer; }

    // Tray icon, hot key, hiding to the tray, the calendar (MainTray.cpp).
    KELTrayIcon* Tray() const { return tray_; }
    KELHotKey* HotKey() const { return hotKey_; }
    // The window is shown (not hidden to the tray, not parked minimised).
    bool WindowShown() const;
    void ActionToggleMinimizeExecute();
    void ActionCalendarExecute();
    void ApplicationEventsMinimize();
    // MSG_HOOK_KEY: virtual-key code and keystroke flags (bit 31: key up).
    void HotKeyMessage(qint64 key, qint64 flags);
    void TrayMouseMove();
    // While hidden to the tray, requests to show the window (bringing the
    // program to the front, a dialog's owner) are ignored.
    void setVisible(bool visible) override;
    // Locking on the desktop's screen lock and on idle (MainTray.cpp): the
    // window hides as by the hot key, and restoring asks for the password.
    void LockWindow();
    bool Locked() const { return locked_; }
    KELLockWatch* LockWatch() const { return lockWatch_; }
    int IdleLockMinutes() const { return idleLockMinutes_; }
    // Stores "IdleLockMinutes" (0: never) and applies it.
    void SetIdleLockMinutes(int minutes);
    void ReadLockSettings();
    // Whiteboard and sound recorder pages (DrawPage, WavePage; MainMedia.cpp).
    DrawPage* DrawPageView() const { return drawPage_; }
    WavePage* WavePageView() const { return wavePage_; }
    QAction* ActionPastePicture = nullptr;
    // The RTF page and what both editors share (MainPages.cpp).
    bool LoadRtfPage(const std::string& text);
    TRtfPage* RtfPage() const { return rtfPage_; }
    void ShowCaretPosition();

    // Bookmarks (MainBookmarks.cpp).
    void ActionToggleBookmarkExecute();
    void BookmarkItemClick(QAction* entry);

    // Fonts and colours of the text editor and the tree (MainAppearance.cpp).
    // Each Apply stores the value in the settings and applies it at once.
    static QFont DefaultFont();   // 宋体, else an installed Chinese face; 9 points
    static QColor FontColorOf(const QWidget* widget);
    static QColor BackgroundOf(const QWidget* widget);
    void ApplyEditorFont(const QFont& font, const QColor& color);
    void ApplyEditorColor(const QColor& color);
    void ApplyNavFont(const QFont& font, const QColor& color);
    void ApplyNavColor(const QColor& color);
    QTextEdit* TextEditor() const { return RichEditText; }

    // Find, properties, options, about, calling cards (MainDialogs.cpp).
    void ActionFindNodeExecute();
    void ActionFullTextSearchExecute();   // "全文搜索...": TFormFullTextSearch
    void ActionNodePropExecute();
    void ActionOptionExecute();
    void ActionAboutExecute();
    void NewCardNode(QTreeWidgetItem* parent, int image);
    void OpenCardNode(QTreeWidgetItem* item);
    // The information page: the card's fields for a card item, else empty.
    void ShowCardInfo(QTreeWidgetItem* item);

    // Actions of ActionList by their names.
    QAction* ActionNewDB = nullptr;
    QAction* ActionOpenDB = nullptr;
    QAction* ActionReOpen = nullptr;
    QAction* ActionOption = nullptr;
    QAction* ActionChangePassword = nullptr;
    QAction* ActionPackDB = nullptr;
    QAction* ActionCloseDB = nullptr;
    QAction* ActionExit = nullptr;
    QAction* ActionNewSubNode = nullptr;
    QAction* ActionOpenNode = nullptr;
    QAction* ActionFindNode = nullptr;
    QAction* ActionFullTextSearch = nullptr;
    QAction* ActionToggleBookmark = nullptr;
    QAction* ActionCutNode = nullptr;
    QAction* ActionPaste = nullptr;
    QAction* ActionPasteAsText = nullptr;
    QAction* ActionPasteAsHTML = nullptr;
    QAction* ActionPasteAsWhiteBoard = nullptr;
    QAction* ActionSave = nullptr;
    QAction* ActionNodeRename = nullptr;
    QAction* ActionDeleteSelNode = nullptr;
    QAction* ActionDeleteAllChilds = nullptr;
    QAction* ActionImportFiles = nullptr;
    QAction* ActionExportFiles = nullptr;
    QAction* ActionNodeProp = nullptr;
    QAction* ActionEditUndo = nullptr;
    QAction* ActionEditCopy = nullptr;
    QAction* ActionEditCut = nullptr;
    QAction* ActionEditPaste = nullptr;
    QAction* ActionEditDelete = nullptr;
    QAction* ActionEditSelectAll = nullptr;
    QAction* ActionInsertDate = nullptr;
    QAction* ActionInsertTimestamp = nullptr;
    QAction* ActionMainLayoutSplit = nullptr;
    QAction* ActionWordWrap = nullptr;
    QAction* ActionCalendar = nullptr;
    QAction* ActionToggleMinimize = nullptr;
    QAction* ActionMinimizedAskForLogin = nullptr;
    QAction* ActionHelp = nullptr;
    QAction* ActionRecommend = nullptr;
    QAction* ActionHomepage = nullptr;
    QAction* ActionAbout = nullptr;

    // Files in and out (MainFiles.cpp): the import and export wizards, open
    // by kind with the file monitor, files dropped onto the tree.
    void ActionOpenNodeExecute();
    void ActionImportFilesExecute();
    void ActionExportFilesExecute();
    void ImportDroppedFiles(const QPoint& point);
    KELFileMonitor& FileMonitor() { return fileMonitor_; }
    KELShellDragDropFiles* ShellDragDropFiles() const { return shellDragDropFiles_; }
    // The session ends (SIGTERM, SIGHUP, the session manager): no one can
    // answer a question, so an external program's changed copy and the
    // shown page's edits are stored without asking, then the window closes.
    void EndSession();
    void CloseAtSessionEnd();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    // Marks a long operation for its lifetime; the hand-overs that waited for
    // it run once the outermost one ends.
    class BusyScope {
    public:
        explicit BusyScope(TFormMain& form);
        ~BusyScope();
        BusyScope(const BusyScope&) = delete;
        BusyScope& operator=(const BusyScope&) = delete;

    private:
        TFormMain& form_;
    };
    struct HandOver {
        int message;
        QString text;
    };

    // Construction (Main.cpp).
    void CreateActions();
    QAction* MakeAction(const char* name, const QString& caption, int image,
                        const QKeySequence& shortcut = {});
    void SetUpdateRule(QAction* action, std::function<bool()> rule);
    void CreateMenus();
    void CreateToolBars();
    void CreateNavPanel();
    void CreatePages();
    void CreateTrayIcon();
    void ConnectTrayCommands();
    void InstallHotKey();
    void HideWindow();
    void ParkMinimized();
    void RestoreFromTaskbar();
    QMenu* AddMenu(const char* name, const QString& caption);
    void RunEditCommand(const char* slot);
    bool FocusEditorAccepts(const char* slot) const;
    QTextEdit* EditableFocusText() const;
    void DeleteInFocusedText();

    // Commands of the file menu (MainDatabase.cpp).
    void ActionNewDBExecute();
    void ActionOpenDBExecute();
    void ActionChangePasswordExecute();
    void ActionPackDBExecute();
    void ReopenItemClick(const QString& caption);
    QString AskDatabaseFile(const QString& title, bool save);
    void RestoreSelection();
    void RebuildBookmarkMenu();

    // Session (MainSession.cpp).
    void ReadDefaultSettings();
    void OpenLastDatabase();
    void HandleHookMessage(int message, qint64 wParam);
    bool HandOverMustWait() const;
    void RunHandOver(int message, const QString& text);
    void RunPendingHandOvers();
    void ShutdownWebView();
    void DeleteTempFiles();
    void ActionHelpExecute();

    // Navigation tree (MainNav.cpp), pages (MainPages.cpp, MainWebView.cpp),
    // bookmarks (MainBookmarks.cpp).
    void ConnectNavTree();
    void SetNodeCommandRules();
    void TVNavChanging(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    int AskToLeave(QTreeWidgetItem* shown);
    void ShowSelectionStatus(QTreeWidgetItem* item);
    void KeepSelection(QTreeWidgetItem* item);
    void UpdateMoveButtons();
    void MoveTreeItemUnder(QTreeWidgetItem* item, QTreeWidgetItem* target);
    void SlidePanel(int from, int to);
    void FloatNavPanel();
    void TimerMonitorMouseTimer();
    void CreateContentPages();
    void SetPagesVisible(std::initializer_list<int> pages);
    bool ReadShownNode(QTreeWidgetItem* item, CaseNode& node);
    void ShowUnreadable(QTreeWidgetItem* item);
    void SetTextPage(const QString& text);
    // Saves one node and commits; on failure rolls back, so nothing half-done stays.
    bool SaveNodeCommitted(const CaseNode& node);
    bool FocusIsEditor() const;
    void CreateWebView();
    void CreateRemoteContentBar();
    QWebEnginePage* NewWebPage(bool blockRemote);
    void DiscardWebPage();
    void WebPageLoaded(QWebEnginePage* page, bool ok);
    void ShowLoadError();
    void ConnectBookmarks();
    void ConnectDialogs();
    void ReadAppearance();
    // Whiteboard and sound pages (MainMedia.cpp).
    void CreateMediaPages();
    bool LoadMediaPage(int kind, const CaseNode& node);
    void ActionPasteAsWhiteBoardExecute();
    DrawPage* drawPage_ = nullptr;
    WavePage* wavePage_ = nullptr;

    // Files in and out (MainFiles.cpp).
    void ConnectFileCommands();
    void OpenFileNode(QTreeWidgetItem* item);
    // The file-node case of SaveCurrentNode; -1 when the copy is unchanged.
    int StoreBackFile(QTreeWidgetItem* item, bool ask);
    KELFileMonitor fileMonitor_;
    KELShellDragDropFiles* shellDragDropFiles_ = nullptr;
    void CreateRtfPage();
    void LinkClick(QTextEdit* editor, int start, int end);
    bool RtfPageVisible() const;

    QTimer* TimerNavChange = nullptr;
    QTimer* TimerHandOver = nullptr;   // looks again at hand-overs held back by a modal window
    QTimer* TimerMonitorMouse = nullptr;
    QWebEngineView* HTMLViewer = nullptr;
    QFrame* RemoteContentBar = nullptr;
    QTimer* TimerPageLimit = nullptr;   // an address that takes longer shows our error page
    QWebEngineProfile* webProfile_ = nullptr;
    HtmlSourceHandler* htmlSource_ = nullptr;
    // An address loads in two steps: our opening page, then the address.
    enum class WebState { Idle, Opening, Loading };
    WebState webState_ = WebState::Idle;
    QUrl webAddress_;
    bool webPageUsed_ = false;
    int webNode_ = 0;   // the node whose stored HTML the page shows
    std::set<std::pair<std::string, int>> remoteAllowed_;   // database, node: remote content shown
    bool changingGuard_ = false;
    bool showingContent_ = false;
    TextEncoding shownTextEncoding_ = TextEncoding::Ansi;
    QString pieceSource_;   // the whole text while the text page shows it in pieces
    bool textInPieces_ = false;

    CaseDB db_;
    KELSysHook* hook_ = nullptr;
    std::string password_;
    bool shown_ = false;
    bool closing_ = false;
    int layout_ = 1;
    int savedNavWidth_ = 185;
    int whiteBoardWidth_ = 600;
    int whiteBoardHeight_ = 400;
    int updateLock_ = 0;
    int cutId_ = -1;
    int busy_ = 0;
    std::vector<HandOver> pendingHandOvers_;
    QTreeWidgetItem* recycleBinItem_ = nullptr;
    QTreeWidgetItem* briefcaseItem_ = nullptr;
    std::vector<std::pair<QAction*, std::function<bool()>>> updateRules_;

    // Components by their names.
    QWidget* CoolBarMain = nullptr;
    QToolBar* ToolBarMenu = nullptr;
    QToolBar* ToolBarMain = nullptr;
    QToolButton* ToolButtonNewSub = nullptr;
    QFrame* PanelNav = nullptr;
    QFrame* PanelNavBar = nullptr;
    QFrame* PanelTreeView = nullptr;
    QToolButton* SBMoveUp = nullptr;
    QToolButton* SBMoveDown = nullptr;
    QToolButton* SBHideNav = nullptr;
    QTreeWidget* TVNav = nullptr;
    QSplitter* Splitter = nullptr;
    QFrame* PanelMain = nullptr;
    QTabWidget* PageControlMain = nullptr;
    QTextEdit* RichEditText = nullptr;
    TRtfPage* rtfPage_ = nullptr;
    QListWidget* ListBoxInfo = nullptr;
    TStatusBar* StatusBar = nullptr;
    QMenu* MainMenu = nullptr;   // the top-level entries, shown by ToolBarMenu
    QMenu* MenuItemReOpenSub = nullptr;
    QMenu* MenuItemNewSubNode = nullptr;
    QMenu* MenuItemBookmarks = nullptr;
    QMenu* PopupMenuNav = nullptr;
    QMenu* PopItemNewNode = nullptr;
    QMenu* PopupMenuEdit = nullptr;
    QMenu* PopupMenuTray = nullptr;
    QMenu* PopupMenuNewSubNode = nullptr;
    KELTrayIcon* tray_ = nullptr;
    KELHotKey* hotKey_ = nullptr;
    QTimer* TimerTrayTip = nullptr;
    QAction* ActionHotKeyUnavailable = nullptr;
    bool shiftDown_ = false;
    bool ctrlDown_ = false;
    bool parking_ = false;   // minimising a hidden window onto the taskbar
    // Locking (MainTray.cpp).
    void ConnectLock();
    // The pages, the tree and the bookmark menu give their contents to veil_
    // while locked, and get them back at the login (or before a close).
    void HideContents();
    bool RestoreContents();
    void Unlock();
    LockVeil veil_;
    KELLockWatch* lockWatch_ = nullptr;
    QTimer* TimerLock = nullptr;   // a lock held back by a modal window is tried again
    int idleLockMinutes_ = 0;
    bool locked_ = false;
};
