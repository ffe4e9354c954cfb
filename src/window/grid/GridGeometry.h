#pragma once

#include <QList>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

#include "GridArithmetic.h"

namespace brinmoor {

// The grid settings a workspace saves, as the grid reads them.
struct GridSettings {
    std::optional<int> forcedColumns;  // none: the column count follows the window's shape
    int maxRows = 4;                   // clamped to 1...4 when read
    bool bigSideLeft = false;          // the full-height big-side pane stands on the left
};

// The pane grid's layout, worked out as rectangles. Pure: the same sessions, settings and size
// always give the same result. The QML grid only places its cells at these rectangles.
//
// Every rectangle of a result is relative to the inner area (the view minus `pad` on all four
// edges). For the scrolling layout they are in the coordinates of the scrolled content, whose
// height is `contentHeight`; for the other layouts contentHeight equals the inner height.
class GridGeometry {
public:
    static constexpr double gap = 10;
    static constexpr double pad = 12;
    static constexpr double minPaneW = 300;
    static constexpr double minPaneH = 240;
    static constexpr double target = 1.33;  // wanted width-to-height ratio of a pane
    static constexpr double stripWidth = 60;
    static constexpr double groupPadding = 7;   // inside a group box, and between its panes
    static constexpr double maximizedColumnWidth = 118;
    static constexpr double maximizedSpacing = 10;

    enum class Layout {
        Empty,       // no sessions: nothing to place
        PackedRows,  // at least one group: rows packed by slots, the last item of a row widened
        Scrolling,   // more rows needed than the row limit: fixed-height rows in a scroll area
        Columns,     // automatic columns dealt round-robin, possibly with a big-side pane
        RowMajor,    // forced columns: rows of `cols` items, fillers in a short last row
    };

    // One grid item: a single pane or a group box.
    struct Cell {
        QString itemID;          // GridItemModel's id: a session id, or "group-" + the group id
        bool isGroup = false;
        QString label;           // the group's label; empty for a single
        QStringList sessionIDs;  // one for a single, the members in order for a group
        QRectF rect;
        QString labelWords, labelName;  // the label's parts (GridItemModel::labelWords, labelName)
    };

    // One pane. Singles fill their cell; group members share their box.
    struct Pane {
        QString sessionID;  // upper-case UUID text
        QString itemID;     // the cell the pane belongs to
        bool inGroup = false;
        QRectF rect;
    };

    struct Result {
        Layout layout = Layout::Empty;
        int itemCount = 0;
        int cols = 1;
        int rowsNeeded = 1;    // items over cols, rounded up (at least 1)
        int rowLimit = 4;      // maxRows clamped to 1...4
        QRectF inner;          // the inner area in the view's coordinates
        double contentHeight = 0;
        double paneHeight = 0; // the scrolling layout's row height; 0 for the others
        std::vector<Cell> cells;
        std::vector<Pane> panes;       // in workspace order of the items, members in group order
        std::vector<QRectF> fillers;   // the row-major grid's empty cells
        std::optional<QString> bigSideID;  // the lone full-height pane's session id
        QRectF leadingStrip;   // the side strips, shown while the big-side pane is dragged
        QRectF trailingStrip;
        QRectF leadingGhost;   // where the big side would go, shown for a side drop target
        QRectF trailingGhost;

        const Pane* pane(const QString& sessionID) const;
        const Cell* cell(const QString& itemID) const;
    };

    // The layout of `items` (as gridItems gives them) in a view of `size`.
    static Result compute(const QList<GridItemModel>& items, const GridSettings& settings, QSizeF size);
    // The same, starting from a workspace's sessions in order.
    static Result compute(const QList<Session>& sessions, const GridSettings& settings, QSizeF size);

    // The column count before it is limited to the item count.
    static int idealCols(int itemCount, const GridSettings& settings, double w, double h);
    // Item positions dealt round-robin into `cols` columns (item i into column i mod cols), empty
    // columns dropped.
    static std::vector<std::vector<int>> columnBuckets(int itemCount, int cols);
    // The position of the item that stands alone at full height among taller columns: exactly one
    // bucket of one item beside at least one bucket of two or more; -1 when there is none.
    static int loneFullHeightIndex(const std::vector<std::vector<int>>& buckets);

    // The focused pane of the maximized view, in the view's coordinates: everything left of the
    // 118-wide column of cards, inside the same padding as the grid.
    static QRectF maximizedPaneRect(QSizeF size);
    static QRectF maximizedColumnRect(QSizeF size);

    // Whether a rectangle of the scrolled content is at least partly visible through a viewport
    // that starts `contentY` down and is `viewportHeight` high.
    static bool intersectsViewport(const QRectF& rect, double contentY, double viewportHeight);
};

}  // namespace brinmoor
