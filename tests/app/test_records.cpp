// Shared records: raw values, UUID text, drop targets, sheets and the project colour registry.

#include "Models.h"
#include "ProjectColorRegistry.h"
#include "support/TestEnvironment.h"

#include <QSet>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

using namespace brinmoor;

BRINMOOR_APP_TEST_ENVIRONMENT();

TEST(Records, raw_values_round_trip_and_unknown_texts_give_none)
{
    const QStringList states = {"running", "idle", "awaiting", "error", "stopped"};
    ASSERT_EQ(allPaneStates().size(), 5);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(rawValue(allPaneStates()[i]), states[i]);
        EXPECT_EQ(paneStateFromRaw(states[i]), allPaneStates()[i]);
    }
    EXPECT_FALSE(paneStateFromRaw(QStringLiteral("Running")));
    EXPECT_FALSE(paneStateFromRaw(QString()));
    EXPECT_EQ(paneKindFromRaw(QStringLiteral("chat")), PaneKind::Chat);
    EXPECT_FALSE(paneKindFromRaw(QStringLiteral("Chat")));
    EXPECT_EQ(chatProviderFromRaw(QStringLiteral("codex")), ChatProvider::Codex);
    EXPECT_FALSE(chatProviderFromRaw(QStringLiteral("gpt")));
    EXPECT_EQ(themePreferenceFromRaw(QStringLiteral("system")), ThemePreference::System);
    EXPECT_EQ(rawValue(ThemePreference::Light), QStringLiteral("light"));
}

TEST(Records, uuid_text_is_upper_case_without_braces_and_parsing_is_strict)
{
    const QUuid id = QUuid::fromString(QStringLiteral("{0b0c7a52-6f1e-4a43-9c1d-2f8e6a7b9c01}"));
    EXPECT_EQ(uuidText(id), QStringLiteral("0B0C7A52-6F1E-4A43-9C1D-2F8E6A7B9C01"));
    EXPECT_EQ(uuidFromText(QStringLiteral("0b0c7a52-6f1e-4a43-9c1d-2f8e6a7b9c01")), id);
    for (const char* bad : {"{0b0c7a52-6f1e-4a43-9c1d-2f8e6a7b9c01}", "0b0c7a526f1e4a439c1d2f8e6a7b9c01",
                            "0b0c7a52-6f1e-4a43-9c1d-2f8e6a7b9c0g", "0b0c7a52_6f1e-4a43-9c1d-2f8e6a7b9c01", "", "x"})
        EXPECT_FALSE(uuidFromText(QString::fromLatin1(bad))) << bad;
}

TEST(Records, drop_targets_and_sheets_compare_by_case_and_payload)
{
    const QUuid x = QUuid::createUuid(), y = QUuid::createUuid();
    EXPECT_EQ(DropTarget::swap(x), DropTarget::swap(x));
    EXPECT_NE(DropTarget::swap(x), DropTarget::swap(y));
    EXPECT_NE(DropTarget::side(true), DropTarget::side(false));
    EXPECT_NE(DropTarget::side(true), DropTarget::swap(x));
    EXPECT_NE(DropTarget::side(false), DropTarget::swap(QUuid()));
    EXPECT_EQ(sheetIdentity(ActiveSheet::AddSession), sheetIdentity(ActiveSheet::AddSession));
    EXPECT_NE(sheetIdentity(ActiveSheet::AddSession), sheetIdentity(ActiveSheet::NewWorkspace));
    EXPECT_EQ(sheetFromName(QStringLiteral("addSession")), ActiveSheet::AddSession);
    EXPECT_FALSE(sheetFromName(QStringLiteral("AddSession")));
}

TEST(ProjectColors, positions_follow_first_sight_without_path_normalisation)
{
    ProjectColorRegistry& r = ProjectColorRegistry::shared();
    const QString tag = QUuid::createUuid().toString();
    const int tilde = r.index(QStringLiteral("~/") + tag);
    const int absolute = r.index(QStringLiteral("/home/me/") + tag);
    EXPECT_EQ(absolute, tilde + 1);
    EXPECT_EQ(r.index(QStringLiteral("~/") + tag), tilde);
    EXPECT_EQ(r.order().at(tilde), QStringLiteral("~/") + tag);
}

TEST(ProjectColors, concurrent_first_use_gives_each_folder_one_position)
{
    ProjectColorRegistry& r = ProjectColorRegistry::shared();
    const QString tag = QUuid::createUuid().toString();
    std::vector<std::thread> threads;
    std::vector<std::vector<int>> seen(4);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i)
                seen[t].push_back(r.index(tag + QString::number(i % 50)));
        });
    for (auto& th : threads)
        th.join();
    for (int i = 0; i < 200; ++i)
        for (int t = 1; t < 4; ++t)
            EXPECT_EQ(seen[t][i], seen[0][i]);
    QSet<int> distinct(seen[0].begin(), seen[0].end());
    EXPECT_EQ(distinct.size(), 50);
}
