// The rules by which a pane's login shell is chosen and started: the shell fallback, argument 0,
// the environment and the folder.

#include "TerminalHostShell.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMap>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pwd.h>

namespace {

QProcessEnvironment envWith(std::initializer_list<std::pair<const char*, const char*>> vars)
{
    QProcessEnvironment env;
    for (const auto& [name, value] : vars)
        env.insert(QString::fromUtf8(name), QString::fromUtf8(value));
    return env;
}

TEST(ShellLaunchRules, login_shell_falls_back_from_shell_to_password_database_to_zsh_to_sh)
{
    struct Row {
        const char* name;
        QProcessEnvironment env;
        QString passwd;
        QSet<QString> executables;
        QString expected;
    };
    const QSet<QString> everything{"/usr/bin/fish", "/bin/bash", "/bin/zsh", "/bin/sh"};
    const std::vector<Row> rows = {
        {"SHELL wins", envWith({{"SHELL", "/usr/bin/fish"}}), "/bin/bash", everything, "/usr/bin/fish"},
        {"no SHELL: password database", QProcessEnvironment(), "/bin/bash", everything, "/bin/bash"},
        {"empty SHELL counts as none", envWith({{"SHELL", ""}}), "/bin/bash", everything, "/bin/bash"},
        {"relative SHELL is unusable (no PATH search)", envWith({{"SHELL", "bash"}}), "", everything, "/bin/zsh"},
        {"SHELL that is not executable", envWith({{"SHELL", "/opt/gone/zsh"}}), "/bin/bash", everything, "/bin/bash"},
        {"neither: zsh when present", QProcessEnvironment(), "", everything, "/bin/zsh"},
        {"stale database entry", QProcessEnvironment(), "/usr/local/bin/none", {"/bin/sh", "/bin/zsh"}, "/bin/zsh"},
        {"nothing else: sh", QProcessEnvironment(), "", {"/bin/sh"}, "/bin/sh"},
        {"sh even when missing", QProcessEnvironment(), "", {}, "/bin/sh"},
    };
    for (const Row& r : rows) {
        const QString got = ShellLaunch::loginShell(r.env, r.passwd,
                                                    [&](const QString& p) { return r.executables.contains(p); });
        EXPECT_EQ(got, r.expected) << r.name;
    }
}

TEST(ShellLaunchRules, argument_zero_is_a_dash_and_the_shells_file_name)
{
    EXPECT_EQ(ShellLaunch::loginArgumentZero(QStringLiteral("/bin/zsh")), QStringLiteral("-zsh"));
    EXPECT_EQ(ShellLaunch::loginArgumentZero(QStringLiteral("/usr/local/bin/fish")), QStringLiteral("-fish"));
    EXPECT_EQ(ShellLaunch::loginArgumentZero(QStringLiteral("/opt/shells/")), QStringLiteral("-shells"));
    EXPECT_EQ(ShellLaunch::loginArgumentZero(QStringLiteral("sh")), QStringLiteral("-sh"));
}

TEST(ShellLaunchRules, environment_replaces_term_and_adds_lang_only_when_absent)
{
    const auto asMap = [](const QStringList& list) {
        QMap<QString, QString> map;
        for (const QString& e : list) {
            const qsizetype eq = e.indexOf(QLatin1Char('='));
            EXPECT_GT(eq, 0) << e.toStdString();
            EXPECT_FALSE(map.contains(e.left(eq))) << "one entry per variable";
            map.insert(e.left(eq), e.mid(eq + 1));
        }
        return map;
    };
    const auto withBoth = asMap(ShellLaunch::shellEnvironment(
        envWith({{"TERM", "dumb"}, {"LANG", "fr_FR.UTF-8"}, {"PATH", "/bin"}, {"EMPTY", ""}})));
    EXPECT_EQ(withBoth.value("TERM"), "xterm-256color");
    EXPECT_EQ(withBoth.value("LANG"), "fr_FR.UTF-8");
    EXPECT_EQ(withBoth.value("PATH"), "/bin");
    EXPECT_TRUE(withBoth.contains("EMPTY"));
    EXPECT_EQ(withBoth.size(), 4);

    const auto bare = asMap(ShellLaunch::shellEnvironment(QProcessEnvironment()));
    EXPECT_EQ(bare.value("TERM"), "xterm-256color");
    EXPECT_EQ(bare.value("LANG"), "en_US.UTF-8");
    EXPECT_EQ(bare.size(), 2);

    // An empty LANG is present, so it stays as the user set it.
    EXPECT_EQ(asMap(ShellLaunch::shellEnvironment(envWith({{"LANG", ""}}))).value("LANG"), "");
}

TEST(ShellLaunchRules, folder_expands_the_tilde_and_falls_back_to_home)
{
    QTemporaryDir root;
    const QString home = root.path() + QStringLiteral("/home");
    ASSERT_TRUE(QDir().mkpath(home + QStringLiteral("/proj/app")));
    ASSERT_TRUE(QDir().mkpath(root.path() + QStringLiteral("/other")));
    QFile file(home + QStringLiteral("/notes.txt"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();

    EXPECT_EQ(ShellLaunch::resolveDirectory(QStringLiteral("~/proj/app"), home), home + QStringLiteral("/proj/app"));
    EXPECT_EQ(ShellLaunch::resolveDirectory(QStringLiteral("~"), home), home);
    EXPECT_EQ(ShellLaunch::resolveDirectory(QStringLiteral("~/"), home), home + QStringLiteral("/"));
    EXPECT_EQ(ShellLaunch::resolveDirectory(root.path() + QStringLiteral("/other"), home),
              root.path() + QStringLiteral("/other"));
    // Missing, a plain file, empty, an unknown user: home.
    EXPECT_EQ(ShellLaunch::resolveDirectory(QStringLiteral("~/missing"), home), home);
    EXPECT_EQ(ShellLaunch::resolveDirectory(home + QStringLiteral("/notes.txt"), home), home);
    EXPECT_EQ(ShellLaunch::resolveDirectory(QString(), home), home);
    EXPECT_EQ(ShellLaunch::resolveDirectory(QStringLiteral("~no-such-user-here/x"), home), home);
    // A tilde that is not leading is part of the name.
    EXPECT_EQ(ShellLaunch::resolveDirectory(root.path() + QStringLiteral("/~"), home), home);
    // ~user names that user's home.
    if (const struct passwd* pw = ::getpwnam("root"); pw && QFileInfo(QString::fromLocal8Bit(pw->pw_dir)).isDir()) {
        EXPECT_EQ(ShellLaunch::resolveDirectory(QStringLiteral("~root"), home), QString::fromLocal8Bit(pw->pw_dir));
    }
}

} // namespace
