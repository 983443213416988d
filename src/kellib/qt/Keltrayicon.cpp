#include "kellib/qt/Keltrayicon.h"

#include "kellib/Kelcodepage.h"

#include <QCoreApplication>
#include <QMenu>
#include <QSystemTrayIcon>

namespace {

std::function<bool()>& areaProbe()
{
    static std::function<bool()> probe;
    return probe;
}

bool areaAvailable()
{
    return areaProbe() ? areaProbe()() : QSystemTrayIcon::isSystemTrayAvailable();
}

// The longest head of text whose GB18030 form has at most limit bytes.
QString headWithin(const QString& text, size_t limit)
{
    QString head;
    size_t bytes = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype step = text[i].isHighSurrogate() && i + 1 < text.size() ? 2 : 1;
        const QString ch = text.mid(i, step);
        const size_t size = Utf8ToAnsi(ch.toStdString()).size();
        if (bytes + size > limit)
            break;
        head += ch;
        bytes += size;
        i += step;
    }
    return head;
}

} // namespace

KELTrayIcon::KELTrayIcon(QObject* parent) : QObject(parent) {}

KELTrayIcon::~KELTrayIcon()
{
    RemoveIcon();
}

void KELTrayIcon::SetAreaProbe(std::function<bool()> probe)
{
    areaProbe() = std::move(probe);
}

void KELTrayIcon::CreateIcon(const QString& messageName, const QIcon& icon)
{
    RemoveIcon();
    messageName_ = messageName;
    icons_ = {icon};
    index_ = 0;
    icon_ = new QSystemTrayIcon(icon, this);
    icon_->setObjectName(QStringLiteral("TrayIcon"));
    icon_->setToolTip(QCoreApplication::applicationName());
    connect(icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            emit Clicked();
    });
    Add();
}

bool KELTrayIcon::Add()
{
    if (!icon_)
        return false;
    if (!added_ && areaAvailable()) {
        icon_->show();
        added_ = true;
    }
    return added_;
}

QString KELTrayIcon::LimitedTip(const QString& text, bool limit)
{
    const size_t bytes = Utf8ToAnsi(text.toStdString()).size();
    return headWithin(text, limit && bytes >= 64 ? 63 : 127);
}

void KELTrayIcon::SetTip(const QString& text, bool limit)
{
    if (!icon_)
        return;
    Add();
    icon_->setToolTip(LimitedTip(text, limit));
}

bool KELTrayIcon::SetIconIndex(int index)
{
    if (!icon_ || index < 0 || index >= icons_.size())
        return false;
    Add();
    icon_->setIcon(icons_[index]);
    index_ = index;
    return true;
}

QString KELTrayIcon::Tip() const
{
    return icon_ ? icon_->toolTip() : QString();
}

void KELTrayIcon::SetMenu(QMenu* menu)
{
    if (icon_)
        icon_->setContextMenu(menu);
}

void KELTrayIcon::RemoveIcon()
{
    if (!icon_)
        return;
    icon_->hide();
    delete icon_;
    icon_ = nullptr;
    icons_.clear();
    index_ = 0;
    messageName_.clear();
    added_ = false;
}
