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

QString HiddenMarks::editedName(const QString& edited, const QString& original)
{
    if (edited == plainName(original))
        return original;
    return fromPlain(edited);
}

} // namespace brinmoor
