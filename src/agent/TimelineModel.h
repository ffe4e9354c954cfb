#pragma once

#include "ChatModels.h"

#include <QAbstractListModel>
#include <QList>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

struct ListRowSync;

// The rows of a chat timeline for QML. appendRows() adds rows at the end at a cost that does not
// grow with the timeline. setRows() takes the whole rebuilt list and changes the
// model row by row by row id (insert, remove, move, dataChanged for a row whose value changed),
// never with a reset: the delegates of rows that stay (an expanded thinking block, a scrolled code
// card) survive every append.
class TimelineModel : public QAbstractListModel {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("A chat session owns its timeline")
    Q_PROPERTY(int count READ count NOTIFY countChanged)
public:
    enum Role {
        RowIdRole = Qt::UserRole + 1,  // "rowId": the row's stable id
        KindRole,                      // "kind": kindName() of the row
        TextRole,                      // "text": user, thinking, text and tool-result text
        AttachmentsRole,               // "attachments": a user row's chatAttachment list
        SecondsRole,                   // "seconds": a thinking row's seconds, or undefined
        ToolRole,                      // "tool": a tool row's toolUse
        LabelRole,                     // "label": a working row's label, or undefined
        PieceRole,                     // "piece": which piece of its text block the row shows
        MoreRole,                      // "more": whether a later piece of it follows
        OutcomeRole,                   // "outcome": a tool or tool-result row's outcomeName()
        UnansweredRole,                // "unanswered": a user row whose turn ended with no answer
        NoAnswerRole,                  // "noAnswer": why it ended so ("" when not known)
        CodeAboveRole,                 // "codeAbove": its first code block goes on from the row before
        CodeBelowRole,                 // "codeBelow": its last code block goes on in the row after
        WholeCodeRole,                 // "wholeCode": that code block's whole code, else ""
    };

    explicit TimelineModel(QObject* parent = nullptr);

    void setRows(const QList<TimelineRow>& rows);
    // Rows added at the end, as one insert; nothing before them is looked at.
    void appendRows(const QList<TimelineRow>& rows);
    // The rows from `from` on replaced by `rows`: rows that keep their id change in place, the rest
    // are removed or inserted at the end. Nothing before `from` is looked at.
    void replaceFrom(qsizetype from, const QList<TimelineRow>& rows);
    // The index of the first row of the message with this id, searched from the end; -1 if it has
    // none.
    qsizetype firstRowOf(const QString& messageId) const;
    const QList<TimelineRow>& rows() const { return m_rows; }
    int count() const { return int(m_rows.size()); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

signals:
    void countChanged();

private:
    friend struct ListRowSync;
    void refresh(qsizetype i, const TimelineRow& row);

    QList<TimelineRow> m_rows;
};

} // namespace brinmoor
