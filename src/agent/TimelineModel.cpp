#include "TimelineModel.h"

#include "ListRowSync.h"

#include <algorithm>

namespace brinmoor {

TimelineModel::TimelineModel(QObject* parent) : QAbstractListModel(parent) {}

void TimelineModel::refresh(qsizetype i, const TimelineRow& row)
{
    if (m_rows.at(i) == row)
        return;
    m_rows[i] = row;
    const QModelIndex at = index(int(i));
    emit dataChanged(at, at);
}

void TimelineModel::setRows(const QList<TimelineRow>& next)
{
    const qsizetype before = m_rows.size();
    // The usual change, a transcript that grew at its end: refresh what was there, insert the rest
    // in one step (a history of thousands of rows arrives as one insert, not thousands).
    bool grew = next.size() >= m_rows.size();
    for (qsizetype i = 0; grew && i < m_rows.size(); ++i)
        grew = m_rows.at(i).id == next.at(i).id;
    if (grew) {
        for (qsizetype i = 0; i < m_rows.size(); ++i)
            refresh(i, next.at(i));
        if (next.size() > m_rows.size()) {
            beginInsertRows(QModelIndex(), int(m_rows.size()), int(next.size() - 1));
            m_rows.append(next.sliced(m_rows.size()));
            endInsertRows();
        }
    } else {
        ListRowSync::apply(
            *this, m_rows, next, [](const TimelineRow& r) { return r.id; },
            [](const TimelineRow& r) { return r; }, [this](qsizetype i, const TimelineRow& r) { refresh(i, r); },
            [](TimelineRow&) {});
    }
    if (m_rows.size() != before)
        emit countChanged();
}

void TimelineModel::appendRows(const QList<TimelineRow>& rows)
{
    if (rows.isEmpty())
        return;
    beginInsertRows(QModelIndex(), int(m_rows.size()), int(m_rows.size() + rows.size() - 1));
    m_rows.append(rows);
    endInsertRows();
    emit countChanged();
}

void TimelineModel::replaceFrom(qsizetype from, const QList<TimelineRow>& rows)
{
    from = std::clamp<qsizetype>(from, 0, m_rows.size());
    qsizetype k = 0;
    for (; k < rows.size() && from + k < m_rows.size() && m_rows.at(from + k).id == rows.at(k).id; ++k)
        refresh(from + k, rows.at(k));
    const qsizetype before = m_rows.size();
    if (from + k < m_rows.size()) {
        beginRemoveRows(QModelIndex(), int(from + k), int(m_rows.size() - 1));
        m_rows.resize(from + k);
        endRemoveRows();
    }
    appendRows(rows.sliced(k));
    if (m_rows.size() != before && k == rows.size())
        emit countChanged();
}

qsizetype TimelineModel::firstRowOf(const QString& messageId) const
{
    // Every row of a message has an id that starts with the message's (fixed-length) id, and a
    // message's rows are together: walk back over the rows after them, then over them.
    qsizetype i = m_rows.size();
    while (i > 0 && !m_rows.at(i - 1).id.startsWith(messageId))
        --i;
    if (i == 0)
        return -1;
    while (i > 0 && m_rows.at(i - 1).id.startsWith(messageId))
        --i;
    return i;
}

int TimelineModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

QVariant TimelineModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    const TimelineRow& r = m_rows.at(index.row());
    switch (role) {
    case RowIdRole: return r.id;
    case KindRole: return kindName(r.kind);
    case TextRole: return r.text;
    case AttachmentsRole: return records::toVariantList(r.attachments);
    case SecondsRole: return r.seconds ? QVariant(*r.seconds) : QVariant();
    case ToolRole: return QVariant::fromValue(r.tool);
    case LabelRole: return r.label ? QVariant(*r.label) : QVariant();
    case PieceRole: return r.piece;
    case MoreRole: return r.more;
    case OutcomeRole: return outcomeName(r.outcome);
    case UnansweredRole: return r.unanswered;
    case NoAnswerRole: return r.noAnswer;
    case CodeAboveRole: return r.codeAbove;
    case CodeBelowRole: return r.codeBelow;
    case WholeCodeRole: return r.wholeCode;
    }
    return {};
}

QHash<int, QByteArray> TimelineModel::roleNames() const
{
    return {{RowIdRole, "rowId"}, {KindRole, "kind"}, {TextRole, "text"}, {AttachmentsRole, "attachments"},
            {SecondsRole, "seconds"}, {ToolRole, "tool"}, {LabelRole, "label"},
            {PieceRole, "piece"}, {MoreRole, "more"}, {OutcomeRole, "outcome"}, {UnansweredRole, "unanswered"},
            {NoAnswerRole, "noAnswer"}, {CodeAboveRole, "codeAbove"}, {CodeBelowRole, "codeBelow"},
            {WholeCodeRole, "wholeCode"}};
}

} // namespace brinmoor
