// The text a web view shows, for the tests of the browser page.
#pragma once

#include <QString>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

// The web engine renders in its own processes; a loaded machine may take a while.
constexpr int kPageTimeout = 30000;

// The page's text, or "" when the renderer does not answer within 5 s.
inline QString pageText(QWebEngineView* view)
{
    QString text;
    bool done = false;
    view->page()->toPlainText([&](const QString& t) {
        text = t;
        done = true;
    });
    for (int i = 0; i < 500 && !done; ++i)
        QTest::qWait(10);
    return text;
}
