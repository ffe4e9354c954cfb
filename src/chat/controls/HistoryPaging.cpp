#include "HistoryPaging.h"

namespace brinmoor {

QString HistoryPaging::loadMoreText(int visible, int count)
{
    return QStringLiteral("Load more (%1 more)").arg(count - visible);
}

int HistoryPaging::listHeight(int visible, int count)
{
    const int items = rowsShown(visible, count) + (hasMore(visible, count) ? 1 : 0);
    return qMin(items * rowHeight + 4, maxListHeight);
}

QString HistoryPaging::identity(bool loading, int count)
{
    return QStringLiteral("hist-%1").arg(loading ? -1 : count);
}

} // namespace brinmoor
