// KELTrayIcon: the program's one icon in the desktop's notification area
// (StatusNotifierItem or the X11 tray, as Qt finds them), with its tip, its
// left click and its menu.
//
// A desktop without a notification area leaves the icon not added; every
// later SetTip or SetIconIndex tries to add it again, and Added() tells the
// window whether hiding to the tray would leave it reachable.
#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>

#include <functional>

class QMenu;
class QSystemTrayIcon;

class KELTrayIcon : public QObject {
    Q_OBJECT
public:
    explicit KELTrayIcon(QObject* parent = nullptr);
    ~KELTrayIcon() override;

    // Removes an existing icon, then makes one named messageName showing
    // icon with the application's name as tip, and adds it to the area.
    void CreateIcon(const QString& messageName, const QIcon& icon);
    // With limit, a text of 64 or more bytes (GB18030) is cut to 63 bytes;
    // every text is cut to 127 bytes, never inside a character.
    void SetTip(const QString& text, bool limit = true);
    // False when index is not below the number of icons.
    bool SetIconIndex(int index);
    void RemoveIcon();
    void SetMenu(QMenu* menu);

    // Adds the icon when it is not yet in the area; true when it is.
    bool Add();
    bool Created() const { return icon_ != nullptr; }
    bool Added() const { return added_; }
    QString Tip() const;
    QSystemTrayIcon* Icon() const { return icon_; }

    // Whether the desktop offers a notification area (Qt's answer unless
    // tests replace it; nullptr restores it).
    static void SetAreaProbe(std::function<bool()> probe);

    // The tip's text after the byte limits.
    static QString LimitedTip(const QString& text, bool limit);

signals:
    void Clicked();   // left button

private:
    QList<QIcon> icons_;
    int index_ = 0;
    QString messageName_;
    QSystemTrayIcon* icon_ = nullptr;
    bool added_ = false;
};
