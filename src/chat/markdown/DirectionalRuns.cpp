#include "DirectionalRuns.h"

#include <algorithm>

namespace brinmoor {

namespace {

constexpr char16_t LRE = 0x202A, RLE = 0x202B, PDF = 0x202C, LRO = 0x202D, RLO = 0x202E;
constexpr char16_t LRI = 0x2066, RLI = 0x2067, FSI = 0x2068, PDI = 0x2069;

bool isDirectional(char16_t c)
{
    return (c >= LRE && c <= RLO) || (c >= LRI && c <= PDI);
}

} // namespace

void DirectionalRuns::feed(QStringView text, QString& out)
{
    qsizetype copied = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'\n' || c == u'\r' || c == 0x2028 || c == 0x2029) {
            // Before the break (of a "\r\n", before both: nothing is open at its "\n").
            if (m_open.isEmpty())
                continue;
            out += text.sliced(copied, i - copied);
            out += close();
            copied = i;
            continue;
        }
        if (!isDirectional(c))
            continue;
        switch (c) {
        case LRE: case RLE: case LRO: case RLO:
            m_open += u'E';
            break;
        case LRI: case RLI: case FSI:
            m_open += u'I';
            break;
        case PDF:
            // Closes the innermost embedding or override, never past an isolate (UAX #9, X7).
            if (!m_open.isEmpty() && m_open.back() == u'E')
                m_open.chop(1);
            break;
        case PDI: {
            // Closes the innermost isolate and whatever opened inside it (X6a); none open, nothing.
            const qsizetype isolate = m_open.lastIndexOf(u'I');
            if (isolate >= 0)
                m_open.truncate(isolate);
            break;
        }
        default:
            break;
        }
    }
    out += text.sliced(copied);
}

QString DirectionalRuns::close()
{
    QString closers;
    closers.reserve(m_open.size());
    for (qsizetype i = m_open.size() - 1; i >= 0; --i)
        closers += QChar(m_open[i] == u'E' ? PDF : PDI);
    m_open.clear();
    return closers;
}

bool DirectionalRuns::present(QStringView text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) { return isDirectional(c.unicode()); });
}

QString DirectionalRuns::closeAtLineEnds(const QString& text)
{
    // Most text holds none of these characters: it is handed back as it is, without a copy.
    qsizetype first = 0;
    while (first < text.size() && !isDirectional(text[first].unicode()))
        ++first;
    if (first == text.size())
        return text;
    DirectionalRuns runs;
    QString out;
    out.reserve(text.size() + 8);
    out += QStringView(text).first(first);
    runs.feed(QStringView(text).sliced(first), out);
    out += runs.close();
    return out;
}

} // namespace brinmoor
