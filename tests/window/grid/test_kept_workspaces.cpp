// The workspaces whose grids the main window keeps: the selected one and those shown just before
// it, at most `capacity`; rows stay in place across switches (only `current` changes) and leave
// when their workspace is deleted or is the one shown longest ago.

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTemporaryDir>

#include "AppModel.h"
#include "KeptWorkspaces.h"
#include "Store.h"
#include "support/OffscreenApp.h"
#include "support/QtTestSupport.h"

using namespace brinmoor;

namespace {

class Kept : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::offscreenApp("window_kept_workspaces");
        ASSERT_TRUE(dir.isValid());
        test::useSandboxHome(dir.path());
        Store::Snapshot snap;
        for (int i = 0; i < 6; ++i) {
            Workspace ws;
            ws.id = QUuid::createUuid();
            ws.name = QStringLiteral("w%1").arg(i);
            snap.workspaces << ws;
            ids << uuidText(ws.id);
        }
        snap.selected = snap.workspaces.first().id;
        ASSERT_TRUE(Store(false).save(snap));
        model = std::make_unique<AppModel>(nullptr);
        kept.setAppModel(model.get());
    }

    QStringList rows() const
    {
        QStringList out;
        for (int i = 0; i < kept.count(); ++i)
            out << kept.list()->index(i).data(KeptWorkspaceList::WorkspaceIDRole).toString();
        return out;
    }
    QString current() const
    {
        for (int i = 0; i < kept.count(); ++i)
            if (kept.list()->index(i).data(KeptWorkspaceList::CurrentRole).toBool())
                return kept.list()->index(i).data(KeptWorkspaceList::WorkspaceIDRole).toString();
        return {};
    }

    QTemporaryDir dir;
    std::unique_ptr<AppModel> model;
    KeptWorkspaces kept;
    QStringList ids;
};

} // namespace

TEST_F(Kept, switching_between_kept_workspaces_moves_no_row)
{
    EXPECT_EQ(rows(), QStringList{ids[0]});
    model->selectWorkspace(ids[1]);
    model->selectWorkspace(ids[2]);
    ASSERT_EQ(rows(), (QStringList{ids[0], ids[1], ids[2]}));

    QSignalSpy inserted(kept.list(), &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(kept.list(), &QAbstractItemModel::rowsRemoved);
    QSignalSpy changed(kept.list(), &QAbstractItemModel::dataChanged);
    model->selectWorkspace(ids[0]);
    model->selectWorkspace(ids[1]);
    EXPECT_EQ(inserted.count() + removed.count(), 0);
    EXPECT_EQ(changed.count(), 4) << "the old and the new current row, per switch";
    EXPECT_EQ(current(), ids[1]);
    EXPECT_EQ(kept.recency(), (QStringList{ids[1], ids[0], ids[2]}));
}

TEST_F(Kept, the_workspace_shown_longest_ago_leaves_beyond_the_capacity)
{
    for (int i = 1; i < 6; ++i)
        model->selectWorkspace(ids[i]);
    EXPECT_EQ(kept.count(), KeptWorkspaces::kDefaultCapacity);
    EXPECT_EQ(kept.recency(), (QStringList{ids[5], ids[4], ids[3], ids[2]}));
    EXPECT_EQ(rows(), (QStringList{ids[2], ids[3], ids[4], ids[5]}));

    kept.setCapacity(2);
    EXPECT_EQ(rows(), (QStringList{ids[4], ids[5]}));
    kept.setCapacity(0);
    EXPECT_EQ(kept.capacity(), 1) << "the shown workspace is always kept";
    EXPECT_EQ(rows(), QStringList{ids[5]});
}

TEST_F(Kept, a_deleted_workspace_leaves_at_once_and_no_selection_keeps_the_others)
{
    model->selectWorkspace(ids[1]);
    model->selectWorkspace(ids[2]);
    model->deleteWorkspace(ids[1]);
    EXPECT_EQ(rows(), (QStringList{ids[0], ids[2]}));
    EXPECT_FALSE(kept.recency().contains(ids[1]));

    // The shown workspace deleted: whatever the model selects next is current; nothing selected
    // leaves no row current and keeps the rest.
    const int before = kept.count();
    model->deleteWorkspace(ids[2]);
    EXPECT_LE(kept.count(), before);
    EXPECT_FALSE(rows().contains(ids[2]));
    for (const QString& id : ids.mid(3))
        model->deleteWorkspace(id);
    model->deleteWorkspace(ids[0]);
    EXPECT_TRUE(rows().isEmpty());
    EXPECT_EQ(current(), QString());
}
