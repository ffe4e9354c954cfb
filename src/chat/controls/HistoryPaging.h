#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The history picker's paging: eight rows at first, eight more per "Load more", and the list's
// height from the items shown (34 points each, capped at 420, so from 13 items on it scrolls).
class HistoryPaging : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    static constexpr int pageSize = 8;
    static constexpr int rowHeight = 34;
    static constexpr int maxListHeight = 420;

    explicit HistoryPaging(QObject* parent = nullptr) : QObject(parent) {}

    Q_INVOKABLE static int firstPage() { return pageSize; }
    Q_INVOKABLE static int nextPage(int visible) { return visible + pageSize; }
    Q_INVOKABLE static int rowsShown(int visible, int count) { return qMax(0, qMin(visible, count)); }
    Q_INVOKABLE static bool hasMore(int visible, int count) { return visible < count; }
    // "Load more (4 more)".
    Q_INVOKABLE static QString loadMoreText(int visible, int count);
    Q_INVOKABLE static int listHeight(int visible, int count);
    // The picker starts afresh whenever this changes: "hist--1" while loading, else "hist-" and
    // the number of conversations.
    Q_INVOKABLE static QString identity(bool loading, int count);
};

} // namespace brinmoor
