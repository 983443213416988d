#include "app/LinkDetection.h"

#include <QMouseEvent>
#include <QRegularExpression>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextEdit>

namespace {

const QRegularExpression& LinkPattern() {
    static const QRegularExpression pattern(
        QStringLiteral("(?:\\b(?:https?|ftp|file|mailto|news|nntp|telnet|gopher):|\\bwww\\.)[^\\s<>\"]+"),
        QRegularExpression::CaseInsensitiveOption);
    return pattern;
}

// Draws the detected addresses as links; the document's formats stay as they are.
class LinkHighlighter : public QSyntaxHighlighter {
public:
    using QSyntaxHighlighter::QSyntaxHighlighter;

protected:
    void highlightBlock(const QString& text) override {
        QTextCharFormat link;
        link.setForeground(Qt::blue);
        link.setFontUnderline(true);
        for (const LinkSpan& span : FindLinks(text))
            setFormat(span.start, span.length, link);
    }
};

} // namespace

QList<LinkSpan> FindLinks(const QString& text) {
    QList<LinkSpan> spans;
    auto it = LinkPattern().globalMatch(text);
    while (it.hasNext()) {
        const QRegularExpressionMatch match = it.next();
        int length = int(match.capturedLength());
        while (length > 0 && QStringLiteral(".,;:!?)]}'").contains(text[match.capturedStart() + length - 1]))
            --length;
        if (length > 4)
            spans.push_back({int(match.capturedStart()), length});
    }
    return spans;
}

QString LinkAddress(const QString& link) {
    if (link.startsWith(QLatin1String("www."), Qt::CaseInsensitive))
        return QStringLiteral("http://") + link;
    return link;
}

TLinkDetector::TLinkDetector(QTextEdit* editor) : QObject(editor), editor_(editor) {
    setObjectName(QStringLiteral("LinkDetector"));
    new LinkHighlighter(editor->document());
    editor->viewport()->installEventFilter(this);
}

bool TLinkDetector::eventFilter(QObject* watched, QEvent* event) {
    if (watched != editor_->viewport())
        return false;
    const bool press = event->type() == QEvent::MouseButtonPress;
    if (!press && event->type() != QEvent::MouseMove)
        return false;
    auto* mouse = static_cast<QMouseEvent*>(event);
    const QTextCursor at = editor_->cursorForPosition(mouse->position().toPoint());
    const QTextBlock block = at.block();
    const int offset = at.position() - block.position();
    for (const LinkSpan& span : FindLinks(block.text())) {
        if (offset < span.start || offset >= span.start + span.length)
            continue;
        if (!press) {
            editor_->viewport()->setCursor(Qt::PointingHandCursor);
            return false;
        }
        if (mouse->button() != Qt::LeftButton)
            return false;
        emit LinkClicked(editor_, block.position() + span.start, block.position() + span.start + span.length);
        return true;
    }
    if (!press)
        editor_->viewport()->setCursor(Qt::IBeamCursor);
    return false;
}

TLinkDetector* EnableLinkDetection(QTextEdit* editor) {
    return new TLinkDetector(editor);
}
