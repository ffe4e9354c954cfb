#include "HiddenCharacters.h"

namespace brinmoor::HiddenCharacters {

namespace {

constexpr char16_t ZWNJ = 0x200C, ZWJ = 0x200D, BOM = 0xFEFF;
constexpr char32_t blackFlag = 0x1F3F4, cancelTag = 0xE007F;
// U+E0000–U+E03FF (tag characters, the supplementary variation selectors, the rest unassigned and
// ignored by text layout) share the high surrogate DB40. The shorthand format controls
// (U+1BCA0–1BCA3) and the musical ones (U+1D173–1D17A) sit behind D82F and D834.
constexpr char16_t tagHigh = 0xDB40, shorthandHigh = 0xD82F, musicalHigh = 0xD834;

// The mark's colour: apart from the diff's green and red, the links' blue and the cards' amber.
// The label sits in a left-to-right isolate: it reads the same inside right-to-left text, and its
// Latin letters have no say in the direction of the text around it (an embedding's would: a
// right-to-left name opening with a mark would turn left to right).
constexpr QStringView markOpen = u"<font color=\"#d94f8c\">\u2066&lt;U+";
constexpr QStringView markClose = u"&gt;\u2069</font>";

// Whether a UTF-16 unit can begin a hidden character; everything else (nearly all text) is
// passed over at the cost of this test. Besides the controls and format characters: the soft
// hyphen, the grapheme joiner, the Hangul fillers and the braille blank, drawn as nothing or as a
// space; the variation selectors; the Khmer inherent vowels and Mongolian selectors and separator.
bool candidate(char16_t u)
{
    if (u >= 0x20 && u < 0x7F)
        return false;
    if (u < 0x0300)
        return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0xAD;
    return u == 0x034F || u == 0x061C || u == 0x115F || u == 0x1160 || u == 0x17B4 || u == 0x17B5
        || (u >= 0x180B && u <= 0x180F) || (u >= 0x200B && u <= 0x200F) || (u >= 0x2028 && u <= 0x202E)
        || (u >= 0x2060 && u <= 0x206F) || u == 0x2800 || u == 0x3164 || (u >= 0xFE00 && u <= 0xFE0F)
        || u == BOM || u == 0xFFA0 || (u >= 0xFFF0 && u <= 0xFFFB) || u == tagHigh || u == shorthandHigh
        || u == musicalHigh;
}

char32_t codePointAt(QStringView s, qsizetype i, qsizetype* length)
{
    const QChar c = s[i];
    if (c.isHighSurrogate() && i + 1 < s.size() && s[i + 1].isLowSurrogate()) {
        *length = 2;
        return QChar::surrogateToUcs4(c, s[i + 1]);
    }
    *length = 1;
    return c.unicode();
}

// The code point that ends just before `i`; 0 at the start.
char32_t codePointBefore(QStringView s, qsizetype i)
{
    if (i <= 0)
        return 0;
    const QChar c = s[i - 1];
    if (c.isLowSurrogate() && i >= 2 && s[i - 2].isHighSurrogate())
        return QChar::surrogateToUcs4(s[i - 2], c);
    return c.unicode();
}

bool isTag(char32_t c)
{
    return c >= 0xE0000 && c <= 0xE007F;
}

bool isVariationSelector(char32_t c)
{
    return (c >= 0xFE00 && c <= 0xFE0F) || (c >= 0xE0100 && c <= 0xE01EF);
}

// Which characters behind those high surrogates are hidden.
bool hiddenBeyondFirstPlane(char32_t c)
{
    return (c >= 0xE0000 && c <= 0xE03FF) || (c >= 0x1BCA0 && c <= 0x1BCA3) || (c >= 0x1D173 && c <= 0x1D17A);
}

// Pictographs and what joins them into one emoji (the emoji presentation selector, skin tones,
// the keycap); a joiner between two of these is part of an emoji sequence.
bool emojiLike(char32_t c)
{
    return (c >= 0x1F000 && c <= 0x1FAFF) || (c >= 0x2190 && c <= 0x21FF) || (c >= 0x2300 && c <= 0x23FF)
        || (c >= 0x25A0 && c <= 0x27BF) || (c >= 0x2B00 && c <= 0x2BFF) || c == 0xFE0F || c == 0x20E3
        || c == 0x00A9 || c == 0x00AE || c == 0x203C || c == 0x2049 || c == 0x2122 || c == 0x2139
        || c == 0x24C2 || c == 0x2934 || c == 0x2935 || c == 0x3030 || c == 0x303D || c == 0x3297
        || c == 0x3299 || isTag(c);
}

// Whether `selector` right after `base` picks one of the base's variants: the emoji or text style
// of a pictograph or keycap, a variant of an ideograph (the ideographic variation database's
// U+E0100–E01EF, the compatibility ideographs' standardized U+FE00–FE02), of a mathematical
// symbol, or of a Myanmar or Phags-pa letter. Anything else a selector follows (a letter, another
// selector) has no variant for it to pick: the selector only carries something unseen.
bool picksVariant(char32_t base, char32_t selector)
{
    if (base == 0 || isVariationSelector(base) || isTag(base) || base == 0x20E3)
        return false;
    const bool han = QChar::script(base) == QChar::Script_Han && QChar::isLetter(base);
    if (selector >= 0xE0100)
        return han;
    if ((base >= u'0' && base <= u'9') || base == u'#' || base == u'*')
        return true;
    if (selector >= 0xFE0E && emojiLike(base))
        return true;
    switch (QChar::script(base)) {
    case QChar::Script_Myanmar:
    case QChar::Script_PhagsPa:
        return true;
    default:
        return han || QChar::category(base) == QChar::Symbol_Math;
    }
}

// Scripts whose writing uses joiners (Arabic, Persian, the Indic scripts, …): any but those that
// never need one.
bool joiningScript(char32_t c)
{
    switch (QChar::script(c)) {
    case QChar::Script_Unknown:
    case QChar::Script_Common:
    case QChar::Script_Inherited:
    case QChar::Script_Latin:
    case QChar::Script_Greek:
    case QChar::Script_Cyrillic:
    case QChar::Script_Han:
    case QChar::Script_Hiragana:
    case QChar::Script_Katakana:
    case QChar::Script_Hangul:
    case QChar::Script_Bopomofo:
        return false;
    default:
        return true;
    }
}

// How many UTF-16 units from `i` (a tag character) the flag's subdivision code there takes, ending
// with its cancel tag (England: U+1F3F4, "gbeng" in tags, U+E007F); 0 when it is none. Only a
// short code of tag digits and small letters counts, so no text hides behind a flag.
qsizetype flagTags(QStringView s, qsizetype i)
{
    if (codePointBefore(s, i) != blackFlag)
        return 0;
    qsizetype at = i, length = 0;
    for (int n = 0; at < s.size() && n <= 8; ++n, at += length) {
        const char32_t c = codePointAt(s, at, &length);
        if (c == cancelTag)
            return n >= 2 ? at + length - i : 0;
        if (!((c >= 0xE0030 && c <= 0xE0039) || (c >= 0xE0061 && c <= 0xE007A)))
            return 0;
    }
    return 0;
}

// Calls `plainText(from, to)` for each stretch shown as it is and `mark(codePoint)` for each
// hidden character, in order. Returns early (false) when `mark` returns false.
template <typename Plain, typename Mark>
bool scan(QStringView s, Scope scope, Plain&& plainText, Mark&& mark)
{
    qsizetype copied = 0;
    for (qsizetype i = 0; i < s.size();) {
        const char16_t u = s[i].unicode();
        if (!candidate(u)) {
            ++i;
            continue;
        }
        qsizetype length = 1;
        const char32_t c = codePointAt(s, i, &length);
        bool hidden = true;
        if (c == u'\n' || c == u'\t') {
            hidden = scope == Scope::Line;
        } else if (c == u'\r') {
            hidden = scope == Scope::Line || i + 1 >= s.size() || s[i + 1] != u'\n';
        } else if (c == BOM) {
            hidden = i > 0;
        } else if (c == ZWJ || c == ZWNJ) {
            const char32_t before = codePointBefore(s, i);
            qsizetype nextLength = 0;
            const char32_t after = i + 1 < s.size() ? codePointAt(s, i + 1, &nextLength) : 0;
            const bool inEmoji = c == ZWJ && emojiLike(before) && emojiLike(after);
            hidden = !(before && after && (inEmoji || joiningScript(before) || joiningScript(after)));
        } else if (isVariationSelector(c)) {
            hidden = !picksVariant(codePointBefore(s, i), c);
        } else if (c >= 0x180B && c <= 0x180F && c != 0x180E) {
            // Mongolian free variation selectors choose a Mongolian letter's form.
            const char32_t before = codePointBefore(s, i);
            hidden = QChar::script(before) != QChar::Script_Mongolian || (before >= 0x180B && before <= 0x180F);
        } else if (length == 2) {
            if (!hiddenBeyondFirstPlane(c)) {
                hidden = false;  // another character behind the same high surrogate
            } else if (isTag(c)) {
                if (const qsizetype flag = flagTags(s, i)) {
                    i += flag;
                    continue;
                }
            }
        } else if (QChar::isHighSurrogate(u)) {
            hidden = false;  // half of a pair cut off: the text shows a replacement for it
        }
        if (!hidden) {
            i += length;
            continue;
        }
        if (i > copied)
            plainText(copied, i);
        if (!mark(c))
            return false;
        i += length;
        copied = i;
    }
    if (copied < s.size())
        plainText(copied, s.size());
    return true;
}

QString hex(char32_t c, int width)
{
    return QString::number(uint(c), 16).toUpper().rightJustified(width, u'0');
}

// Escaped text for markup: line feeds as breaks; for styled text, spaces after a space or at a
// line's start (which it would fold away) and tabs as no-break spaces.
void appendEscaped(QString& out, QStringView text, Markup kind, bool& afterSpace)
{
    for (const QChar ch : text) {
        const char16_t c = ch.unicode();
        switch (c) {
        case u'<': out += QLatin1String("&lt;"); break;
        case u'>': out += QLatin1String("&gt;"); break;
        case u'&': out += QLatin1String("&amp;"); break;
        case u'"': out += QLatin1String("&quot;"); break;
        case u'\n':
            out += QLatin1String("<br>");
            afterSpace = true;
            continue;
        case u' ':
            if (kind == Markup::Styled && afterSpace) {
                out += QLatin1String("&nbsp;");
                continue;
            }
            out += ch;
            afterSpace = true;
            continue;
        case u'\t':
            if (kind == Markup::Styled) {
                out += QLatin1String("&nbsp;&nbsp;&nbsp;&nbsp;");
                afterSpace = true;
                continue;
            }
            out += ch;
            break;
        default: out += ch; break;
        }
        afterSpace = false;
    }
}

} // namespace

bool present(QStringView text, Scope scope)
{
    return !scan(text, scope, [](qsizetype, qsizetype) {}, [](char32_t) { return false; });
}

QString markup(QStringView text, Scope scope, Markup kind)
{
    QString out;
    out.reserve(text.size() + text.size() / 8 + 16);
    bool afterSpace = true;
    scan(
        text, scope, [&](qsizetype from, qsizetype to) { appendEscaped(out, text.sliced(from, to - from), kind, afterSpace); },
        [&](char32_t c) {
            out += markOpen;
            out += hex(c, 4);
            out += markClose;
            afterSpace = false;
            return true;
        });
    return out;
}

QString plain(QStringView text, Scope scope)
{
    QString out;
    scan(
        text, scope, [&](qsizetype from, qsizetype to) { out += text.sliced(from, to - from); },
        [&](char32_t c) {
            out += QLatin1String("<U+") + hex(c, 4) + u'>';
            return true;
        });
    return out;
}

QString stripped(QStringView text, Scope scope)
{
    QString out;
    scan(text, scope, [&](qsizetype from, qsizetype to) { out += text.sliced(from, to - from); }, [](char32_t) { return true; });
    return out;
}

std::optional<std::pair<qsizetype, char32_t>> writtenMarkAt(QStringView text)
{
    if (!text.startsWith(u"<U+"))
        return std::nullopt;
    const auto hexDigit = [](QChar d) {
        return (d >= u'0' && d <= u'9') || (d >= u'A' && d <= u'F') || (d >= u'a' && d <= u'f');
    };
    qsizetype end = 3;
    while (end < text.size() && end - 3 < 6 && hexDigit(text[end]))
        ++end;
    if (end - 3 < 4 || end >= text.size() || text[end] != u'>')
        return std::nullopt;
    return std::pair<qsizetype, char32_t>{end + 1, char32_t(text.sliced(3, end - 3).toUInt(nullptr, 16))};
}

QString fromPlain(QStringView text)
{
    QString out;
    out.reserve(text.size());
    qsizetype copied = 0;
    for (qsizetype at = text.indexOf(u"<U+"); at >= 0; at = text.indexOf(u"<U+", at + 1)) {
        const auto mark = writtenMarkAt(text.sliced(at));
        if (!mark)
            continue;
        const char32_t c = mark->second;
        const bool hideable = c > 0xFFFF ? hiddenBeyondFirstPlane(c) : c < 0xD800 || c > 0xDFFF ? candidate(char16_t(c)) : false;
        if (!hideable)
            continue;
        out += text.sliced(copied, at - copied);
        out += QString::fromUcs4(&c, 1);
        copied = at + mark->first;
        at = copied - 1;
    }
    out += text.sliced(copied);
    return out;
}

QString inSentence(QStringView name)
{
    bool rightToLeft = false;
    for (qsizetype i = 0, length = 1; i < name.size(); i += length) {
        const auto d = QChar::direction(codePointAt(name, i, &length));
        if (d == QChar::DirR || d == QChar::DirAL || d == QChar::DirAN) {
            rightToLeft = true;
            break;
        }
    }
    if (!rightToLeft && !present(name, Scope::Line))
        return name.toString();
    return isolated(plain(name, Scope::Line));
}

QString isolated(QStringView text)
{
    return QChar(0x2068) + text.toString() + QChar(0x2069);
}

QList<Found> find(QStringView text, Scope scope)
{
    QList<Found> found;
    qsizetype at = 0;
    scan(
        text, scope, [&](qsizetype, qsizetype to) { at = to; },
        [&](char32_t c) {
            const qsizetype length = c > 0xFFFF ? 2 : 1;
            found.append({at, length, c});
            at += length;
            return true;
        });
    return found;
}

QString markFor(char32_t character)
{
    return QLatin1String("<U+") + hex(character, 4) + u'>';
}

QString pathForText(const QString& path)
{
    if (!present(path, Scope::Line))
        return path;
    QString out = QStringLiteral("\"");
    const auto escapedUnit = [&](char16_t u) { out += QLatin1String("\\u") + hex(u, 4).toLower(); };
    scan(
        path, Scope::Line,
        [&](qsizetype from, qsizetype to) {
            for (const QChar ch : QStringView(path).sliced(from, to - from)) {
                if (ch == u'"' || ch == u'\\')
                    out += u'\\';
                out += ch;
            }
        },
        [&](char32_t c) {
            switch (c) {
            case u'\n': out += QLatin1String("\\n"); break;
            case u'\r': out += QLatin1String("\\r"); break;
            case u'\t': out += QLatin1String("\\t"); break;
            default:
                // Beyond the first plane as a surrogate pair, as JSON writes it.
                for (const char16_t u : QChar::fromUcs4(c))
                    escapedUnit(u);
                break;
            }
            return true;
        });
    return out + u'"';
}

} // namespace brinmoor::HiddenCharacters
