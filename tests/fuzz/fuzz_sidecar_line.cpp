// Sidecar output as a hostile child could write it: bytes cut into reads of input-chosen sizes,
// through a line accumulator with a small cap (so over-long lines and the resynchronisation run)
// and one with the real cap, every line decoded, and every decoded transcript turned into rows.

#include "ChatModels.h"
#include "SidecarProtocol.h"

#include <QByteArrayView>

#include <cstddef>
#include <cstdint>

namespace {

void use(const QStringList& lines)
{
    for (const QString& line : lines) {
        const auto event = brinmoor::SidecarEvent::decode(line);
        if (!event)
            continue;
        if (const auto* history = event->as<brinmoor::SidecarEvent::History>())
            (void)brinmoor::TimelineRow::build(history->messages);
        if (const auto* assistant = event->as<brinmoor::SidecarEvent::Assistant>()) {
            brinmoor::ChatMessage m;
            m.role = brinmoor::ChatRole::Assistant;
            m.blocks = assistant->blocks;
            (void)brinmoor::TimelineRow::build({m});
        }
        if (const auto* usage = event->as<brinmoor::SidecarEvent::Usage>())
            for (const auto& metric : usage->metrics)
                (void)metric.resetsLabel();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const bool quiet = [] {
        brinmoor::AgentDiagnostics::setSink([](const QString&) {});
        return true;
    }();
    (void)quiet;
    if (size < 1)
        return 0;
    // The first byte chooses the read sizes (1 to 256 bytes), so splits land everywhere.
    const size_t step = size_t(data[0]) + 1;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    brinmoor::LineAccumulator capped(64);
    brinmoor::LineAccumulator real;
    for (qsizetype at = 0; at < bytes.size(); at += qsizetype(step)) {
        const QByteArrayView read = bytes.sliced(at, std::min<qsizetype>(qsizetype(step), bytes.size() - at));
        use(capped.feed(read));
        use(real.feed(read));
    }
    return 0;
}
