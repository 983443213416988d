// TFormOption: the options window. Page "基本配置" holds the program-wide
// settings (start-up entry, login after restoring, fonts and colours of the
// tree and the text editor, the browser's send-to entry); page "数据库配置"
// those kept in the open database (preview extensions, remembered password).
// Nothing is written before OK.
#pragma once

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QTabWidget;
class QTreeWidget;
class TFormMain;

// The browser entry "发送到Vaultleaf": a desktop entry in
// $XDG_DATA_HOME/applications that offers the program in "open with" for web
// pages. It claims no URL scheme, so it never becomes the user's browser.
QString SendToEntryPath();
bool CreateSendToEntry(const QString& program);
// An entry written by an earlier version may still claim web pages as their
// default program: written again without them. Nothing is written otherwise.
void RepairSendToEntry();
bool DeleteSendToEntry();

class TFormOption : public QDialog {
    Q_OBJECT
public:
    explicit TFormOption(TFormMain& form);

    QTabWidget* PageControlOption = nullptr;
    QCheckBox* CheckBoxAutoRun = nullptr;
    QCheckBox* CheckBoxMinimizedAskForLogin = nullptr;
    QSpinBox* SpinEditIdleLock = nullptr;   // minutes without input before locking; 0 never
    QTreeWidget* TreeViewNavSettings = nullptr;
    QPushButton* Button1 = nullptr;   // tree font
    QPushButton* Button2 = nullptr;   // tree background
    QLabel* PanelEditSettings = nullptr;
    QPushButton* Button3 = nullptr;   // editor font
    QPushButton* Button4 = nullptr;   // editor background
    QPushButton* Button5 = nullptr;   // defaults of the basic page
    QCheckBox* CheckBoxAddIESendTo = nullptr;
    QWidget* TabSheetDatabase = nullptr;
    QLineEdit* EditHtmlPreviewExt = nullptr;
    QLineEdit* EditTextPreviewExt = nullptr;
    QPushButton* ButtonDefaultExt = nullptr;
    QCheckBox* CheckBoxRememberPassword = nullptr;
    QPushButton* ButtonOK = nullptr;
    QPushButton* ButtonCancel = nullptr;

    void Button5Click();
    void ButtonDefaultExtClick();
    void ButtonOKClick();

private:
    QWidget* CreateBasicPage();
    QWidget* CreateDatabasePage();
    void ShowSettings();
    void ChooseFont(QWidget* preview);
    void ChooseColor(QWidget* preview);
    static QString BrowserPagePath();

    TFormMain& form_;
};
