#include "HiddenMarks.h"

#include "HiddenCharacters.h"

#include <algorithm>

namespace brinmoor {

using namespace HiddenCharacters;

namespace {

// `words` with each "%N" (N from 1 to 9) replaced by what `put` gives for the N-th name and the
// words between escaped by `escape`, in one pass: a name holding "%2" is never read as a place.
template <class Escape, class Put>
QString filled(QStringView words, Escape escape, Put put)
{
    QString out;
    qsizetype copied = 0;
    for (qsizetype at = words.indexOf(u'%'); at >= 0 && at + 1 < words.size(); at = words.indexOf(u'%', at + 1)) {
        const QChar digit = words[at + 1];
        if (digit < u'1' || digit > u'9')
            continue;
        out += escape(words.sliced(copied, at - copied));
        out += put(digit.unicode() - u'1');
        copied = at + 2;
        at = copied - 1;
    }
    return out + escape(words.sliced(copied));
}

} // namespace

QString HiddenMarks::name(const QString& text)
{
    return present(text, Scope::Line) ? markup(text, Scope::Line, Markup::Styled) : QString();
}

QString HiddenMarks::plainName(const QString& text)
{
    return present(text, Scope::Line) ? plain(text, Scope::Line) : text;
}

QString HiddenMarks::inSentence(const QString& name)
{
    return HiddenCharacters::inSentence(name);
}

QString HiddenMarks::sentence(const QString& words, const QString& name)
{
    const qsizetype at = words.indexOf(QLatin1String("%1"));
    // The app's own words hold no runs of spaces: escaped as they are.
    const auto escaped = [](QStringView text) { return markup(text, Scope::Text, Markup::Rich); };
    if (at < 0)
        return escaped(words);
    QString shown = markup(name, Scope::Line, Markup::Styled);
    // Isolated as in the plain sentence.
    if (const QString plainName = HiddenCharacters::inSentence(name); plainName != name)
        shown = plainName.front() + shown + plainName.back();
    return escaped(QStringView(words).first(at)) + shown + escaped(QStringView(words).sliced(at + 2));
}

QString HiddenMarks::plainSentence(const QString& words, const QStringList& names)
{
    return filled(
        words, [](QStringView text) { return text.toString(); },
        [&](qsizetype n) { return HiddenCharacters::inSentence(names.value(n)); });
}

QString HiddenMarks::markedSentence(const QString& words, const QStringList& names)
{
    if (std::none_of(names.begin(), names.end(), [](const QString& name) { return present(name, Scope::Line); }))
        return QString();
    return filled(
        words, [](QStringView text) { return markup(text, Scope::Text, Markup::Rich); },
        [&](qsizetype n) {
            const QString name = names.value(n);
            const QString shown = markup(name, Scope::Line, Markup::Styled);
            // Isolated as in the plain sentence.
            const QString plainName = HiddenCharacters::inSentence(name);
            return plainName != name ? plainName.front() + shown + plainName.back() : shown;
        });
}

QString HiddenMarks::editedName(const QString& edited, const QString& original)
{
    if (edited == plainName(original))
        return original;
    return fromPlain(edited);
}

} // namespace brinmoor
