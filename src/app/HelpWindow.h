// TFormHelp: the program's help pages in a web view of its own, so help needs
// no browser and never comes back to this program through the desktop's
// choice of a program for web pages. Links leaving the help folder open in
// the desktop's browser.
#pragma once

#include <QWidget>

class QWebEngineProfile;
class QWebEngineView;

class TFormHelp : public QWidget {
    Q_OBJECT
public:
    explicit TFormHelp(QWidget* owner);
    ~TFormHelp() override;   // the page goes before its profile

    void ShowPage(const QString& page);
    QWebEngineView* View() const { return WebBrowserHelp; }

private:
    QWebEngineProfile* profile_ = nullptr;
    QWebEngineView* WebBrowserHelp = nullptr;
};

// Shows page (a file in the help folder) in the one help window, made on first
// use as a window of the program's main window.
bool ShowHelpPage(const QString& page);
// Makes the help topics (ShowHelpTopic) open in that window.
void InstallHelpWindow();
