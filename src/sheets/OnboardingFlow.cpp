#include "OnboardingFlow.h"

#include "AppModel.h"
#include "SheetLogic.h"

#include <QStringList>

#include <algorithm>

namespace brinmoor {

OnboardingFlow::OnboardingFlow(QObject* parent) : QObject(parent) {}

OnboardingFlow::OnboardingFlow(AppModel* model, QObject* parent) : QObject(parent), m_model(model) {}

AppModel* OnboardingFlow::model() const
{
    return m_model ? m_model.data() : AppModel::instance();
}

void OnboardingFlow::setTotal(int total)
{
    // Four captions exist; the step never leaves them.
    total = std::clamp(total, 1, 4);
    if (total == m_total)
        return;
    m_total = total;
    emit totalChanged();
    if (m_step > m_total - 1)
        setStep(m_total - 1);
}

void OnboardingFlow::setWsName(const QString& name)
{
    if (name == m_wsName)
        return;
    tellingCanAdvance([&] {
        m_wsName = name;
        emit wsNameChanged();
    });
}

void OnboardingFlow::setStep(int step)
{
    if (step == m_step)
        return;
    tellingCanAdvance([&] {
        m_step = step;
        emit stepChanged();
    });
}

void OnboardingFlow::tellingCanAdvance(const std::function<void()>& change)
{
    const bool could = canAdvance();
    change();
    if (could != canAdvance())
        emit canAdvanceChanged();
}

bool OnboardingFlow::canAdvance() const
{
    return m_step != nameStep || !SheetLogic::trimPlainSpacesAndTabs(m_wsName).isEmpty();
}

QString OnboardingFlow::stepLabel() const
{
    static const QStringList labels{QStringLiteral("Welcome"), QStringLiteral("Connect agents"),
                                    QStringLiteral("First workspace"), QStringLiteral("Tip · optional")};
    return labels.value(m_step);
}

QString OnboardingFlow::footerTitle() const
{
    if (m_step == 0)
        return QStringLiteral("Get started");
    if (m_step == 1 || m_step == 2)
        return QStringLiteral("Continue");
    return QStringLiteral("Create & open Brinmoor");
}

void OnboardingFlow::advance()
{
    if (!canAdvance())
        return;
    if (m_step < m_total - 1)
        setStep(m_step + 1);
    else
        commitAndFinish();
}

void OnboardingFlow::back()
{
    setStep(std::max(m_step - 1, 0));
}

void OnboardingFlow::commitAndFinish()
{
    AppModel* m = model();
    if (!m)
        return;
    m->addWorkspace(SheetLogic::trimPlainSpacesAndTabs(m_wsName), QString::fromLatin1(firstColor));
    m->finishOnboarding();
}

void OnboardingFlow::skip()
{
    if (AppModel* m = model())
        m->finishOnboarding();
}

void OnboardingFlow::detectUnknownTools()
{
    QPointer<AppModel> m = model();
    if (!m)
        return;
    if (!m->claude())
        m->detectClaude();
    if (!m->codex())
        m->detectCodex();
}

} // namespace brinmoor
