#include "LaunchTask.h"

#include "AppModel.h"
#include "UpdateChecker.h"
#include "UsageService.h"

namespace brinmoor {

void LaunchTask::run(const LaunchServices& services)
{
    if (services.startUsage)
        services.startUsage();
    if (services.startUpdater)
        services.startUpdater();
    // A second detection would only repeat the login-shell probe: skip it once a result exists.
    const bool known = services.codexKnown && services.codexKnown();
    if (!known && services.detectCodex)
        services.detectCodex();
}

LaunchServices LaunchTask::liveServices(AppModel& model)
{
    AppModel* m = &model;
    return LaunchServices{
        [] { UsageService::shared().start(); },
        [] { UpdateChecker::shared().start(); },
        [m] { return m->codex().has_value(); },
        [m] {
            // A window shown again while the first probe still runs does not start a second one.
            static bool inFlight = false;
            if (inFlight)
                return;
            inFlight = true;
            m->detectCodex([] { inFlight = false; });
        },
    };
}

void LaunchTask::runNow() const
{
    run(liveServices(*AppModel::instance()));
}

} // namespace brinmoor
