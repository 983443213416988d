// Files dropped from the file manager onto a view (Qt drag and drop of
// "text/uri-list"): the local paths become KELFileItem objects and the drop
// handler runs with the drop point. Drags from inside the program pass on.
#pragma once

#include <QObject>
#include <QPoint>

#include <functional>
#include <vector>

#include "kellib/KELFileItem.h"

class QAbstractItemView;
class QMimeData;

class KELShellDragDropFiles : public QObject {
public:
    using DropHandler = std::function<void(const QPoint& point)>;
    // Watches view's viewport; handler runs after a drop that collected items.
    KELShellDragDropFiles(QAbstractItemView* view, DropHandler handler);

    // Replaces the items with the dropped local files (names over 260
    // characters left out); true when at least one was collected.
    bool CollectDrop(const QMimeData* data, const QPoint& point);
    const std::vector<KELFileItem>& Items() const { return items_; }
    QPoint DropPoint() const { return point_; }

    static constexpr int kMaxPathLength = 260;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAbstractItemView* view_;
    DropHandler handler_;
    std::vector<KELFileItem> items_;
    QPoint point_;
};
