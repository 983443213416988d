// Window functions of Kelapputil: message boxes, the one layer every modal
// interaction goes through, shell open, shortcuts, shell folders and bringing
// the program to the front. The non-window functions live in kellib.
#pragma once

#include <QString>

#include <string>

#include "kellib/Kelcodepage.h"

class QLineEdit;

class QColor;
class QDialog;
class QFont;
class QWidget;

// Message-box flags and results, as the program's callers pass them.
enum : int {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_TOPMOST = 0x40000,
};
enum : int { IDOK = 1, IDCANCEL = 2, IDYES = 6, IDNO = 7 };

struct MessageBoxRequest {
    QWidget* owner = nullptr;
    QString caption;
    QString text;
    int flags = 0;
};

struct FileDialogRequest {
    QWidget* owner = nullptr;
    QString title;
    QString filter;          // "description|pattern|description|pattern"
    QString defaultSuffix;   // appended to a name typed without extension
    QString directory;
    bool save = false;       // a save dialog: the file may not exist yet
    bool confirmOverwrite = false;   // the save dialog asks before a file is replaced
    bool folder = false;     // choose a folder; title is the browser's prompt
};

struct ShellRequest {
    QString verb, file, parameters, folder;
};

// Answers every modal interaction. The program uses the real windows; tests
// install a scripted responder so nothing ever waits for a person.
class KELModalResponder {
public:
    virtual ~KELModalResponder() = default;
    virtual int MessageBox(const MessageBoxRequest& request) = 0;
    // The chosen path, or empty when cancelled.
    virtual QString FileDialog(const FileDialogRequest& request) = 0;
    // Runs the dialog modally; returns its result code.
    virtual int Exec(QDialog* dialog) = 0;
    virtual bool ShellOpen(const ShellRequest& request) = 0;
};

// nullptr restores the real windows. The responder is not owned.
void SetModalResponder(KELModalResponder* responder);
KELModalResponder* ModalResponder();

// Caption of message boxes and the first part of window captions.
void SetApplicationTitle(const QString& title);
QString ApplicationTitle();
// The window BringAppToFront brings forward.
void SetAppMainWindow(QWidget* window);
QWidget* AppMainWindow();

// Caption = the application title; flags 0 mean the information icon.
int AppMessageBox(const QString& text, int flags);
int FormMessageBox(QWidget* owner, const QString& text, int flags);
// A box with its own caption (the name check, the hook library's error).
int CaptionMessageBox(QWidget* owner, const QString& caption, const QString& text, int flags);

// Text typed by the user in the database code page. A character GB18030
// cannot hold is refused: false after an error box that names it.
bool ToDatabaseText(const QString& text, std::string& ansi);
// That error box.
void UnencodableMessageBox(const UnencodableChar& failure);

QString RunFileDialog(const FileDialogRequest& request);
// A "description|pattern|..." filter as Qt's file dialog takes it.
QString QtFileFilter(const QString& filter);
int ExecDialog(QDialog* dialog);
// A font or colour dialog preset with the value, run through ExecDialog (so a
// scripted responder answers it); true and the chosen value when confirmed.
bool RunFontDialog(QWidget* owner, QFont& font);
bool RunColorDialog(QWidget* owner, QColor& color);

// Opens file (a path or an address) with the desktop's program for it, or
// starts it with parameters when it is a program; true when that started.
bool ShellOpen(const QString& verb, const QString& file, const QString& parameters,
               const QString& folder);

// Makes ValidateName (Kelfilelib) show its error box through this layer:
// no owner, caption "错误", error icon.
void InstallNameErrorBox();

// Folders end with "/". Shell folders are XDG folders; a value under the
// per-user key "SOFTWARE\Microsoft\Windows\CurrentVersion\Explorer\Shell
// Folders" takes precedence, and an unknown name falls back to
// $HOME/fallback/.
QString GetShellFolder(const QString& valueName, const QString& fallback);
// The XDG autostart folder.
QString GetStartupFolder();
// Shortcuts are desktop entries: folder + name + ".desktop".
bool CreateShortcut(const QString& folder, const QString& name, const QString& target,
                    const QString& arguments);
// The Exec line of a desktop entry that starts target with the arguments,
// each quoted as the desktop-entry rules want.
QString DesktopExecLine(const QString& target, const QString& arguments);
bool DeleteShortcut(const QString& folder, const QString& name);
bool ShortcutExists(const QString& folder, const QString& name);

// Shows the window (restoring it when minimised), raises and activates it.
void ForceForegroundWindow(QWidget* window);
void BringAppToFront();

// Password fields: overwrites the characters in the field's own buffer, then
// empties it (which also drops its undo history).
void WipeLineEdit(QLineEdit* edit);
