#pragma once

#include "ChatHost.h"
#include "TerminalHost.h"

#include <QList>
#include <QSet>
#include <QUuid>

namespace brinmoor::test {

// Runtime hosts that only keep books: which panes have a terminal view or chat session, and
// which ones the model ended, in order. Each installs itself as the shared host for its lifetime.
class RecordingTerminalHost final : public TerminalHost {
public:
    RecordingTerminalHost() { TerminalHost::install(this); }
    ~RecordingTerminalHost() override { TerminalHost::install(nullptr); }

    QSet<QUuid> views() const override { return live; }
    QSet<QUuid> delegates() const override { return live; }
    void dropView(const QUuid& id) override
    {
        if (live.remove(id))
            dropped.append(id);
    }

    QSet<QUuid> live;
    QList<QUuid> dropped;
};

class RecordingChatHost final : public ChatHost {
public:
    RecordingChatHost() { ChatHost::install(this); }
    ~RecordingChatHost() override { ChatHost::install(nullptr); }

    QSet<QUuid> sessions() const override { return live; }
    void stopSession(const QUuid& id) override
    {
        if (live.remove(id))
            stopped.append(id);
    }
    void dropPane(const QUuid& id) override { droppedPanes.append(id); }

    QSet<QUuid> live;
    QList<QUuid> stopped;
    QList<QUuid> droppedPanes;  // panes gone for good, whose kept draft goes too
};

} // namespace brinmoor::test
