#include "kellib/qt/KELShellDragDropFiles.h"

#include <QAbstractItemView>
#include <QDropEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

namespace {

bool FromOutside(const QDropEvent* event) { return !event->source() && event->mimeData()->hasUrls(); }

}  // namespace

KELShellDragDropFiles::KELShellDragDropFiles(QAbstractItemView* view, DropHandler handler)
    : QObject(view), view_(view), handler_(std::move(handler))
{
    view_->setAcceptDrops(true);
    view_->viewport()->installEventFilter(this);
}

bool KELShellDragDropFiles::CollectDrop(const QMimeData* data, const QPoint& point)
{
    items_.clear();
    point_ = point;
    if (!view_->viewport()->rect().contains(point))
        return false;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            continue;
        const QString path = url.toLocalFile();
        if (path.size() <= kMaxPathLength)
            items_.emplace_back(path.toStdString());
    }
    return !items_.empty();
}

bool KELShellDragDropFiles::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != view_->viewport())
        return false;
    switch (event->type()) {
    case QEvent::DragEnter:
    case QEvent::DragMove: {
        auto* drag = static_cast<QDragMoveEvent*>(event);
        if (!FromOutside(drag))
            return false;
        drag->setDropAction(Qt::CopyAction);
        drag->accept();
        return true;
    }
    case QEvent::Drop: {
        auto* drop = static_cast<QDropEvent*>(event);
        if (!FromOutside(drop))
            return false;
        drop->setDropAction(Qt::CopyAction);
        drop->accept();
        // The handler opens a modal window: not inside the file manager's drag.
        if (CollectDrop(drop->mimeData(), drop->position().toPoint()))
            QTimer::singleShot(0, this, [this] { handler_(point_); });
        return true;
    }
    default:
        return false;
    }
}
