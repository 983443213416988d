#include "kellib/qt/Kelregistry.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QPalette>
#include <QScreen>
#include <QStringList>
#include <QWidget>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>
#include <vector>

namespace {

QString& productKey()
{
    static QString product = QCoreApplication::applicationName().isEmpty()
                                 ? QStringLiteral("Vaultleaf")
                                 : QCoreApplication::applicationName();
    return product;
}

using Entries = std::vector<std::pair<QString, QString>>;

// A settings file larger than this is not ours; it reads as empty.
constexpr qint64 kMaxFileSize = 16 * 1024 * 1024;

// One path segment of a key: "/" and "%" are escaped, "." and ".." refused.
QString segmentFileName(const QString& segment)
{
    QString out = segment;
    out.replace(QLatin1Char('%'), QLatin1String("%25"));
    out.replace(QLatin1Char('/'), QLatin1String("%2F"));
    if (out == QLatin1String(".") || out == QLatin1String(".."))
        out.replace(QLatin1Char('.'), QLatin1String("%2E"));
    return out;
}

// Folder of the root plus the key's folders; the last segment names the file.
QStringList keySegments(const QString& keyPath)
{
    QStringList segments;
    for (const QString& s : keyPath.split(QLatin1Char('\\'), Qt::SkipEmptyParts))
        segments << segmentFileName(s);
    return segments;
}

QString rootFolder(KelRoot root)
{
    return SettingsFolder() + (root == KelRoot::CurrentUser ? QLatin1String("/user")
                                                            : QLatin1String("/machine"));
}

QString keyFile(KelRoot root, const QString& keyPath)
{
    const QStringList segments = keySegments(keyPath);
    if (segments.isEmpty())
        return QString();
    return rootFolder(root) + QLatin1Char('/') + segments.join(QLatin1Char('/'))
           + QLatin1String(".conf");
}

QString escapeText(const QString& text)
{
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == QLatin1Char('\\')) out += QLatin1String("\\\\");
        else if (c == QLatin1Char('\r')) out += QLatin1String("\\r");
        else if (c == QLatin1Char('\n')) out += QLatin1String("\\n");
        else if (c == QLatin1Char('=')) out += QLatin1String("\\=");
        else out += c;
    }
    return out;
}

// Parses "name=value" with the escapes of escapeText; false without an
// unescaped "=".
bool parseLine(const QString& line, QString& name, QString& value)
{
    QString* target = &name;
    bool seenSeparator = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        QChar c = line[i];
        if (c == QLatin1Char('\\') && i + 1 < line.size()) {
            QChar n = line[++i];
            *target += n == QLatin1Char('r') ? QChar('\r') : n == QLatin1Char('n') ? QChar('\n') : n;
        } else if (c == QLatin1Char('=') && !seenSeparator) {
            seenSeparator = true;
            target = &value;
        } else {
            *target += c;
        }
    }
    return seenSeparator;
}

Entries readEntries(const QString& path)
{
    Entries entries;
    QFile file(path);
    if (path.isEmpty() || !file.open(QIODevice::ReadOnly) || file.size() > kMaxFileSize)
        return entries;
    const QString text = QString::fromUtf8(file.readAll());
    for (const QString& line : text.split(QLatin1Char('\n'))) {
        QString name, value;
        if (line.startsWith(QLatin1Char('#')) || !parseLine(line, name, value))
            continue;
        entries.emplace_back(name, value);
    }
    return entries;
}

// Value names are compared without regard to letter case; the last line wins.
Entries::iterator findEntry(Entries& entries, const QString& name)
{
    for (auto it = entries.end(); it != entries.begin();) {
        --it;
        if (it->first.compare(name, Qt::CaseInsensitive) == 0)
            return it;
    }
    return entries.end();
}

bool makeFolders(const QString& folder)
{
    QString path;
    for (const QString& part : folder.split(QLatin1Char('/'))) {
        path += part;
        if (!path.isEmpty()) {
            const QByteArray native = QFile::encodeName(path);
            if (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
                return false;
        }
        path += QLatin1Char('/');
    }
    return QFileInfo(folder).isDir();
}

bool writeAll(int fd, const QByteArray& bytes)
{
    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, size_t(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= n;
    }
    return true;
}

// Temporary file beside the target, flushed, renamed over it, folder flushed.
bool writeFileAtomically(const QString& path, const QByteArray& bytes)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!makeFolders(folder))
        return false;
    QByteArray tmp = QFile::encodeName(path + QLatin1String(".XXXXXX"));
    int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return false;
    bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(tmp.constData(), QFile::encodeName(path).constData()) == 0;
    if (!ok) {
        ::unlink(tmp.constData());
        return false;
    }
    int dirFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

bool writeEntries(const QString& path, const QString& keyPath, const Entries& entries)
{
    QString text = QLatin1String("# ") + escapeText(keyPath) + QLatin1Char('\n');
    for (const auto& [name, value] : entries)
        text += escapeText(name) + QLatin1Char('=') + escapeText(value) + QLatin1Char('\n');
    return writeFileAtomically(path, text.toUtf8());
}

QString sectionPath(const QString& section)
{
    return QLatin1String("Software\\") + productKey() + QLatin1Char('\\') + section;
}

QRect screenRect()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry() : QRect();
}

} // namespace

void SetProductKey(const QString& product)
{
    productKey() = product;
}

QString ProductKey()
{
    return productKey();
}

QString SettingsFolder()
{
    const QString own = qEnvironmentVariable("VAULTLEAF_CONFIG_HOME");
    if (!own.isEmpty())
        return own;
    QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (xdg.isEmpty() || !QDir::isAbsolutePath(xdg))
        xdg = QDir::homePath() + QLatin1String("/.config");
    return xdg + QLatin1String("/Vaultleaf");
}

QString RootReadString(KelRoot root, const QString& keyPath, const QString& name)
{
    Entries entries = readEntries(keyFile(root, keyPath));
    auto it = findEntry(entries, name);
    return it == entries.end() ? QString() : it->second;
}

bool RootWriteString(KelRoot root, const QString& keyPath, const QString& name,
                     const QString& value)
{
    const QString path = keyFile(root, keyPath);
    if (path.isEmpty())
        return false;
    Entries entries = readEntries(path);
    auto it = findEntry(entries, name);
    if (it == entries.end())
        entries.emplace_back(name, value);
    else
        *it = {name, value};
    return writeEntries(path, keyPath, entries);
}

bool RootDeleteKey(KelRoot root, const QString& keyPath)
{
    const QString path = keyFile(root, keyPath);
    if (path.isEmpty())
        return false;
    const QString subKeys = path.chopped(5);  // the folder of the key's sub-keys
    if (QDir(subKeys).exists() && !QDir(subKeys).isEmpty())
        return false;
    QDir().rmdir(subKeys);
    return !QFile::exists(path) || QFile::remove(path);
}

QString ReadString(const QString& section, const QString& key)
{
    return RootReadString(KelRoot::LocalMachine, sectionPath(section), key);
}

bool WriteString(const QString& section, const QString& key, const QString& value)
{
    return RootWriteString(KelRoot::LocalMachine, sectionPath(section), key, value);
}

bool ReadBool(const QString& section, const QString& key, bool def)
{
    const QString text = ReadString(section, key);
    if (text.isEmpty())
        return def;
    return text == QLatin1String("true");
}

bool WriteBool(const QString& section, const QString& key, bool value)
{
    return WriteString(section, key, value ? QStringLiteral("true") : QStringLiteral("false"));
}

int ReadInt(const QString& section, const QString& key, int def)
{
    bool ok = false;
    const int value = ReadString(section, key).toInt(&ok, 10);
    return ok ? value : def;
}

bool WriteInt(const QString& section, const QString& key, int value)
{
    return WriteString(section, key, QString::number(value));
}

bool ReadFont(const QString& section, QFont& font, QColor& color)
{
    QString name = ReadString(section, QStringLiteral("FontName"));
    const int size = ReadInt(section, QStringLiteral("FontSize"), 0);
    const int colour = ReadInt(section, QStringLiteral("FontColor"), 0);
    const int style = ReadInt(section, QStringLiteral("FontStyle"), 0);
    if (name.isEmpty())
        name = QStringLiteral("Arial");
    font.setFamily(name);
    font.setPointSize(size > 0 ? size : 9);
    color = NumberToColor(colour, Qt::black);
    font.setBold(style & 1);
    font.setItalic(style & 2);
    font.setUnderline(style & 4);
    font.setStrikeOut(style & 8);
    return true;
}

bool WriteFont(const QString& section, const QFont& font, const QColor& color)
{
    const int style = (font.bold() ? 1 : 0) | (font.italic() ? 2 : 0)
                      | (font.underline() ? 4 : 0) | (font.strikeOut() ? 8 : 0);
    WriteInt(section, QStringLiteral("FontSize"), font.pointSize());
    WriteInt(section, QStringLiteral("FontColor"), ColorToNumber(color));
    WriteString(section, QStringLiteral("FontName"), font.family());
    WriteInt(section, QStringLiteral("FontStyle"), style);
    return true;
}

bool SavePlacement(QWidget* form)
{
    const int state = form->isMinimized() ? 1 : form->isMaximized() ? 2 : 0;
    // Normal bounds: the frame's top-left and the client size.
    const QPoint frameOffset = form->geometry().topLeft() - form->pos();
    const QRect normal = state == 0 ? form->geometry() : form->normalGeometry();
    const QString section = form->windowTitle() + QLatin1String("-Pos");
    WriteInt(section, QStringLiteral("Left"), normal.x() - frameOffset.x());
    WriteInt(section, QStringLiteral("Top"), normal.y() - frameOffset.y());
    WriteInt(section, QStringLiteral("Width"), normal.width());
    WriteInt(section, QStringLiteral("Height"), normal.height());
    WriteInt(section, QStringLiteral("WindowState"), state);
    return true;
}

bool RestorePlacement(QWidget* form)
{
    const QString section = form->windowTitle() + QLatin1String("-Pos");
    int left = ReadInt(section, QStringLiteral("Left"), form->x());
    int top = ReadInt(section, QStringLiteral("Top"), form->y());
    const int width = qMax(50, ReadInt(section, QStringLiteral("Width"), form->width()));
    const int height = qMax(50, ReadInt(section, QStringLiteral("Height"), form->height()));
    const QRect screen = screenRect();
    if (left < 100 - width)
        left = 100 - width;
    else if (left > screen.width() - 100)
        left = screen.width() - 100;
    if (top < 0)
        top = 0;
    else if (top > screen.height() - 100)
        top = screen.height() - 100;
    form->setWindowState(form->windowState() & ~(Qt::WindowMaximized | Qt::WindowMinimized));
    form->move(left, top);
    form->resize(width, height);
    const int state = ReadInt(section, QStringLiteral("WindowState"), 0);
    if (state == 2)
        form->setWindowState(form->windowState() | Qt::WindowMaximized);
    return true;
}

namespace {

// Windows system colour indices and the palette roles that stand for them.
QColor systemColor(int index)
{
    const QPalette palette = QGuiApplication::palette();
    switch (index) {
    case 5: return palette.color(QPalette::Base);            // window background
    case 8: return palette.color(QPalette::Text);            // window text
    case 13: return palette.color(QPalette::Highlight);
    case 14: return palette.color(QPalette::HighlightedText);
    case 15: return palette.color(QPalette::Button);         // button face
    case 18: return palette.color(QPalette::ButtonText);
    case 24: return palette.color(QPalette::ToolTipBase);    // info background
    default: return QColor();
    }
}

} // namespace

int ColorToNumber(const QColor& color)
{
    return color.red() | (color.green() << 8) | (color.blue() << 16);
}

QColor NumberToColor(int number, const QColor& fallback)
{
    if (number < 0) {
        const QColor c = systemColor(number & 0xFF);
        return c.isValid() ? c : fallback;
    }
    if (number > 0xFFFFFF)
        return fallback;
    return QColor(number & 0xFF, (number >> 8) & 0xFF, (number >> 16) & 0xFF);
}
