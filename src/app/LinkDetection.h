// URL detection for the two editors: detected addresses are drawn as links
// (without changing the document), and a left click on one reports its
// character range.
#pragma once

#include <QList>
#include <QObject>
#include <QString>

class QTextEdit;

struct LinkSpan {
    int start = 0;
    int length = 0;
};

// The addresses in one line of text: scheme addresses (http:, https:, ftp:,
// file:, mailto:, news:, nntp:, telnet:, gopher:) and www. names, without
// trailing punctuation.
QList<LinkSpan> FindLinks(const QString& text);
// The address a detected link opens: a www. name as an http: address, so a
// link never names a file (or program) of the working folder.
QString LinkAddress(const QString& link);

class TLinkDetector : public QObject {
    Q_OBJECT
public:
    explicit TLinkDetector(QTextEdit* editor);

signals:
    // A left button press on a link: its range in the editor's document.
    void LinkClicked(QTextEdit* editor, int start, int end);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QTextEdit* editor_;
};

// Switches detection on for editor; the detector is a child of the editor.
TLinkDetector* EnableLinkDetection(QTextEdit* editor);
