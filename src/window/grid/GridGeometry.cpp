#include "GridGeometry.h"

#include <algorithm>
#include <cmath>

namespace brinmoor {

namespace {

// What the geometry needs of one grid item.
struct ItemInfo {
    QString id;
    bool group = false;
    QString label;
    QString labelWords, labelName;
    QStringList sessionIDs;
};

ItemInfo info(const GridItemModel& item)
{
    ItemInfo i;
    i.id = item.id();
    i.group = item.isGroup();
    if (i.group) {
        i.label = item.label();
        i.labelWords = item.labelWords();
        i.labelName = item.labelName();
        for (const Session& s : item.sessions())
            i.sessionIDs << uuidText(s.id);
    } else {
        i.sessionIDs << uuidText(item.sessions().value(0).id);
    }
    return i;
}

int slotCount(const ItemInfo& i) { return i.group ? 2 : 1; }

// Length of one of `count` equal parts of `total`, with `gap` between neighbours.
double share(double total, int count, double gap)
{
    if (count < 1)
        return total;
    return std::max((total - gap * (count - 1)) / count, 0.0);
}

}  // namespace

const GridGeometry::Pane* GridGeometry::Result::pane(const QString& sessionID) const
{
    for (const Pane& p : panes)
        if (p.sessionID == sessionID)
            return &p;
    return nullptr;
}

const GridGeometry::Cell* GridGeometry::Result::cell(const QString& itemID) const
{
    for (const Cell& c : cells)
        if (c.itemID == itemID)
            return &c;
    return nullptr;
}

int GridGeometry::idealCols(int itemCount, const GridSettings& settings, double w, double h)
{
    if (itemCount < 2)
        return 1;
    if (settings.forcedColumns)
        return std::max(std::min(*settings.forcedColumns, itemCount), 1);
    if (w > 0 && h > 0) {
        const int maxCols = std::max(static_cast<int>(w / minPaneW), 1);
        return columnCount(itemCount, w / h, target, maxCols);
    }
    return columnCount(itemCount);
}

std::vector<std::vector<int>> GridGeometry::columnBuckets(int itemCount, int cols)
{
    std::vector<std::vector<int>> buckets(static_cast<size_t>(std::max(cols, 1)));
    for (int i = 0; i < itemCount; ++i)
        buckets[static_cast<size_t>(i % static_cast<int>(buckets.size()))].push_back(i);
    std::erase_if(buckets, [](const std::vector<int>& b) { return b.empty(); });
    return buckets;
}

int GridGeometry::loneFullHeightIndex(const std::vector<std::vector<int>>& buckets)
{
    if (buckets.size() < 2)
        return -1;
    int lone = -1, loneCount = 0;
    bool anyTall = false;
    for (const auto& b : buckets) {
        if (b.size() == 1) {
            lone = b.front();
            ++loneCount;
        }
        anyTall = anyTall || b.size() >= 2;
    }
    return loneCount == 1 && anyTall ? lone : -1;
}

GridGeometry::Result GridGeometry::compute(const QList<Session>& sessions, const GridSettings& settings,
                                           QSizeF size)
{
    return compute(gridItems(sessions), settings, size);
}

GridGeometry::Result GridGeometry::compute(const QList<GridItemModel>& items, const GridSettings& settings,
                                           QSizeF size)
{
    Result r;
    const double w = std::max(size.width() - 2 * pad, 1.0);
    const double h = std::max(size.height() - 2 * pad, 1.0);
    r.inner = QRectF(pad, pad, w, h);
    r.contentHeight = h;

    std::vector<ItemInfo> infos;
    infos.reserve(items.size());
    for (const GridItemModel& item : items)
        infos.push_back(info(item));
    const int n = static_cast<int>(infos.size());
    const int nn = std::max(n, 1);
    r.itemCount = n;
    r.cols = std::max(std::min(idealCols(n, settings, w, h), nn), 1);
    r.rowLimit = std::clamp(settings.maxRows, 1, 4);
    r.rowsNeeded = (nn + r.cols - 1) / r.cols;

    // Side strips and ghosts only ever show over the column grid, but their places follow from
    // the inner area and the column count alone.
    r.leadingStrip = QRectF(0, 0, stripWidth, h);
    r.trailingStrip = QRectF(w - stripWidth, 0, stripWidth, h);
    const double ghostW = std::max(share(w, r.cols, gap), stripWidth);
    r.leadingGhost = QRectF(0, 0, ghostW, h);
    r.trailingGhost = QRectF(w - ghostW, 0, ghostW, h);

    if (n == 0)
        return r;

    auto place = [&r](const ItemInfo& it, const QRectF& rect) {
        r.cells.push_back(Cell{it.id, it.group, it.label, it.sessionIDs, rect, it.labelWords, it.labelName});
        if (!it.group) {
            r.panes.push_back(Pane{it.sessionIDs.value(0), it.id, false, rect});
            return;
        }
        // The group box: its members side by side inside a 7-point margin, 7 points apart.
        const QRectF box = rect.adjusted(groupPadding, groupPadding, -groupPadding, -groupPadding);
        const int k = static_cast<int>(it.sessionIDs.size());
        const double memberW = share(box.width(), k, groupPadding);
        for (int m = 0; m < k; ++m) {
            const QRectF mr(box.x() + m * (memberW + groupPadding), box.y(), memberW, std::max(box.height(), 0.0));
            r.panes.push_back(Pane{it.sessionIDs.at(m), it.id, true, mr});
        }
    };

    const bool hasGroups = std::any_of(infos.begin(), infos.end(), [](const ItemInfo& i) { return i.group; });

    if (hasGroups) {
        r.layout = Layout::PackedRows;
        const QList<QList<GridItemModel>> rows = packRows(items, r.cols);
        // A group in a one-column grid makes its row two slots wide; the grid then has as many
        // columns as its widest row, and every row's last item stretches to the full width.
        int gridCols = r.cols;
        int index = 0;
        std::vector<std::vector<const ItemInfo*>> rowInfos;
        for (const auto& row : rows) {
            std::vector<const ItemInfo*> ri;
            int used = 0;
            for (qsizetype k = 0; k < row.size(); ++k) {
                ri.push_back(&infos[index++]);
                used += slotCount(*ri.back());
            }
            gridCols = std::max(gridCols, used);
            rowInfos.push_back(std::move(ri));
        }
        const int rowCount = static_cast<int>(rowInfos.size());
        const double colW = share(w, gridCols, gap);
        const double rowH = share(h, rowCount, gap);
        for (int ri = 0; ri < rowCount; ++ri) {
            const auto& row = rowInfos[ri];
            int col = 0;
            for (size_t k = 0; k < row.size(); ++k) {
                int span = slotCount(*row[k]);
                if (k + 1 == row.size())
                    span += std::max(gridCols - col - span, 0);
                const QRectF rect(col * (colW + gap), ri * (rowH + gap), span * colW + (span - 1) * gap, rowH);
                place(*row[k], rect);
                col += span;
            }
        }
        return r;
    }

    if (r.rowsNeeded > r.rowLimit) {
        r.layout = Layout::Scrolling;
        const int m = r.rowLimit;
        r.paneHeight = std::max(minPaneH, (h - gap * (m - 1)) / m);
        // Flexible columns never narrower than 10; a grid wider than the view stays centred.
        const double colW = std::max(share(w, r.cols, gap), 10.0);
        const double gridW = r.cols * colW + (r.cols - 1) * gap;
        const double x0 = (w - gridW) / 2;
        const int rowCount = (n + r.cols - 1) / r.cols;
        for (int i = 0; i < n; ++i) {
            const int row = i / r.cols;
            const int col = i % r.cols;
            place(infos[i], QRectF(x0 + col * (colW + gap), row * (r.paneHeight + gap), colW, r.paneHeight));
        }
        r.contentHeight = rowCount * r.paneHeight + (rowCount - 1) * gap;
        return r;
    }

    if (!settings.forcedColumns) {
        r.layout = Layout::Columns;
        // Round-robin: the last buckets may be one short, and a bucket of one shows its pane at
        // full height: the big side.
        auto buckets = columnBuckets(n, r.cols);
        const int lone = loneFullHeightIndex(buckets);
        if (lone >= 0 && !infos[lone].group)
            r.bigSideID = infos[lone].sessionIDs.value(0);

        if (settings.bigSideLeft)
            std::reverse(buckets.begin(), buckets.end());
        const int k = static_cast<int>(buckets.size());
        const double colW = share(w, k, gap);
        for (int c = 0; c < k; ++c) {
            const auto& b = buckets[c];
            const int m = static_cast<int>(b.size());
            const double cellH = share(h, m, gap);
            for (int j = 0; j < m; ++j)
                place(infos[b[j]], QRectF(c * (colW + gap), j * (cellH + gap), colW, cellH));
        }
        // Panes in workspace order, whatever the column order.
        std::stable_sort(r.panes.begin(), r.panes.end(), [&](const Pane& a, const Pane& b) {
            auto pos = [&](const Pane& p) {
                for (int i = 0; i < n; ++i)
                    if (infos[i].id == p.itemID)
                        return i;
                return n;
            };
            return pos(a) < pos(b);
        });
        std::stable_sort(r.cells.begin(), r.cells.end(), [&](const Cell& a, const Cell& b) {
            auto pos = [&](const Cell& c) {
                for (int i = 0; i < n; ++i)
                    if (infos[i].id == c.itemID)
                        return i;
                return n;
            };
            return pos(a) < pos(b);
        });
        return r;
    }

    r.layout = Layout::RowMajor;
    const int rowCount = r.rowsNeeded;
    const double colW = share(w, r.cols, gap);
    const double rowH = share(h, rowCount, gap);
    for (int i = 0; i < n; ++i) {
        const int row = i / r.cols;
        const int col = i % r.cols;
        place(infos[i], QRectF(col * (colW + gap), row * (rowH + gap), colW, rowH));
    }
    // Empty fillers keep every pane of a short last row as wide as the others.
    for (int col = n % r.cols == 0 ? r.cols : n % r.cols; col < r.cols; ++col)
        r.fillers.push_back(QRectF(col * (colW + gap), (rowCount - 1) * (rowH + gap), colW, rowH));
    return r;
}

QRectF GridGeometry::maximizedPaneRect(QSizeF size)
{
    const double w = std::max(size.width() - 2 * pad, 1.0);
    const double h = std::max(size.height() - 2 * pad, 1.0);
    return QRectF(pad, pad, std::max(w - maximizedSpacing - maximizedColumnWidth, 0.0), h);
}

QRectF GridGeometry::maximizedColumnRect(QSizeF size)
{
    const double w = std::max(size.width() - 2 * pad, 1.0);
    const double h = std::max(size.height() - 2 * pad, 1.0);
    return QRectF(pad + std::max(w - maximizedColumnWidth, 0.0), pad, maximizedColumnWidth, h);
}

bool GridGeometry::intersectsViewport(const QRectF& rect, double contentY, double viewportHeight)
{
    return rect.bottom() > contentY && rect.top() < contentY + viewportHeight;
}

}  // namespace brinmoor
