#pragma once

#include <QString>
#include <QStringView>

namespace brinmoor {

// Unicode's explicit directional formatting characters (UAX #9: the embeddings LRE and RLE and the
// overrides LRO and RLO, each closed by PDF; the isolates LRI, RLI and FSI, closed by PDI) reach
// across line breaks within a paragraph of laid-out text, and a paragraph of ours often holds many
// lines of someone else's text: an override left open in one line of a quoted file would show every
// later line reversed. Text we show but did not write has whatever is still open at a line's end
// closed there, as the end of a paragraph closes it; the characters themselves stay where they are.
class DirectionalRuns {
public:
    // Appends `text` to `out`, closing before each line break whatever is open at it. Text may come
    // in pieces (the styled runs of one paragraph): what is open carries over to the next piece.
    void feed(QStringView text, QString& out);
    // The closers of whatever is open now, innermost first; nothing is open afterwards.
    QString close();

    // `text` with every run closed at its line's end and at its end; `text` itself (not a copy)
    // when it leaves nothing open.
    static QString closeAtLineEnds(const QString& text);
    // Whether `text` holds any of these characters at all (most text holds none).
    static bool present(QStringView text);

private:
    // What is open, innermost last: 'E' an embedding or override, 'I' an isolate.
    QString m_open;
};

} // namespace brinmoor
