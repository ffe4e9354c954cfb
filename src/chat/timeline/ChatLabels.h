#pragma once

#include <QObject>
#include <QString>
#include <QVariant>
#include <QtQml/qqmlregistration.h>

namespace brinmoor {

// The short texts a chat pane derives from its session's numbers, and its other small display
// choices.
class ChatLabels : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    explicit ChatLabels(QObject* parent = nullptr) : QObject(parent) {}

    // A thinking block's caption: "Thinking" without a usable duration (absent, below 0.5, not a
    // number, infinite or too large to count), else "Thought for 12s", halves rounded up.
    Q_INVOKABLE static QString thinkingLabel(const QVariant& seconds);
    // The pane header's token and cost text: "" for nothing spent, "999 tokens", "1.2k tokens",
    // or with a cost "1.2k · $0.0123"; bounded for any figures (HeaderFigures).
    Q_INVOKABLE static QString costLabel(double tokensIn, double tokensOut, double costUsd);
    // The working row's detail: "" below one token, else "950 tokens" or "12.3k tokens".
    Q_INVOKABLE static QString workingLabel(double tokensIn, double tokensOut);
    // Whether the end of a list lies within 60 points below the visible area; `endY` is how far
    // the content's end lies below the top of that area.
    Q_INVOKABLE static bool atEnd(double endY, double visibleHeight);
    // Whether a chatAttachment value shows as a thumbnail: an image whose bytes decode.
    Q_INVOKABLE static bool showsThumbnail(const QVariant& attachment);
};

} // namespace brinmoor
