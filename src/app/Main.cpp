// TFormMain construction: components, menus, tool bars and the ActionList.
#include "app/Main.h"

#include "app/Login.h"
#include "kellib/qt/KELSysHook.h"
#include "kellib/qt/Kelapputil.h"

#include <QAbstractEventDispatcher>
#include <QFile>
#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QHash>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

QIcon ImageListMenus::Icon(int index)
{
    // Loaded once: a tree of thousands of items shares a few images.
    static QHash<int, QIcon> loaded;
    if (auto it = loaded.constFind(index); it != loaded.constEnd())
        return *it;
    QIcon icon;
    const QString base = QStringLiteral(":/icons/%1").arg(index, 2, 10, QLatin1Char('0'));
    for (const char* ext : {".svg", ".png"})
        if (icon.isNull() && QFile::exists(base + QLatin1String(ext)))
            icon = QIcon(base + QLatin1String(ext));
    loaded.insert(index, icon);
    return icon;
}

TStatusBar::TStatusBar(QWidget* parent) : QStatusBar(parent)
{
    setObjectName(QStringLiteral("StatusBar"));
    static const int widths[kPanels] = {80, 40, 30, 80, 230, 50};
    for (int i = 0; i < kPanels; ++i) {
        panels_[i] = new QLabel(this);
        panels_[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        panels_[i]->setFrameShape(QFrame::StyledPanel);
        panels_[i]->setFrameShadow(QFrame::Sunken);
        if (i == 1 || i == 4)
            panels_[i]->setAlignment(Qt::AlignCenter);
        // The last panel takes the rest of the bar, as a free message line.
        // The modified time is as wide as its text needs.
        if (i == kPanels - 1) {
            panels_[i]->setMinimumWidth(widths[i]);
            addWidget(panels_[i], 1);
        } else if (i == 4) {
            panels_[i]->setMinimumWidth(widths[i]);
            addWidget(panels_[i]);
        } else {
            panels_[i]->setFixedWidth(widths[i]);
            addWidget(panels_[i]);
        }
    }
}

void TStatusBar::SetPanelText(int panel, const QString& text)
{
    if (panel < 0 || panel >= kPanels)
        return;
    texts_[panel] = text;
    if (!veiled_)
        panels_[panel]->setText(text);
}

void TStatusBar::SetVeiled(bool veiled)
{
    veiled_ = veiled;
    for (int i = 0; i < kPanels; ++i)
        panels_[i]->setText(veiled ? QString() : texts_[i]);
}

QString TStatusBar::PanelText(int panel) const
{
    return panel >= 0 && panel < kPanels ? panels_[panel]->text() : QString();
}

TFormMain::TFormMain(KELSysHook* hook, QWidget* parent) : QMainWindow(parent), hook_(hook)
{
    setObjectName(QStringLiteral("FormMain"));
    setWindowTitle(QStringLiteral("Vaultleaf"));
    setWindowIcon(ImageListMenus::Icon(0));
    setGeometry(124, 125, 717, 503);
    CreateActions();
    CreateMenus();
    CreateToolBars();
    CreateNavPanel();
    CreatePages();
    StatusBar = new TStatusBar(this);
    setStatusBar(StatusBar);
    ConnectNavTree();
    CreateContentPages();
    CreateMediaPages();
    ConnectBookmarks();
    ConnectDialogs();
    ConnectTrayCommands();
    ConnectFileCommands();
    savedNavWidth_ = PanelNav->width();
    cutId_ = -1;
    TimerHandOver = new QTimer(this);
    TimerHandOver->setSingleShot(true);
    TimerHandOver->setInterval(200);
    connect(TimerHandOver, &QTimer::timeout, this, &TFormMain::RunPendingHandOvers);
    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &TFormMain::UpdateActions);
}

TFormMain::~TFormMain()
{
    if (AppMainWindow() == this)
        SetAppMainWindow(nullptr);
}

QAction* TFormMain::MakeAction(const char* name, const QString& caption, int image,
                               const QKeySequence& shortcut)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(QLatin1String(name));
    if (image >= 0)
        action->setIcon(ImageListMenus::Icon(image));
    action->setShortcut(shortcut);
    action->setEnabled(false);   // until an update rule says otherwise
    addAction(action);           // shortcuts work while the menus are closed
    return action;
}

void TFormMain::SetUpdateRule(QAction* action, std::function<bool()> rule)
{
    updateRules_.emplace_back(action, std::move(rule));
}

void TFormMain::UpdateActions()
{
    for (const auto& [action, rule] : updateRules_) {
        const bool enabled = rule();
        if (action->isEnabled() != enabled)
            action->setEnabled(enabled);
    }
}

bool TFormMain::FocusEditorAccepts(const char* slot) const
{
    QWidget* focus = QApplication::focusWidget();
    return shown_ && focus && focus->metaObject()->indexOfMethod(slot) >= 0;
}

void TFormMain::RunEditCommand(const char* slot)
{
    if (QWidget* focus = QApplication::focusWidget()) {
        QByteArray name(slot);
        name.chop(2);   // "copy()" -> "copy"
        QMetaObject::invokeMethod(focus, name.constData());
    }
}

QTextEdit* TFormMain::EditableFocusText() const
{
    auto* editor = qobject_cast<QTextEdit*>(QApplication::focusWidget());
    return editor && editor->isEnabled() && !editor->isReadOnly() ? editor : nullptr;
}

void TFormMain::DeleteInFocusedText()
{
    if (QTextEdit* editor = EditableFocusText()) {
        QTextCursor cursor = editor->textCursor();
        cursor.deleteChar();
        editor->setTextCursor(cursor);
    }
}

void TFormMain::CreateActions()
{
    // The commands that open, close or rewrite a database wait for a long operation.
    auto shown = [this] { return shown_ && busy_ == 0; };
    auto open = [this] { return shown_ && busy_ == 0 && db_.IsOpen(); };

    // File menu.
    ActionNewDB = MakeAction("ActionNewDB", QStringLiteral("创建数据库(&N)"), 1, QKeySequence(Qt::CTRL | Qt::Key_N));
    ActionOpenDB = MakeAction("ActionOpenDB", QStringLiteral("打开数据库(&O)"), 2, QKeySequence(Qt::CTRL | Qt::Key_O));
    ActionReOpen = MakeAction("ActionReOpen", QStringLiteral("重新打开数据库"), 19);
    ActionOption = MakeAction("ActionOption", QStringLiteral("选项..."), 9);
    ActionChangePassword = MakeAction("ActionChangePassword", QStringLiteral("修改数据库密码"), 23);
    ActionPackDB = MakeAction("ActionPackDB", QStringLiteral("压缩数据库"), 22);
    ActionCloseDB = MakeAction("ActionCloseDB", QStringLiteral("关闭数据库(&C)"), 3, QKeySequence(Qt::CTRL | Qt::Key_F4));
    ActionExit = MakeAction("ActionExit", QStringLiteral("退出(&X)"), 14);
    SetUpdateRule(ActionNewDB, shown);
    SetUpdateRule(ActionOpenDB, shown);
    SetUpdateRule(ActionReOpen, [this] { return shown_ && busy_ == 0 && !MenuItemReOpenSub->isEmpty(); });
    SetUpdateRule(ActionChangePassword, open);
    SetUpdateRule(ActionPackDB, open);
    SetUpdateRule(ActionCloseDB, open);
    SetUpdateRule(ActionExit, [] { return !IsLoginShowing(); });
    connect(ActionNewDB, &QAction::triggered, this, &TFormMain::ActionNewDBExecute);
    connect(ActionOpenDB, &QAction::triggered, this, &TFormMain::ActionOpenDBExecute);
    connect(ActionChangePassword, &QAction::triggered, this, &TFormMain::ActionChangePasswordExecute);
    connect(ActionPackDB, &QAction::triggered, this, &TFormMain::ActionPackDBExecute);
    connect(ActionCloseDB, &QAction::triggered, this, [this] { CloseDatabase(); });
    connect(ActionExit, &QAction::triggered, this, &QWidget::close);

    // Node menu; the node commands come with the tree's own work.
    ActionNewSubNode = MakeAction("ActionNewSubNode", QStringLiteral("新建"), 35);
    ActionOpenNode = MakeAction("ActionOpenNode", QStringLiteral("打开"), 43, QKeySequence(Qt::CTRL | Qt::Key_F3));
    ActionFindNode = MakeAction("ActionFindNode", QStringLiteral("查找"), 15, QKeySequence(Qt::CTRL | Qt::Key_F));
    ActionFullTextSearch = MakeAction("ActionFullTextSearch", QStringLiteral("全文搜索..."), 15,
                                      QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_F));
    ActionToggleBookmark = MakeAction("ActionToggleBookmark", QStringLiteral("设为书签"), 52, QKeySequence(Qt::CTRL | Qt::Key_B));
    ActionCutNode = MakeAction("ActionCutNode", QStringLiteral("剪切节点"), 16, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_X));
    ActionPaste = MakeAction("ActionPaste", QStringLiteral("粘贴节点"), 17, QKeySequence(Qt::CTRL | Qt::ALT | Qt::Key_V));
    ActionPasteAsText = MakeAction("ActionPasteAsText", QStringLiteral("粘贴为文本"), 30);
    ActionPasteAsHTML = MakeAction("ActionPasteAsHTML", QStringLiteral("粘贴为HTML"), 32);
    ActionPasteAsWhiteBoard = MakeAction("ActionPasteAsWhiteBoard", QStringLiteral("粘贴为白板"), 50);
    ActionSave = MakeAction("ActionSave", QStringLiteral("保存节点"), 4, QKeySequence(Qt::CTRL | Qt::Key_S));
    ActionNodeRename = MakeAction("ActionNodeRename", QStringLiteral("重命名"), 18);
    ActionDeleteSelNode = MakeAction("ActionDeleteSelNode", QStringLiteral("删除"), 5, QKeySequence(Qt::CTRL | Qt::Key_Delete));
    ActionDeleteAllChilds = MakeAction("ActionDeleteAllChilds", QStringLiteral("删除所有子项"), 6, QKeySequence(Qt::SHIFT | Qt::Key_Delete));
    ActionImportFiles = MakeAction("ActionImportFiles", QStringLiteral("导入文件..."), 19);
    ActionExportFiles = MakeAction("ActionExportFiles", QStringLiteral("导出文件..."), 20);
    ActionNodeProp = MakeAction("ActionNodeProp", QStringLiteral("属性"), 21, QKeySequence(Qt::Key_F2));

    // Edit menu: the standard commands act on the focused editor.
    struct EditCommand { QAction** action; const char* name; const char* caption; int image; QKeySequence key; const char* slot; };
    const EditCommand edits[] = {
        {&ActionEditUndo, "ActionEditUndo", "撤消(&U)", 36, QKeySequence(Qt::CTRL | Qt::Key_Z), "undo()"},
        {&ActionEditCopy, "ActionEditCopy", "复制(&C)", 37, QKeySequence(Qt::CTRL | Qt::Key_C), "copy()"},
        {&ActionEditCut, "ActionEditCut", "剪切(&T)", 38, QKeySequence(Qt::CTRL | Qt::Key_X), "cut()"},
        {&ActionEditPaste, "ActionEditPaste", "粘贴(&P)", 39, QKeySequence(Qt::CTRL | Qt::Key_V), "paste()"},
        {&ActionEditSelectAll, "ActionEditSelectAll", "全选(&A)", 40, QKeySequence(Qt::CTRL | Qt::Key_A), "selectAll()"},
    };
    for (const EditCommand& e : edits) {
        *e.action = MakeAction(e.name, QString::fromUtf8(e.caption), e.image, e.key);
        (*e.action)->setShortcutContext(Qt::WidgetShortcut);   // the editors keep their own keys
        const char* slot = e.slot;
        SetUpdateRule(*e.action, [this, slot] { return FocusEditorAccepts(slot); });
        connect(*e.action, &QAction::triggered, this, [this, slot] { RunEditCommand(slot); });
    }
    // Delete is no slot of the editors: it removes the selection, or the
    // character after the caret, of the focused editable text.
    ActionEditDelete = MakeAction("ActionEditDelete", QStringLiteral("删除(&D)"), 5, QKeySequence(Qt::Key_Delete));
    ActionEditDelete->setShortcutContext(Qt::WidgetShortcut);
    SetUpdateRule(ActionEditDelete, [this] { return shown_ && EditableFocusText(); });
    connect(ActionEditDelete, &QAction::triggered, this, &TFormMain::DeleteInFocusedText);
    ActionInsertDate = MakeAction("ActionInsertDate", QStringLiteral("插入日期标签"), 41, QKeySequence(Qt::CTRL | Qt::Key_D));
    ActionInsertTimestamp = MakeAction("ActionInsertTimestamp", QStringLiteral("插入时间标签"), 42, QKeySequence(Qt::CTRL | Qt::Key_T));

    // View, tools, window, help.
    ActionMainLayoutSplit = MakeAction("ActionMainLayoutSplit", QStringLiteral("隐藏导航窗口"), 7, QKeySequence(Qt::SHIFT | Qt::Key_F1));
    ActionMainLayoutSplit->setCheckable(true);
    ActionMainLayoutSplit->setChecked(true);
    ActionWordWrap = MakeAction("ActionWordWrap", QStringLiteral("自动回行"), 8, QKeySequence(Qt::CTRL | Qt::Key_W));
    ActionWordWrap->setCheckable(true);
    ActionCalendar = MakeAction("ActionCalendar", QStringLiteral("日历"), 10);
    ActionToggleMinimize = MakeAction("ActionToggleMinimize", QStringLiteral("窗口最小化 Shift+Ctrl+F12"), -1);
    ActionMinimizedAskForLogin = MakeAction("ActionMinimizedAskForLogin", QStringLiteral("恢复窗口时需要登录"), -1);
    ActionMinimizedAskForLogin->setCheckable(true);
    ActionHelp = MakeAction("ActionHelp", QStringLiteral("帮助(&H)"), 13);
    ActionHelp->setToolTip(QStringLiteral("打开帮助文档"));
    ActionRecommend = MakeAction("ActionRecommend", QStringLiteral("推荐给好友"), 11);
    ActionHomepage = MakeAction("ActionHomepage", QStringLiteral("访问软件主页"), 12);
    ActionAbout = MakeAction("ActionAbout", QStringLiteral("关于(&A)"), 24);
    SetUpdateRule(ActionHelp, [] { return true; });
    SetUpdateRule(ActionRecommend, [] { return true; });
    SetUpdateRule(ActionHomepage, [] { return true; });
    connect(ActionHelp, &QAction::triggered, this, &TFormMain::ActionHelpExecute);
    connect(ActionRecommend, &QAction::triggered, this, [] {
        ShellOpen(QStringLiteral("open"),
                  QStringLiteral("mailto:?subject=推荐一个好用的文档管理软件(Vaultleaf)"), QString(), QString());
    });
    connect(ActionHomepage, &QAction::triggered, this, [] {
        ShellOpen(QStringLiteral("open"), QStringLiteral("https://vaultleaf.example/"), QString(), QString());
    });
}

QMenu* TFormMain::AddMenu(const char* name, const QString& caption)
{
    QMenu* menu = MainMenu->addMenu(caption);
    menu->setObjectName(QLatin1String(name));
    return menu;
}

void TFormMain::CreateMenus()
{
    MainMenu = new QMenu(this);
    MainMenu->setObjectName(QStringLiteral("MainMenu"));

    QMenu* file = AddMenu("MenuItemFile", QStringLiteral("文件(&F)"));
    file->addAction(ActionNewDB);
    file->addAction(ActionOpenDB);
    MenuItemReOpenSub = new QMenu(ActionReOpen->text(), file);
    MenuItemReOpenSub->setObjectName(QStringLiteral("MenuItemReOpenSub"));
    ActionReOpen->setMenu(MenuItemReOpenSub);
    file->addAction(ActionReOpen);
    file->addSeparator();
    file->addActions({ActionOption, ActionChangePassword, ActionPackDB});
    file->addSeparator();
    file->addAction(ActionCloseDB);
    file->addSeparator();
    file->addAction(ActionExit);

    // The node entries, shared by the main menu and the tree's pop-up menu.
    auto fillNodeMenu = [this](QMenu* menu, const char* newName, const QString& pasteCaption) {
        QMenu* newMenu = menu->addMenu(ActionNewSubNode->icon(), ActionNewSubNode->text());
        newMenu->setObjectName(QLatin1String(newName));
        newMenu->menuAction()->setEnabled(false);
        menu->addActions({ActionOpenNode, ActionFindNode, ActionFullTextSearch, ActionToggleBookmark});
        menu->addSeparator();
        menu->addActions({ActionCutNode, ActionPaste});
        QMenu* paste = menu->addMenu(pasteCaption);
        paste->addActions({ActionPasteAsText, ActionPasteAsHTML, ActionPasteAsWhiteBoard});
        menu->addSeparator();
        menu->addActions({ActionSave, ActionNodeRename, ActionDeleteSelNode, ActionDeleteAllChilds});
        menu->addSeparator();
        menu->addActions({ActionImportFiles, ActionExportFiles});
        menu->addSeparator();
        menu->addAction(ActionNodeProp);
        return newMenu;
    };
    QMenu* node = AddMenu("MenuItemNode", QStringLiteral("节点(&N)"));
    MenuItemNewSubNode = fillNodeMenu(node, "MenuItemNewSubNode", QStringLiteral("高级粘贴"));
    PopupMenuNav = new QMenu(this);
    PopupMenuNav->setObjectName(QStringLiteral("PopupMenuNav"));
    PopItemNewNode = fillNodeMenu(PopupMenuNav, "PopItemNewNode", QStringLiteral("超级粘贴"));

    QMenu* edit = AddMenu("MenuItemEdit", QStringLiteral("编辑(&E)"));
    edit->addAction(ActionEditUndo);
    edit->addSeparator();
    edit->addActions({ActionEditCopy, ActionEditCut, ActionEditPaste, ActionEditDelete});
    edit->addSeparator();
    edit->addAction(ActionEditSelectAll);
    edit->addSeparator();
    edit->addActions({ActionInsertDate, ActionInsertTimestamp});

    QMenu* view = AddMenu("MenuItemView", QStringLiteral("查看(&V)"));
    view->addAction(ActionMainLayoutSplit);
    view->addSeparator();
    view->addAction(ActionWordWrap);

    MenuItemBookmarks = AddMenu("MenuItemBookmarks", QStringLiteral("书签(&B)"));
    MenuItemBookmarks->addAction(QStringLiteral("Bookmark"))->setEnabled(false);
    MenuItemBookmarks->menuAction()->setEnabled(false);

    QMenu* tools = AddMenu("MenuItemTools", QStringLiteral("工具(&T)"));
    tools->addAction(ActionCalendar);

    QMenu* window = AddMenu("MenuItemWindow", QStringLiteral("窗口(&W)"));
    window->addActions({ActionToggleMinimize, ActionMinimizedAskForLogin});

    QMenu* help = AddMenu("MenuItemHelp", QStringLiteral("帮助(&H)"));
    help->addAction(ActionHelp);
    help->addSeparator();
    help->addAction(ActionHomepage);
    help->addSeparator();
    help->addAction(ActionAbout);

    PopupMenuNewSubNode = new QMenu(this);
    PopupMenuNewSubNode->setObjectName(QStringLiteral("PopupMenuNewSubNode"));

    PopupMenuEdit = new QMenu(this);
    PopupMenuEdit->setObjectName(QStringLiteral("PopupMenuEdit"));
    PopupMenuEdit->addActions({ActionEditUndo, ActionEditCopy, ActionEditCut, ActionEditPaste,
                               ActionEditSelectAll, ActionWordWrap, ActionInsertDate,
                               ActionInsertTimestamp});

    PopupMenuTray = new QMenu(this);
    PopupMenuTray->setObjectName(QStringLiteral("PopupMenuTray"));
    PopupMenuTray->addAction(ActionAbout);
    PopupMenuTray->addSeparator();
    PopupMenuTray->addAction(ActionCalendar);
    PopupMenuTray->addSeparator();
    PopupMenuTray->addActions({ActionToggleMinimize, ActionMinimizedAskForLogin});
    PopupMenuTray->addSeparator();
    PopupMenuTray->addAction(ActionExit);
}

void TFormMain::CreateToolBars()
{
    // The menu is shown only through ToolBarMenu: one captioned button per
    // top-level entry, opening its menu.
    auto* cool = new QWidget(this);
    cool->setObjectName(QStringLiteral("CoolBarMain"));
    auto* bands = new QVBoxLayout(cool);
    bands->setContentsMargins(0, 0, 0, 0);
    bands->setSpacing(0);

    ToolBarMenu = new QToolBar(cool);
    ToolBarMenu->setObjectName(QStringLiteral("ToolBarMenu"));
    ToolBarMenu->setMovable(false);
    for (QAction* entry : MainMenu->actions()) {
        // The button follows its menu's enabled state.
        auto* button = new QToolButton(ToolBarMenu);
        button->setObjectName(QStringLiteral("ToolButton") + entry->menu()->objectName().mid(8));
        button->setDefaultAction(entry);
        button->setPopupMode(QToolButton::InstantPopup);
        button->setToolButtonStyle(Qt::ToolButtonTextOnly);
        button->setAutoRaise(true);
        button->setMinimumSize(55, 20);
        button->setStyleSheet(QStringLiteral("QToolButton::menu-indicator { image: none; }"));
        ToolBarMenu->addWidget(button);
    }

    ToolBarMain = new QToolBar(cool);
    ToolBarMain->setObjectName(QStringLiteral("ToolBarMain"));
    ToolBarMain->setMovable(false);
    ToolBarMain->setIconSize(QSize(16, 16));
    ToolBarMain->addAction(ActionOpenDB);
    ToolBarMain->addSeparator();
    ToolButtonNewSub = new QToolButton(ToolBarMain);
    ToolButtonNewSub->setObjectName(QStringLiteral("ToolButtonNewSub"));
    ToolButtonNewSub->setDefaultAction(ActionNewSubNode);
    ToolButtonNewSub->setMenu(PopupMenuNewSubNode);
    ToolButtonNewSub->setPopupMode(QToolButton::MenuButtonPopup);
    ToolButtonNewSub->setAutoRaise(true);
    ToolBarMain->addWidget(ToolButtonNewSub);
    ToolBarMain->addSeparator();
    ToolBarMain->addActions({ActionSave, ActionDeleteSelNode, ActionDeleteAllChilds});
    ToolBarMain->addSeparator();
    ToolBarMain->addAction(ActionMainLayoutSplit);
    ToolBarMain->addSeparator();
    ToolBarMain->addAction(ActionWordWrap);
    ToolBarMain->addSeparator();
    ToolBarMain->addActions({ActionOption, ActionCalendar});
    ToolBarMain->addSeparator();
    ToolBarMain->addActions({ActionRecommend, ActionHomepage});
    ToolBarMain->addSeparator();
    ToolBarMain->addActions({ActionHelp, ActionExit});

    bands->addWidget(ToolBarMenu);
    bands->addWidget(ToolBarMain);
    setMenuWidget(cool);
    CoolBarMain = cool;
}

void TFormMain::CreateNavPanel()
{
    Splitter = new QSplitter(Qt::Horizontal, this);
    Splitter->setObjectName(QStringLiteral("Splitter"));
    Splitter->setHandleWidth(4);
    Splitter->setChildrenCollapsible(false);

    PanelNav = new QFrame(Splitter);
    PanelNav->setObjectName(QStringLiteral("PanelNav"));
    PanelNav->setMinimumWidth(50);
    auto* navLayout = new QVBoxLayout(PanelNav);
    navLayout->setContentsMargins(0, 0, 0, 0);
    navLayout->setSpacing(0);

    PanelNavBar = new QFrame(PanelNav);
    PanelNavBar->setObjectName(QStringLiteral("PanelNavBar"));
    PanelNavBar->setFixedHeight(19);
    auto* bar = new QHBoxLayout(PanelNavBar);
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setSpacing(0);
    auto speedButton = [this](const char* name, const QString& hint, Qt::ArrowType arrow) {
        auto* b = new QToolButton(PanelNavBar);
        b->setObjectName(QLatin1String(name));
        b->setToolTip(hint);
        b->setArrowType(arrow);
        b->setAutoRaise(true);
        b->setFixedSize(19, 19);
        b->setEnabled(false);
        return b;
    };
    SBMoveDown = speedButton("SBMoveDown", QStringLiteral("下移节点"), Qt::DownArrow);
    SBMoveUp = speedButton("SBMoveUp", QStringLiteral("上移节点"), Qt::UpArrow);
    SBHideNav = speedButton("SBHideNav", QStringLiteral("隐藏导航窗口"), Qt::LeftArrow);
    bar->addWidget(SBMoveDown);
    bar->addWidget(SBMoveUp);
    bar->addStretch(1);
    bar->addWidget(SBHideNav);
    navLayout->addWidget(PanelNavBar);

    PanelTreeView = new QFrame(PanelNav);
    PanelTreeView->setObjectName(QStringLiteral("PanelTreeView"));
    PanelTreeView->setFrameShape(QFrame::StyledPanel);
    PanelTreeView->setFrameShadow(QFrame::Sunken);
    auto* treeLayout = new QVBoxLayout(PanelTreeView);
    treeLayout->setContentsMargins(0, 0, 0, 0);
    TVNav = new QTreeWidget(PanelTreeView);
    TVNav->setObjectName(QStringLiteral("TVNav"));
    TVNav->setHeaderHidden(true);
    TVNav->setColumnCount(1);
    TVNav->setIndentation(19);
    TVNav->setIconSize(QSize(16, 16));
    TVNav->setCursor(Qt::PointingHandCursor);
    TVNav->setContextMenuPolicy(Qt::CustomContextMenu);
    TVNav->setEnabled(false);
    connect(TVNav, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (QTreeWidgetItem* item = TVNav->itemAt(pos))
            TVNav->setCurrentItem(item);
        PopupMenuNav->popup(TVNav->viewport()->mapToGlobal(pos));
    });
    treeLayout->addWidget(TVNav);
    navLayout->addWidget(PanelTreeView, 1);
}

void TFormMain::CreatePages()
{
    PanelMain = new QFrame(Splitter);
    PanelMain->setObjectName(QStringLiteral("PanelMain"));
    auto* layout = new QVBoxLayout(PanelMain);
    layout->setContentsMargins(0, 0, 0, 0);
    PageControlMain = new QTabWidget(PanelMain);
    PageControlMain->setObjectName(QStringLiteral("PageControlMain"));
    layout->addWidget(PageControlMain);

    struct Page { const char* name; const char* caption; };
    const Page pages[] = {
        {"TabSheetText", "文本编辑"}, {"TabSheetHtml", "浏览器"}, {"TabSheetRTF", "格式编辑"},
        {"TabSheetDraw", "画图板"},   {"TabSheetWave", "录音"},   {"TabSheetInfo", "信息"},
    };
    for (const Page& p : pages) {
        auto* sheet = new QWidget(PageControlMain);
        sheet->setObjectName(QLatin1String(p.name));
        new QVBoxLayout(sheet);
        sheet->layout()->setContentsMargins(0, 0, 0, 0);
        PageControlMain->addTab(sheet, QString::fromUtf8(p.caption));
    }
    RichEditText = new QTextEdit;
    RichEditText->setObjectName(QStringLiteral("RichEditText"));
    RichEditText->setAcceptRichText(false);
    RichEditText->setLineWrapMode(QTextEdit::NoWrap);
    RichEditText->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(RichEditText, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        PopupMenuEdit->popup(RichEditText->viewport()->mapToGlobal(pos));
    });
    PageControlMain->widget(0)->layout()->addWidget(RichEditText);
    ListBoxInfo = new QListWidget;
    ListBoxInfo->setObjectName(QStringLiteral("ListBoxInfo"));
    PageControlMain->widget(5)->layout()->addWidget(ListBoxInfo);
    // Nothing is shown before a node is: only the information page.
    for (int i = 0; i < PageControlMain->count(); ++i)
        PageControlMain->setTabVisible(i, i == 5);
    PageControlMain->setCurrentIndex(5);

    Splitter->addWidget(PanelNav);
    Splitter->addWidget(PanelMain);
    Splitter->setStretchFactor(1, 1);
    Splitter->setSizes({185, 717 - 185});
    PanelNav->resize(185, PanelNav->height());
    setCentralWidget(Splitter);
}
