#pragma once

#include "Models.h"

#include <QList>
#include <QString>

namespace brinmoor {

// One cell of the pane grid: a single session, or the sessions that share a group id.
class GridItemModel {
public:
    static GridItemModel single(const Session& s);
    static GridItemModel group(const QString& id, const QString& label, const QList<Session>& sessions);

    bool isGroup() const { return m_isGroup; }
    // The item's identity in every list of the grid: the session's UUID text, or "group-" + id.
    QString id() const;
    // The common group id (groups only; empty for a single).
    QString groupID() const { return m_groupID; }
    QString label() const { return m_label; }
    // The label's parts, for a view that draws the name's hidden characters as marks: the words,
    // "%1" standing for the name, and the name (groups only).
    QString labelWords() const;
    QString labelName() const;
    // One session for a single, the members in workspace order for a group.
    const QList<Session>& sessions() const { return m_sessions; }
    // Grid slots the item takes: 2 for a group, 1 for a single.
    int slotCount() const { return m_isGroup ? 2 : 1; }

private:
    bool m_isGroup = false;
    QString m_groupID;
    QString m_label;
    QList<Session> m_sessions;
};

// The workspace's sessions as grid items: a group stands where its first member stands.
QList<GridItemModel> gridItems(const QList<Session>& sessions);
// "<first member's project> · <n> sessions" ("group" for no members), the name as
// HiddenCharacters::inSentence puts it in a sentence: a right-to-left one neither turns the label
// around ("2 SESSIONS · …") nor takes the count into its own run.
QString groupLabel(const QList<Session>& members);
// The label's words ("%1 · <n> sessions") and the name that stands for "%1".
QString groupLabelWords(const QList<Session>& members);
QString groupLabelName(const QList<Session>& members);
// Column count when the container's size is unknown.
int columnCount(int itemCount);
// Column count whose cells come closest to the wanted width-to-height ratio `target`.
int columnCount(int itemCount, double containerAspect, double target, int maxCols);
// How far `cols` columns are from the target shape: |ln(cell aspect / target)|, 0 a perfect fit.
double columnScore(int itemCount, double containerAspect, double target, int cols);
// Rows for a grid with groups: items in order, a row closed when the next item does not fit.
QList<QList<GridItemModel>> packRows(const QList<GridItemModel>& items, int cols);

} // namespace brinmoor
