#pragma once

#include "ChatModels.h"

#include <QHash>
#include <QObject>
#include <QSet>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The step-by-step state of a question card: which question shows, what is chosen and typed for
// each, when the card moves on, and the answer map it hands over at the end.
//
// Choices and typed text are kept per question text, so two questions with the same text share
// them. The free-text choice is a flag of its own beside the chosen labels: an agent option
// labelled like anything at all stays an ordinary option. A chosen option is answered as the card
// shows it: its hidden characters written out as their marks ("<U+202E>"); typed text as typed. A request with another id starts
// afresh; one with the same id (a re-sent request) keeps step, choices and text. A request with
// no questions has no current question, offers only Skip, and submits an empty map.
class QuestionFlow : public QObject {
    Q_OBJECT
    QML_ELEMENT
    // The request, an askQuestion value (undefined: none).
    Q_PROPERTY(QVariant ask READ ask WRITE setAsk NOTIFY askChanged)
    Q_PROPERTY(int step READ step NOTIFY changed)
    Q_PROPERTY(int count READ count NOTIFY askChanged)
    Q_PROPERTY(bool hasQuestion READ hasQuestion NOTIFY askChanged)
    // The question shown (a questionItem value; undefined without questions).
    Q_PROPERTY(QVariant current READ current NOTIFY changed)
    Q_PROPERTY(bool multiSelect READ multiSelect NOTIFY changed)
    // Labels chosen for the current question, in option order.
    Q_PROPERTY(QStringList chosen READ chosen NOTIFY changed)
    Q_PROPERTY(bool otherChosen READ otherChosen NOTIFY changed)
    Q_PROPERTY(QString otherText READ otherText WRITE setOtherText NOTIFY changed)
    Q_PROPERTY(bool answered READ answered NOTIFY changed)
    Q_PROPERTY(bool showsNext READ showsNext NOTIFY changed)
    Q_PROPERTY(bool isLast READ isLast NOTIFY changed)
public:
    explicit QuestionFlow(QObject* parent = nullptr);

    QVariant ask() const { return QVariant::fromValue(m_ask); }
    void setAsk(const QVariant& value);
    void setRequest(const AskQuestion& request);

    int step() const { return m_step; }
    int count() const { return int(m_ask.questions.size()); }
    bool hasQuestion() const { return !m_ask.questions.isEmpty(); }
    QVariant current() const;
    bool multiSelect() const;
    QStringList chosen() const;
    bool otherChosen() const;
    QString otherText() const;
    void setOtherText(const QString& text);
    bool answered() const;
    bool showsNext() const;
    bool isLast() const { return m_step >= count() - 1; }

    // An option row was clicked: toggles it on a multiple choice; on a single choice makes it the
    // only choice and moves on.
    Q_INVOKABLE void tap(const QString& label);
    // The free-text row was clicked: toggles it on a multiple choice; on a single choice makes it
    // the only choice. Never moves on: the text comes first.
    Q_INVOKABLE void tapOther();
    // Moves on from an answered question, or submits after the last.
    Q_INVOKABLE void advance();
    Q_INVOKABLE void back();
    // Builds the answer map (question text to answer) and emits submitted().
    Q_INVOKABLE void submit();
    Q_INVOKABLE QVariantMap answers() const;

signals:
    void askChanged();
    void changed();
    void submitted(const QVariantMap& answers);

private:
    struct Choice {
        QSet<QString> labels;
        bool other = false;
        QString text;
    };
    const QuestionItem* currentItem() const;
    bool isAnswered(const QuestionItem& q) const;
    static QString trimmedBlanks(const QString& text);

    AskQuestion m_ask;
    bool m_hasAsk = false;
    int m_step = 0;
    QHash<QString, Choice> m_choices;
};

} // namespace brinmoor
