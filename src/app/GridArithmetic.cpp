#include "GridArithmetic.h"

#include "HiddenCharacters.h"

#include <QSet>

#include <cmath>

namespace brinmoor {

GridItemModel GridItemModel::single(const Session& s)
{
    GridItemModel m;
    m.m_sessions = {s};
    return m;
}

GridItemModel GridItemModel::group(const QString& id, const QString& label, const QList<Session>& sessions)
{
    GridItemModel m;
    m.m_isGroup = true;
    m.m_groupID = id;
    m.m_label = label;
    m.m_sessions = sessions;
    return m;
}

QString GridItemModel::id() const
{
    if (m_isGroup)
        return QStringLiteral("group-") + m_groupID;
    return m_sessions.isEmpty() ? QString() : uuidText(m_sessions.first().id);
}

QString GridItemModel::labelWords() const
{
    return m_isGroup ? groupLabelWords(m_sessions) : QString();
}

QString GridItemModel::labelName() const
{
    return m_isGroup ? groupLabelName(m_sessions) : QString();
}

QList<GridItemModel> gridItems(const QList<Session>& sessions)
{
    QList<GridItemModel> items;
    QSet<QString> placed;
    for (const Session& s : sessions) {
        if (!s.groupID) {
            items.append(GridItemModel::single(s));
            continue;
        }
        const QString& g = *s.groupID;
        if (placed.contains(g))
            continue;
        placed.insert(g);
        // Members need not be adjacent: collect them from the whole list, in list order.
        QList<Session> members;
        for (const Session& m : sessions)
            if (m.groupID && *m.groupID == g)
                members.append(m);
        items.append(GridItemModel::group(g, groupLabel(members), members));
    }
    return items;
}

QString groupLabel(const QList<Session>& members)
{
    return groupLabelWords(members).arg(HiddenCharacters::inSentence(groupLabelName(members)));
}

QString groupLabelWords(const QList<Session>& members)
{
    // One plural form for every count.
    return QStringLiteral("%1 \u00b7 ") + QString::number(members.size()) + QStringLiteral(" sessions");
}

QString groupLabelName(const QList<Session>& members)
{
    return members.isEmpty() ? QStringLiteral("group") : members.first().project;
}

int columnCount(int itemCount)
{
    static constexpr int table[] = {1, 1, 2, 2, 2, 3, 3, 3, 3, 3};
    if (itemCount < 0)
        return 1;
    if (itemCount < 10)
        return table[itemCount];
    return int(std::ceil(std::sqrt(double(itemCount))));
}

int columnCount(int itemCount, double containerAspect, double target, int maxCols)
{
    if (itemCount < 2)
        return 1;
    const int largest = std::max(1, std::min(maxCols, itemCount));
    int best = 1;
    double bestScore = std::numeric_limits<double>::infinity();
    for (int c = 1; c <= largest; ++c) {
        const double score = columnScore(itemCount, containerAspect, target, c);
        // Only a strictly smaller, finite score wins: ties keep the smaller column count.
        if (std::isfinite(score) && score < bestScore) {
            bestScore = score;
            best = c;
        }
    }
    return best;
}

double columnScore(int itemCount, double containerAspect, double target, int cols)
{
    const int rows = (itemCount + cols - 1) / cols;
    // Multiply, then divide by the columns, then by the target: the order fixes the rounding.
    const double cellAspect = containerAspect * rows / cols;
    return std::fabs(std::log(cellAspect / target));
}

QList<QList<GridItemModel>> packRows(const QList<GridItemModel>& items, int cols)
{
    QList<QList<GridItemModel>> rows;
    QList<GridItemModel> current;
    int used = 0;
    for (const GridItemModel& item : items) {
        const int size = item.slotCount();
        if (used + size > cols && !current.isEmpty()) {
            rows.append(current);
            current.clear();
            used = 0;
        }
        current.append(item);
        used += size;
    }
    if (!current.isEmpty())
        rows.append(current);
    return rows;
}

} // namespace brinmoor
