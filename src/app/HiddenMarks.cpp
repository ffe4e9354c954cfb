#include "HiddenMarks.h"

#include "HiddenCharacters.h"

namespace brinmoor {

using namespace HiddenCharacters;

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

QString HiddenMarks::editedName(const QString& edited, const QString& original)
{
    if (edited == plainName(original))
        return original;
    return fromPlain(edited);
}

} // namespace brinmoor
