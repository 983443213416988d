#include "app/Options.h"

#include "app/FilePreview.h"
#include "app/Main.h"
#include "kellib/Kelcodepage.h"
#include "kellib/qt/Kelapputil.h"
#include "kellib/qt/Kelregistry.h"

#include <QAction>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

const QString kProduct = QStringLiteral("Vaultleaf");
const QString kMenuExtKey = QStringLiteral("Software\\Microsoft\\Internet Explorer\\MenuExt\\发送到Vaultleaf");
const QString kSetupKey = QStringLiteral("Software\\Vaultleaf\\Setup");

QString text(const std::string& ansi)
{
    return QString::fromStdString(AnsiToUtf8(ansi));
}

std::string ansi(const QString& text)
{
    return Utf8ToAnsi(text.toStdString());
}

// The previews keep font colour and background in their palettes, as the
// tree and the editor do.
void setPreview(QWidget* preview, const QFont& font, const QColor& color, const QColor& background)
{
    preview->setFont(font);
    QPalette palette = preview->palette();
    palette.setColor(QPalette::Text, color);
    palette.setColor(QPalette::WindowText, color);
    palette.setColor(QPalette::Base, background);
    palette.setColor(QPalette::Window, background);
    preview->setPalette(palette);
}

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QLatin1String(name));
    return b;
}

QCheckBox* checkBox(const char* name, const QString& caption, QWidget* parent)
{
    auto* box = new QCheckBox(caption, parent);
    box->setObjectName(QLatin1String(name));
    return box;
}

// A group with a preview on the left and the font and colour buttons on the right.
QGroupBox* previewGroup(const QString& title, QWidget* preview, QPushButton* font, QPushButton* color,
                        QWidget* parent)
{
    auto* group = new QGroupBox(title, parent);
    auto* layout = new QHBoxLayout(group);
    preview->setFixedHeight(80);
    layout->addWidget(preview, 1);
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(font);
    buttons->addWidget(color);
    buttons->addStretch(1);
    layout->addLayout(buttons);
    return group;
}

} // namespace

QString SendToEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
           + QStringLiteral("/applications/vaultleaf-sendto.desktop");
}

bool CreateSendToEntry(const QString& program)
{
    const QString path = SendToEntryPath();
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    // No MimeType: an entry naming a type becomes that type's default where
    // the user chose none, and its pages would then open here.
    const QString entry = QStringLiteral("[Desktop Entry]\nType=Application\nName=发送到Vaultleaf\n"
                                         "Comment=发送到Vaultleaf\nExec=%1 %u\nNoDisplay=true\nTerminal=false\n")
                              .arg(DesktopExecLine(program, QString()));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = entry.toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}

void RepairSendToEntry()
{
    QFile file(SendToEntryPath());
    if (!file.open(QIODevice::ReadOnly))
        return;
    const bool claimsTypes = file.read(64 * 1024).contains("\nMimeType=");
    file.close();
    if (claimsTypes)
        CreateSendToEntry(QCoreApplication::applicationFilePath());
}

bool DeleteSendToEntry()
{
    return !QFile::exists(SendToEntryPath()) || QFile::remove(SendToEntryPath());
}

TFormOption::TFormOption(TFormMain& form) : QDialog(&form), form_(form)
{
    setObjectName(QStringLiteral("FormOption"));
    setWindowTitle(QStringLiteral("选项"));
    PageControlOption = new QTabWidget(this);
    PageControlOption->setObjectName(QStringLiteral("PageControlOption"));
    PageControlOption->addTab(CreateBasicPage(), QStringLiteral("基本配置"));
    PageControlOption->addTab(CreateDatabasePage(), QStringLiteral("数据库配置"));

    ButtonOK = button("ButtonOK", QStringLiteral("确定"), this);
    ButtonOK->setDefault(true);
    ButtonCancel = button("ButtonCancel", QStringLiteral("取消"), this);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(ButtonOK);
    buttons->addWidget(ButtonCancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(PageControlOption);
    layout->addLayout(buttons);

    connect(Button1, &QPushButton::clicked, this, [this] { ChooseFont(TreeViewNavSettings); });
    connect(Button2, &QPushButton::clicked, this, [this] { ChooseColor(TreeViewNavSettings); });
    connect(Button3, &QPushButton::clicked, this, [this] { ChooseFont(PanelEditSettings); });
    connect(Button4, &QPushButton::clicked, this, [this] { ChooseColor(PanelEditSettings); });
    connect(Button5, &QPushButton::clicked, this, &TFormOption::Button5Click);
    connect(ButtonDefaultExt, &QPushButton::clicked, this, &TFormOption::ButtonDefaultExtClick);
    connect(ButtonOK, &QPushButton::clicked, this, &TFormOption::ButtonOKClick);
    connect(ButtonCancel, &QPushButton::clicked, this, &QDialog::reject);
    ShowSettings();
}

QWidget* TFormOption::CreateBasicPage()
{
    auto* page = new QWidget;
    page->setObjectName(QStringLiteral("TabSheetBasic"));
    CheckBoxAutoRun = checkBox("CheckBoxAutoRun", QStringLiteral("开机时自动运行"), page);
    CheckBoxMinimizedAskForLogin = checkBox("CheckBoxMinimizedAskForLogin",
                                            QStringLiteral("恢复最小化后的窗口需要重新登录"), page);
    SpinEditIdleLock = new QSpinBox(page);
    SpinEditIdleLock->setObjectName(QStringLiteral("SpinEditIdleLock"));
    SpinEditIdleLock->setRange(0, 24 * 60);
    auto* idleLabel = new QLabel(QStringLiteral("空闲时自动锁定（分钟）"), page);
    idleLabel->setObjectName(QStringLiteral("LabelIdleLock"));
    idleLabel->setBuddy(SpinEditIdleLock);

    TreeViewNavSettings = new QTreeWidget(page);
    TreeViewNavSettings->setObjectName(QStringLiteral("TreeViewNavSettings"));
    TreeViewNavSettings->setHeaderHidden(true);
    TreeViewNavSettings->setEditTriggers(QAbstractItemView::NoEditTriggers);
    auto* bin = new QTreeWidgetItem(TreeViewNavSettings, {QStringLiteral("回收站")});
    new QTreeWidgetItem(bin, {QStringLiteral("已删除的文章")});
    auto* documents = new QTreeWidgetItem(TreeViewNavSettings, {QStringLiteral("我的文档")});
    new QTreeWidgetItem(documents, {QStringLiteral("文章")});
    new QTreeWidgetItem(documents, {QStringLiteral("通讯录")});
    TreeViewNavSettings->expandAll();
    Button1 = button("Button1", QStringLiteral("字体"), page);
    Button2 = button("Button2", QStringLiteral("背景颜色"), page);

    PanelEditSettings = new QLabel(QStringLiteral("编辑器的配置预览"), page);
    PanelEditSettings->setObjectName(QStringLiteral("PanelEditSettings"));
    PanelEditSettings->setAlignment(Qt::AlignCenter);
    PanelEditSettings->setFrameShape(QFrame::StyledPanel);
    PanelEditSettings->setFrameShadow(QFrame::Sunken);
    PanelEditSettings->setAutoFillBackground(true);
    Button3 = button("Button3", QStringLiteral("字体"), page);
    Button4 = button("Button4", QStringLiteral("背景颜色"), page);
    Button5 = button("Button5", QStringLiteral("将以上设置恢复为默认值"), page);
    CheckBoxAddIESendTo = checkBox("CheckBoxAddIESendTo", QStringLiteral("在浏览器的右键菜单中显示\"发送到...\""), page);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(CheckBoxAutoRun);
    layout->addWidget(CheckBoxMinimizedAskForLogin);
    auto* idleRow = new QHBoxLayout;
    idleRow->addWidget(idleLabel);
    idleRow->addWidget(SpinEditIdleLock);
    idleRow->addStretch(1);
    layout->addLayout(idleRow);
    layout->addWidget(previewGroup(QStringLiteral("树型信息管理器配置"), TreeViewNavSettings, Button1, Button2, page));
    layout->addWidget(previewGroup(QStringLiteral("文本编辑器配置"), PanelEditSettings, Button3, Button4, page));
    auto* reset = new QHBoxLayout;
    reset->addStretch(1);
    reset->addWidget(Button5);
    layout->addLayout(reset);
    layout->addWidget(CheckBoxAddIESendTo);
    layout->addStretch(1);
    return page;
}

QWidget* TFormOption::CreateDatabasePage()
{
    TabSheetDatabase = new QWidget;
    QWidget* page = TabSheetDatabase;
    page->setObjectName(QStringLiteral("TabSheetDatabase"));
    auto* note = new QLabel(QStringLiteral("以上配置仅对当前打开的数据库有效"), page);
    QFont bold = note->font();
    bold.setBold(true);
    note->setFont(bold);
    auto extensionGroup = [page](const QString& title, const QString& kind, const char* name) {
        auto* group = new QGroupBox(title, page);
        auto* layout = new QVBoxLayout(group);
        auto* label = new QLabel(QStringLiteral("具有以下扩展名的文件将作为%1格式显示(用\";\"号分割)").arg(kind), group);
        auto* edit = new QLineEdit(group);
        edit->setObjectName(QLatin1String(name));
        layout->addWidget(label);
        layout->addWidget(edit);
        return std::pair{group, edit};
    };
    auto [htmlGroup, htmlEdit] = extensionGroup(QStringLiteral("HTML文件"), QStringLiteral("HTML"), "EditHtmlPreviewExt");
    auto [textGroup, textEdit] = extensionGroup(QStringLiteral("文本文件"), QStringLiteral("文本"), "EditTextPreviewExt");
    EditHtmlPreviewExt = htmlEdit;
    EditTextPreviewExt = textEdit;
    ButtonDefaultExt = button("ButtonDefaultExt", QStringLiteral("将以上设置恢复为默认值"), page);
    CheckBoxRememberPassword = checkBox("CheckBoxRememberPassword", QStringLiteral("登录时记住密码"), page);

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(htmlGroup);
    layout->addWidget(textGroup);
    auto* reset = new QHBoxLayout;
    reset->addStretch(1);
    reset->addWidget(ButtonDefaultExt);
    layout->addLayout(reset);
    layout->addWidget(CheckBoxRememberPassword);
    layout->addStretch(1);
    layout->addWidget(note);
    return page;
}

QString TFormOption::BrowserPagePath()
{
    const QFileInfo program(QCoreApplication::applicationFilePath());
    return program.path() + QLatin1Char('/') + program.completeBaseName() + QStringLiteral(".htm");
}

void TFormOption::ShowSettings()
{
    CheckBoxAutoRun->setChecked(ShortcutExists(GetStartupFolder(), kProduct));
    CheckBoxMinimizedAskForLogin->setChecked(form_.ActionMinimizedAskForLogin->isChecked());
    SpinEditIdleLock->setValue(form_.IdleLockMinutes());
    CheckBoxAddIESendTo->setChecked(RootReadString(KelRoot::CurrentUser, kMenuExtKey, QString()) == BrowserPagePath());
    QWidget* tree = form_.NavTree();
    QWidget* editor = form_.TextEditor();
    setPreview(TreeViewNavSettings, tree->font(), TFormMain::FontColorOf(tree), TFormMain::BackgroundOf(tree));
    setPreview(PanelEditSettings, editor->font(), TFormMain::FontColorOf(editor), TFormMain::BackgroundOf(editor));

    CaseDB& db = form_.Database();
    const bool open = db.IsOpen();
    for (QWidget* w : {static_cast<QWidget*>(CheckBoxRememberPassword), static_cast<QWidget*>(EditHtmlPreviewExt),
                       static_cast<QWidget*>(EditTextPreviewExt), static_cast<QWidget*>(ButtonDefaultExt)})
        w->setEnabled(open);
    if (!open) {
        for (QLineEdit* edit : {EditHtmlPreviewExt, EditTextPreviewExt}) {
            QPalette palette = edit->palette();
            palette.setColor(QPalette::Base, palette.color(QPalette::Button));
            edit->setPalette(palette);
        }
        return;
    }
    EditHtmlPreviewExt->setText(text(db.GetParam("HtmlPreviewExt", kDefaultHtmlPreviewExt)));
    EditTextPreviewExt->setText(text(db.GetParam("TextPreviewExt", kDefaultTextPreviewExt)));
    CheckBoxRememberPassword->setChecked(db.GetParamBool("RememberPassword", false));
}

void TFormOption::ChooseFont(QWidget* preview)
{
    QFont font = preview->font();
    if (RunFontDialog(this, font))
        preview->setFont(font);
}

void TFormOption::ChooseColor(QWidget* preview)
{
    QColor color = TFormMain::BackgroundOf(preview);
    if (RunColorDialog(this, color))
        setPreview(preview, preview->font(), TFormMain::FontColorOf(preview), color);
}

void TFormOption::Button5Click()
{
    CheckBoxAutoRun->setChecked(false);
    CheckBoxMinimizedAskForLogin->setChecked(false);
    SpinEditIdleLock->setValue(0);
    const QColor window = QGuiApplication::palette().color(QPalette::Base);   // the system window colour
    for (QWidget* preview : {static_cast<QWidget*>(TreeViewNavSettings), static_cast<QWidget*>(PanelEditSettings)})
        setPreview(preview, TFormMain::DefaultFont(), Qt::black, window);
}

void TFormOption::ButtonDefaultExtClick()
{
    EditHtmlPreviewExt->setText(QLatin1String(kDefaultHtmlPreviewExt));
    EditTextPreviewExt->setText(QLatin1String(kDefaultTextPreviewExt));
    CheckBoxRememberPassword->setChecked(false);
}

void TFormOption::ButtonOKClick()
{
    const QString program = QCoreApplication::applicationFilePath();
    if (CheckBoxAutoRun->isChecked())
        CreateShortcut(GetStartupFolder(), kProduct, program, QString());
    else
        DeleteShortcut(GetStartupFolder(), kProduct);

    if (CheckBoxAddIESendTo->isChecked()) {
        RootWriteString(KelRoot::CurrentUser, kMenuExtKey, QString(), BrowserPagePath());
        RootWriteString(KelRoot::CurrentUser, kSetupKey, QStringLiteral("InstallationDir"),
                        QFileInfo(program).path() + QLatin1Char('/'));
        CreateSendToEntry(program);
    } else {
        RootDeleteKey(KelRoot::CurrentUser, kMenuExtKey);
        DeleteSendToEntry();
    }

    form_.ApplyNavFont(TreeViewNavSettings->font(), TFormMain::FontColorOf(TreeViewNavSettings));
    form_.ApplyNavColor(TFormMain::BackgroundOf(TreeViewNavSettings));
    form_.ApplyEditorFont(PanelEditSettings->font(), TFormMain::FontColorOf(PanelEditSettings));
    form_.ApplyEditorColor(TFormMain::BackgroundOf(PanelEditSettings));
    form_.ActionMinimizedAskForLogin->setChecked(CheckBoxMinimizedAskForLogin->isChecked());
    form_.SetIdleLockMinutes(SpinEditIdleLock->value());

    CaseDB& db = form_.Database();
    if (db.IsOpen()) {
        const bool remember = CheckBoxRememberPassword->isChecked();
        const bool stored = db.SetParam("HtmlPreviewExt", ansi(EditHtmlPreviewExt->text()))
                            && db.SetParam("TextPreviewExt", ansi(EditTextPreviewExt->text()))
                            && db.SetParamBool("RememberPassword", remember)
                            && (remember || db.SetParam("RememberedPassword", std::string()))
                            && db.Commit();
        if (!stored) {
            form_.RollBackPending();
            FormMessageBox(this, QStringLiteral("无法保存数据库的配置。"), MB_ICONERROR);
        }
    }
    accept();
}
