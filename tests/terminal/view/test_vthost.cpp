// The headless vthost tool against real programs: a coloured printf with tput, and vttest
// driven through its first menu by scripted keys.
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

#include <gtest/gtest.h>

namespace {

struct HostRun {
    int exitCode = -1;
    QString out;
};

HostRun vthost(const QStringList& args, int timeoutMs = 60000)
{
    QProcess p;
    p.setProgram(QStringLiteral(BRINMOOR_BINARY_DIR "/tests/tools/vthost"));
    p.setArguments(args);
    p.start();
    HostRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.exitCode = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    return r;
}

QStringList lines(const QString& s)
{
    QStringList l = s.split('\n');
    if (!l.isEmpty() && l.last().isEmpty())
        l.removeLast();
    return l;
}

} // namespace

TEST(Vthost, prints_the_screen_after_a_program_exits)
{
    // vtdump's layout: a header, numbered rows, the cursor.
    const HostRun r = vthost({"--", "bash", "-c", "printf '\\e[31mred\\e[0m\\n'; tput cols"});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    const QStringList l = lines(r.out);
    ASSERT_EQ(l.size(), 26);
    EXPECT_EQ(l[0], "screen 80x24");
    EXPECT_EQ(l[1], "  0|red");
    EXPECT_EQ(l[2], "  1|80");
    EXPECT_EQ(l[3], "  2|");
    EXPECT_EQ(l[25], "cursor col 0 row 2");

    // The plain form: just the rows.
    const HostRun p = vthost({"--plain", "--cursor", "--", "bash", "-c", "printf '\\e[31mred\\e[0m\\n'; tput cols"});
    const QStringList pl = lines(p.out);
    ASSERT_EQ(pl.size(), 25);
    EXPECT_EQ(pl[0], "red");
    EXPECT_EQ(pl[1], "80");
    EXPECT_EQ(pl[24], "cursor: 0,2");

    // The size reaches the program; its exit status is vthost's.
    const HostRun sized = vthost({"--plain", "--cols", "100", "--rows", "7", "--", "sh", "-c", "stty size; exit 4"});
    EXPECT_EQ(sized.exitCode, 4);
    EXPECT_EQ(lines(sized.out).value(0), "7 100");
}

TEST(Vthost, answers_queries_and_times_out_on_a_silent_program)
{
    // The cursor-position report comes back to the program through the pseudo-terminal.
    const HostRun r = vthost({"--", "bash", "-c", "printf '\\e[3;5H\\e[6n'; IFS= read -rsd R reply; printf '\\rgot %q\\n' \"$reply\""});
    ASSERT_EQ(r.exitCode, 0) << r.out.toStdString();
    EXPECT_TRUE(r.out.contains("got $'\\E[3;5'")) << r.out.toStdString();

    const HostRun silent = vthost({"--timeout", "0.5", "--", "sleep", "30"});
    EXPECT_EQ(silent.exitCode, 124);
}

TEST(Vthost, drives_vttest_through_its_cursor_tests)
{
    if (QStandardPaths::findExecutable("vttest").isEmpty())
        GTEST_SKIP() << "vttest is not installed (apt-get install vttest)";
    const HostRun menu = vthost({"--timeout", "30", "--until", "Enter choice number (0 - 12):", "--", "vttest"});
    EXPECT_EQ(menu.exitCode, 0);
    EXPECT_TRUE(menu.out.contains("Enter choice number (0 - 12):")) << menu.out.toStdString();

    // Menu 1 (cursor movements): the first screen draws a frame of E's inside a border.
    const HostRun first = vthost({"--plain", "--timeout", "30", "--send-when", "Enter choice number (0 - 12):=1\\r",
                                  "--until", "Push <RETURN>", "--", "vttest"});
    EXPECT_EQ(first.exitCode, 0);
    const QStringList l = lines(first.out);
    ASSERT_GE(l.size(), 24);
    EXPECT_EQ(l[0], QString(80, '*'));
    EXPECT_EQ(l[1], "*" + QString(78, '+') + "*");
    EXPECT_TRUE(first.out.contains("EEEEEEEEEEEEEEEEEEEE"));
    EXPECT_TRUE(first.out.contains("Push <RETURN>"));

    // Through all six screens and back out: no crash, no hang, a clean exit.
    const HostRun all = vthost({"--timeout", "30", "--send-when", "Enter choice number (0 - 12):=1\\r",
                            "--send", "700:\\r", "--send", "700:\\r", "--send", "700:\\r", "--send", "700:\\r",
                            "--send", "700:\\r", "--send", "700:\\r", "--send-when", "Enter choice number=0\\r",
                            "--", "vttest"});
    EXPECT_EQ(all.exitCode, 0) << all.out.toStdString();
}
