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

#include <functional>
#include <memory>
#include <vector>

#include "app/TextPage.h"
#include "db/CaseDB.h"

class HtmlSourceHandler;
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
class QTimer;
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
    QString PanelText(int panel) const;
    static constexpr int kPanels = 6;

private:
    QLabel* panels_[kPanels] = {};
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
    QTreeWidget* NavTree() const { return TVNav; }
    QTabWidget* Pages() const { return PageControlMain; }
    TStatusBar* Status() const { return StatusBar; }
    QMenu* ReopenMenu() const { return MenuItemReOpenSub; }
    QSystemTrayIcon* TrayIcon() const { return trayIcon_; }
    const std::string& Password() const { return password_; }

    // Tree basics used by opening and closing.
    void CreateSpecialItems();
    bool SelectNodeById(int id);
    QTreeWidgetItem* FindItemById(int id) const;
    static int ImageOfKind(int code);
    QTreeWidgetItem* AddTreeItem(QTreeWidgetItem* parent, int id, int image, const QString& caption,
                                 int kind);
    void LoadChildren(QTreeWidgetItem* item);
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
    void RenumberChildren(QTreeWidgetItem* item);
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
    bool ShowAsHtml(bool addressMode);
    bool PreviewFileNode(QTreeWidgetItem* item, bool load, bool activate);
    QWebEngineView* HtmlViewer() const { return HTMLViewer; }

    // The RTF page and what both editors share (MainPages.cpp).
    bool LoadRtfPage(const std::string& text);
    TRtfPage* RtfPage() const { return rtfPage_; }
    void ShowCaretPosition();

    // Bookmarks (MainBookmarks.cpp).
    void ActionToggleBookmarkExecute();
    void BookmarkItemClick(QAction* entry);

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

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
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
    QMenu* AddMenu(const char* name, const QString& caption);
    void RunEditCommand(const char* slot);
    bool FocusEditorAccepts(const char* slot) const;

    // Commands of the file menu (MainDatabase.cpp).
    void ActionNewDBExecute();
    void ActionOpenDBExecute();
    void ActionChangePasswordExecute();
    void ActionPackDBExecute();
    void ReopenItemClick(const QString& caption);
    QString AskDatabaseFile(const QString& title);
    void RestoreSelection();
    void RebuildBookmarkMenu();

    // Session (MainSession.cpp).
    void ReadDefaultSettings();
    void OpenLastDatabase();
    void HandleHookMessage(int message, qint64 wParam);
    void DeleteTempFiles();
    void ActionHelpExecute();

    // Navigation tree (MainNav.cpp), pages (MainPages.cpp, MainWebView.cpp),
    // bookmarks (MainBookmarks.cpp).
    void ConnectNavTree();
    void SetNodeCommandRules();
    void TVNavChanging(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void UpdateMoveButtons();
    void MoveTreeItemUnder(QTreeWidgetItem* item, QTreeWidgetItem* target);
    void SlidePanel(int from, int to);
    void FloatNavPanel();
    void TimerMonitorMouseTimer();
    void CreateContentPages();
    void SetPagesVisible(std::initializer_list<int> pages);
    bool ReadShownNode(QTreeWidgetItem* item, CaseNode& node);
    // Saves one node and commits; on failure rolls back, so nothing half-done stays.
    bool SaveNodeCommitted(const CaseNode& node);
    bool FocusIsEditor() const;
    void CreateWebView();
    void WaitForDocument();
    void ConnectBookmarks();
    void CreateRtfPage();
    void LinkClick(QTextEdit* editor, int start, int end);
    bool RtfPageVisible() const;

    QTimer* TimerNavChange = nullptr;
    QTimer* TimerMonitorMouse = nullptr;
    QWebEngineView* HTMLViewer = nullptr;
    HtmlSourceHandler* htmlSource_ = nullptr;
    bool changingGuard_ = false;
    bool showingContent_ = false;
    bool htmlLoading_ = false;
    TextEncoding shownTextEncoding_ = TextEncoding::Ansi;

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
    QSystemTrayIcon* trayIcon_ = nullptr;
};
