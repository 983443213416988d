#include "kellib/qt/Kelapputil.h"

#include "kellib/Kelfilelib.h"
#include "kellib/qt/Kelregistry.h"

#include <string.h>

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QUrl>

namespace {

QString& applicationTitle()
{
    static QString title = QCoreApplication::applicationName();
    return title;
}

QPointer<QWidget>& mainWindow()
{
    static QPointer<QWidget> window;
    return window;
}

QMessageBox::Icon iconOfFlags(int flags)
{
    switch (flags & 0xF0) {
    case MB_ICONERROR: return QMessageBox::Critical;
    case MB_ICONQUESTION: return QMessageBox::Question;
    case MB_ICONWARNING: return QMessageBox::Warning;
    default: return QMessageBox::Information;
    }
}

} // namespace

// Qt separates patterns by blanks. A description that already ends with its
// patterns in parentheses shows them once.
QString QtFileFilter(const QString& filter)
{
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList out;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString description = parts[i];
        const QString shown = QLatin1Char('(') + parts[i + 1] + QLatin1Char(')');
        if (description.endsWith(shown))
            description.chop(shown.size());
        out << description + QLatin1Char('(') + QString(parts[i + 1]).replace(QLatin1Char(';'), QLatin1Char(' '))
                   + QLatin1Char(')');
    }
    return out.join(QLatin1String(";;"));
}

namespace {

// Splits a parameter text at blanks outside double quotes.
QStringList splitParameters(const QString& parameters)
{
    return QProcess::splitCommand(parameters);
}

class DesktopResponder final : public KELModalResponder {
public:
    int MessageBox(const MessageBoxRequest& request) override
    {
        QMessageBox box(iconOfFlags(request.flags), request.caption, request.text,
                        QMessageBox::NoButton, request.owner);
        const int buttons = request.flags & 0xF;
        std::vector<std::pair<QPushButton*, int>> answers;
        auto add = [&](const QString& text, QMessageBox::ButtonRole role, int code) {
            answers.emplace_back(box.addButton(text, role), code);
        };
        if (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) {
            add(QStringLiteral("是(&Y)"), QMessageBox::YesRole, IDYES);
            add(QStringLiteral("否(&N)"), QMessageBox::NoRole, IDNO);
        } else {
            add(QStringLiteral("确定"), QMessageBox::AcceptRole, IDOK);
        }
        if (buttons == MB_OKCANCEL || buttons == MB_YESNOCANCEL)
            add(QStringLiteral("取消"), QMessageBox::RejectRole, IDCANCEL);
        box.setDefaultButton(answers.front().first);
        QWidget* active = QApplication::activeWindow();
        if ((request.flags & MB_TOPMOST)
            || (active && (active->windowFlags() & Qt::WindowStaysOnTopHint)))
            box.setWindowFlag(Qt::WindowStaysOnTopHint);
        box.exec();
        for (const auto& [button, code] : answers)
            if (box.clickedButton() == button)
                return code;
        // Closed by Escape or the frame: cancel where offered, else the only answer.
        return buttons == MB_YESNO ? IDNO : buttons == 0 ? IDOK : IDCANCEL;
    }

    QString FileDialog(const FileDialogRequest& request) override
    {
        QFileDialog dialog(request.owner, request.title, request.directory, QtFileFilter(request.filter));
        // A save dialog leaves an existing file to the caller, which opens it.
        if (request.folder) {
            dialog.setFileMode(QFileDialog::Directory);
            dialog.setOption(QFileDialog::ShowDirsOnly);
        } else {
            dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
        }
        dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, !request.confirmOverwrite);
        dialog.setDefaultSuffix(request.defaultSuffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    }

    int Exec(QDialog* dialog) override { return dialog->exec(); }

    bool ShellOpen(const ShellRequest& request) override
    {
        const QUrl url(request.file);
        if (url.isValid() && url.scheme().size() > 1)   // an address, not a drive letter
            return QDesktopServices::openUrl(url);
        // A relative name would mean whatever lies in the working folder.
        if (!QDir::isAbsolutePath(request.file))
            return false;
        const QFileInfo info(request.file);
        if (info.isFile() && info.isExecutable())
            return QProcess::startDetached(info.absoluteFilePath(), splitParameters(request.parameters),
                                           request.folder);
        return QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()));
    }
};

KELModalResponder& desktopResponder()
{
    static DesktopResponder desktop;
    return desktop;
}

KELModalResponder*& currentResponder()
{
    static KELModalResponder* responder = &desktopResponder();
    return responder;
}

// Desktop-entry Exec quoting: arguments with blanks or specials in quotes.
QString quoteExecArgument(const QString& arg)
{
    static const QString specials = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool plain = !arg.isEmpty();
    for (QChar c : arg)
        plain = plain && !specials.contains(c);
    if (plain)
        return QString(arg).replace(QLatin1Char('%'), QLatin1String("%%"));
    QString out = QStringLiteral("\"");
    for (QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$')
            || c == QLatin1Char('\\'))
            out += QLatin1Char('\\');
        out += c;
    }
    out.replace(QLatin1Char('%'), QLatin1String("%%"));
    return out + QLatin1Char('"');
}

QString withSlash(const QString& folder)
{
    return folder.endsWith(QLatin1Char('/')) ? folder : folder + QLatin1Char('/');
}

QString xdgFolder(const QString& valueName)
{
    static const std::pair<const char*, QStandardPaths::StandardLocation> names[] = {
        {"Desktop", QStandardPaths::DesktopLocation},
        {"Personal", QStandardPaths::DocumentsLocation},
        {"My Pictures", QStandardPaths::PicturesLocation},
        {"My Music", QStandardPaths::MusicLocation},
        {"AppData", QStandardPaths::GenericConfigLocation},
    };
    if (valueName == QLatin1String("Startup"))
        return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation)
               + QLatin1String("/autostart");
    for (const auto& [name, location] : names)
        if (valueName == QLatin1String(name))
            return QStandardPaths::writableLocation(location);
    return QString();
}

QString shortcutPath(const QString& folder, const QString& name)
{
    return folder + name + QLatin1String(".desktop");
}

} // namespace

void SetModalResponder(KELModalResponder* responder)
{
    currentResponder() = responder ? responder : &desktopResponder();
}

KELModalResponder* ModalResponder()
{
    return currentResponder();
}

void SetApplicationTitle(const QString& title)
{
    applicationTitle() = title;
}

QString ApplicationTitle()
{
    return applicationTitle();
}

void SetAppMainWindow(QWidget* window)
{
    mainWindow() = window;
}

QWidget* AppMainWindow()
{
    return mainWindow();
}

int CaptionMessageBox(QWidget* owner, const QString& caption, const QString& text, int flags)
{
    if ((flags & 0xF0) == 0)
        flags |= MB_ICONINFORMATION;
    return currentResponder()->MessageBox({owner, caption, text, flags});
}

int AppMessageBox(const QString& text, int flags)
{
    return CaptionMessageBox(QApplication::activeWindow(), ApplicationTitle(), text, flags);
}

int FormMessageBox(QWidget* owner, const QString& text, int flags)
{
    return CaptionMessageBox(owner, ApplicationTitle(), text, flags);
}

QString RunFileDialog(const FileDialogRequest& request)
{
    return currentResponder()->FileDialog(request);
}

int ExecDialog(QDialog* dialog)
{
    return currentResponder()->Exec(dialog);
}

bool RunFontDialog(QWidget* owner, QFont& font)
{
    QFontDialog dialog(font, owner);
    if (ExecDialog(&dialog) != QDialog::Accepted)
        return false;
    font = dialog.currentFont();
    return true;
}

bool RunColorDialog(QWidget* owner, QColor& color)
{
    QColorDialog dialog(color, owner);
    if (ExecDialog(&dialog) != QDialog::Accepted)
        return false;
    color = dialog.currentColor();
    return true;
}

bool ShellOpen(const QString& verb, const QString& file, const QString& parameters,
               const QString& folder)
{
    return currentResponder()->ShellOpen({verb, file, parameters, folder});
}

void InstallNameErrorBox()
{
    SetNameErrorHandler([](const std::string& title, const std::string& text) {
        CaptionMessageBox(nullptr, QString::fromStdString(title), QString::fromStdString(text),
                          MB_ICONERROR);
    });
}

QString GetShellFolder(const QString& valueName, const QString& fallback)
{
    QString folder = RootReadString(
        KelRoot::CurrentUser,
        QStringLiteral("SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders"),
        valueName);
    if (folder.isEmpty())
        folder = xdgFolder(valueName);
    if (folder.isEmpty())
        folder = QDir::homePath() + QLatin1Char('/') + fallback;
    return withSlash(folder);
}

QString GetStartupFolder()
{
    return GetShellFolder(QStringLiteral("Startup"), QStringLiteral(".config/autostart"));
}

bool CreateShortcut(const QString& folder, const QString& name, const QString& target,
                    const QString& arguments)
{
    if (!QDir().mkpath(folder))
        return false;
    const QString exec = DesktopExecLine(target, arguments);
    const QString text = QStringLiteral("[Desktop Entry]\nType=Application\nName=%1\nComment=%1\n"
                                        "Exec=%2\nPath=%3\nTerminal=false\n")
                             .arg(name, exec, QFileInfo(target).absolutePath());
    QFile file(shortcutPath(folder, name));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const QByteArray bytes = text.toUtf8();
    return file.write(bytes) == bytes.size() && file.flush();
}

QString DesktopExecLine(const QString& target, const QString& arguments)
{
    QString exec = quoteExecArgument(target);
    for (const QString& arg : splitParameters(arguments))
        exec += QLatin1Char(' ') + quoteExecArgument(arg);
    return exec;
}

bool DeleteShortcut(const QString& folder, const QString& name)
{
    return QFile::remove(shortcutPath(folder, name));
}

bool ShortcutExists(const QString& folder, const QString& name)
{
    return QFileInfo::exists(shortcutPath(folder, name));
}

void ForceForegroundWindow(QWidget* window)
{
    if (!window)
        return;
    if (window->isMinimized())
        window->showNormal();
    else
        window->show();
    window->raise();
    window->activateWindow();
}

void BringAppToFront()
{
    ForceForegroundWindow(AppMainWindow());
}

bool ToDatabaseText(const QString& text, std::string& ansi)
{
    UnencodableChar failure;
    if (Utf8ToAnsiChecked(text.toStdString(), ansi, &failure))
        return true;
    UnencodableMessageBox(failure);
    return false;
}

void UnencodableMessageBox(const UnencodableChar& failure)
{
    AppMessageBox(QString::fromStdString(UnencodableMessage(failure)), MB_ICONERROR);
}

void WipeLineEdit(QLineEdit* edit)
{
    QString text = edit->text();   // shares the field's buffer
    // Wiped only when the field and this copy are its only holders: text held
    // elsewhere too (a placeholder) is no typed secret and must stay intact.
    // Literal text lives in read-only memory. constData, not data: data()
    // would detach and wipe a private copy.
    auto& shared = text.data_ptr();
    if (!text.isEmpty() && shared.isMutable() && shared.d_ptr()->ref_.loadRelaxed() == 2)
        explicit_bzero(const_cast<QChar*>(text.constData()), static_cast<size_t>(text.size()) * sizeof(QChar));
    edit->clear();
}
