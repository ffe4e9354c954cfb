#pragma once

#include <QList>
#include <QModelIndex>
#include <QSet>
#include <QUuid>

#include <type_traits>
#include <utility>

namespace brinmoor {

// Brings the rows of a list model in line with a wanted list, matched by id, using row-level
// changes only (remove, move, insert, and a refresh of rows that stay), never a reset, so that
// the delegates QML made for the rows survive every edit. A model that uses it declares
// `friend struct ListRowSync;` so the begin/end notifications can be raised on its behalf.
struct ListRowSync {
    // rowId(const Row&) -> the type of Want::id (a QUuid, a QString); make(const Want&) -> Row for
    // a new row; refresh(i, want) brings the row at i up to date and says so (dataChanged);
    // drop(Row&) lets go of a row taken out.
    // Returns whether the number of rows changed.
    template <typename Model, typename Row, typename Want, typename RowId, typename Make, typename Refresh,
              typename Drop>
    static bool apply(Model& model, QList<Row>& rows, const QList<Want>& next, RowId rowId, Make make,
                      Refresh refresh, Drop drop)
    {
        const qsizetype before = rows.size();
        QSet<std::decay_t<decltype(std::declval<const Want&>().id)>> keep;
        for (const Want& w : next)
            keep.insert(w.id);
        for (qsizetype i = rows.size() - 1; i >= 0; --i) {
            if (!keep.contains(rowId(rows.at(i)))) {
                model.beginRemoveRows(QModelIndex(), int(i), int(i));
                Row gone = rows.takeAt(i);
                model.endRemoveRows();
                drop(gone);
            }
        }
        for (qsizetype i = 0; i < next.size(); ++i) {
            const Want& want = next.at(i);
            if (i < rows.size() && rowId(rows.at(i)) == want.id) {
                refresh(i, want);
                continue;
            }
            qsizetype from = -1;
            for (qsizetype j = i + 1; j < rows.size(); ++j)
                if (rowId(rows.at(j)) == want.id) {
                    from = j;
                    break;
                }
            if (from >= 0) {
                model.beginMoveRows(QModelIndex(), int(from), int(from), QModelIndex(), int(i));
                rows.move(from, i);
                model.endMoveRows();
                refresh(i, want);
            } else {
                model.beginInsertRows(QModelIndex(), int(i), int(i));
                rows.insert(i, make(want));
                model.endInsertRows();
            }
        }
        // Left over only when ids repeat (nothing forbids that in a saved file).
        if (rows.size() > next.size()) {
            model.beginRemoveRows(QModelIndex(), int(next.size()), int(rows.size() - 1));
            while (rows.size() > next.size()) {
                Row gone = rows.takeLast();
                drop(gone);
            }
            model.endRemoveRows();
        }
        return rows.size() != before;
    }
};

} // namespace brinmoor
