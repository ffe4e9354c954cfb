// Device attributes, status reports, mode and setting reports, window operations and title
// stacks. Replies are compared byte for byte.
#include "support/CommandTestHarness.h"

#include <gtest/gtest.h>

using namespace termcore;
using cmdtest::Harness;
using cmdtest::reply;
using cmdtest::readable;

TEST(DeviceAttributes, primary_and_secondary)
{
    Harness h;
    EXPECT_EQ(reply(h, "\x1b[c"), "\x1b[?65;1;2;6;21;22;17;28c");
    EXPECT_EQ(reply(h, "\x1b[0c"), "\x1b[?65;1;2;6;21;22;17;28c");
    EXPECT_EQ(reply(h, "\x1b[1c"), "");
    EXPECT_EQ(reply(h, "\x1b[>c"), "\x1b[>65;20;1c");
    EXPECT_EQ(reply(h, "\x1b[>0c"), "\x1b[>65;20;1c");
    EXPECT_EQ(reply(h, "\x1b[=c"), "");
    h.t().options.enableSixelReported = true;
    EXPECT_EQ(reply(h, "\x1b[c"), "\x1b[?65;4;1;2;6;21;22;17;28c");
    h.t().options.termName = "linux";
    EXPECT_EQ(reply(h, "\x1b[c"), "\x1b[?6c");
    h.t().options.termName = "screen-256color";
    EXPECT_EQ(reply(h, "\x1b[c"), "\x1b[?1;2c");
    h.t().options.termName = "rxvt-unicode";
    EXPECT_EQ(reply(h, "\x1b[c"), "\x1b[?1;2c");
    h.t().options.termName = "vt100";
    EXPECT_EQ(reply(h, "\x1b[c"), "");
    EXPECT_EQ(reply(h, "\x1b[>c"), "\x1b[>65;20;1c"); // whatever the name
}

TEST(DeviceStatus, ok_and_cursor_position_with_origin_mode)
{
    Harness h;
    EXPECT_EQ(reply(h, "\x1b[5n"), "\x1b[0n");
    EXPECT_EQ(reply(h, "\x1b[7;12H\x1b[6n"), "\x1b[7;12R");
    EXPECT_EQ(reply(h, "\x1b[?6n"), "\x1b[?7;12;1R");
    EXPECT_EQ(reply(h, "\x1b[5;10r\x1b[?6h\x1b[H\x1b[6n"), "\x1b[1;1R");
    EXPECT_EQ(reply(h, "\x1b[?6n"), "\x1b[?1;1;1R");
    // column relative to the left margin only when margin mode is on too
    EXPECT_EQ(reply(h, "\x1b[?69h\x1b[5;20s\x1b[1;3H\x1b[?6n"), "\x1b[?1;3;1R");
    EXPECT_EQ(reply(h, "\x1b[6n"), "\x1b[1;3R");
    EXPECT_EQ(reply(h, "\x1b[4n\x1b[7n\x1b[>6n"), "");
}

TEST(DeviceStatus, dec_private_table)
{
    Harness h;
    EXPECT_EQ(reply(h, "\x1b[?15n"), "\x1b[?10n");
    EXPECT_EQ(reply(h, "\x1b[?25n"), "\x1b[?21n");
    EXPECT_EQ(reply(h, "\x1b[?26n"), "\x1b[?27;1;0;0n");
    EXPECT_EQ(reply(h, "\x1b[?55n"), "\x1b[?53n");
    EXPECT_EQ(reply(h, "\x1b[?56n"), "\x1b[?57;1n");
    EXPECT_EQ(reply(h, "\x1b[?62n"), "\x1b[0*{");
    EXPECT_EQ(reply(h, "\x1b[?63;7n"), "\x1bP7!~0000\x1b\\");
    EXPECT_EQ(reply(h, "\x1b[?63n"), "\x1bP0!~0000\x1b\\");
    EXPECT_EQ(reply(h, "\x1b[?75n"), "\x1b[?70n");
    EXPECT_EQ(reply(h, "\x1b[?85n"), "\x1b[?83n");
    EXPECT_EQ(reply(h, "\x1b[?5n\x1b[?99n"), "");
}

TEST(Replies, eight_bit_controls_follow_send8bit)
{
    Harness h;
    h.feed("\x1b G");
    EXPECT_EQ(readable(reply(h, "\x1b[5n")), "\\x9b0n");
    EXPECT_EQ(readable(reply(h, "\x1b[?63;2n")), "\\x902!~0000\\x9c");
    EXPECT_EQ(readable(reply(h, "\x1b[21t")), "\\x9dl\\x9c");
    EXPECT_EQ(readable(reply(h, "\x1bP$qm\x1b\\")), "\\x901$r0m\\x9c");
    h.feed("\x1b F");
    EXPECT_EQ(reply(h, "\x1b[5n"), "\x1b[0n");
}

TEST(ModeReport, ansi_modes)
{
    Harness h;
    EXPECT_EQ(reply(h, "\x1b[1$p"), "\x1b[1;4$y");
    EXPECT_EQ(reply(h, "\x1b[2$p\x1b[3$p"), "\x1b[2;2$y\x1b[3;2$y");
    EXPECT_EQ(reply(h, "\x1b[4$p"), "\x1b[4;2$y");
    EXPECT_EQ(reply(h, "\x1b[4h\x1b[4$p"), "\x1b[4;1$y");
    EXPECT_EQ(reply(h, "\x1b[12$p\x1b[18$p"), "\x1b[12;1$y\x1b[18;4$y");
    EXPECT_EQ(reply(h, "\x1b[20$p"), "\x1b[20;2$y");
    EXPECT_EQ(reply(h, "\x1b[20h\x1b[20$p"), "\x1b[20;1$y");
    EXPECT_EQ(reply(h, "\x1b[6$p\x1b[21$p\x1b[$p"), "\x1b[6;0$y\x1b[21;0$y\x1b[0;0$y");
}

TEST(ModeReport, dec_modes)
{
    Harness h;
    EXPECT_EQ(reply(h, "\x1b[?2004$p"), "\x1b[?2004;2$y");
    EXPECT_EQ(reply(h, "\x1b[?2004h\x1b[?2004$p"), "\x1b[?2004;1$y");
    // The alternate screen's modes answer whether it is shown, whichever of them switched it.
    EXPECT_EQ(reply(h, "\x1b[?1049$p\x1b[?1047$p\x1b[?1048$p"), "\x1b[?1049;2$y\x1b[?1047;2$y\x1b[?1048;0$y");
    EXPECT_EQ(reply(h, "\x1b[?1049h\x1b[?1049$p\x1b[?1047$p"), "\x1b[?1049;1$y\x1b[?1047;1$y");
    EXPECT_EQ(reply(h, "\x1b[?1049l\x1b[?1047h\x1b[?1049$p"), "\x1b[?1049;1$y");
    EXPECT_EQ(reply(h, "\x1b[?1047l\x1b[?1049$p"), "\x1b[?1049;2$y");
    EXPECT_EQ(reply(h, "\x1b[?7$p\x1b[?25$p"), "\x1b[?7;1$y\x1b[?25;1$y");
    EXPECT_EQ(reply(h, "\x1b[?25l\x1b[?25$p"), "\x1b[?25;2$y");
    EXPECT_EQ(reply(h, "\x1b[?2$p\x1b[?95$p"), "\x1b[?2;1$y\x1b[?95;4$y");
    EXPECT_EQ(reply(h, "\x1b[?10$p\x1b[?1034$p"), "\x1b[?10;4$y\x1b[?1034;4$y");
    EXPECT_EQ(reply(h, "\x1b[?13$p\x1b[?1001$p"), "\x1b[?13;2$y\x1b[?1001;2$y");
    EXPECT_EQ(reply(h, "\x1b[?3$p"), "\x1b[?3;2$y");
    EXPECT_EQ(reply(h, "\x1b[?47$p\x1b[?47h\x1b[?47$p"), "\x1b[?47;2$y\x1b[?47;1$y");
    EXPECT_EQ(reply(h, "\x1b[?1000h\x1b[?1000$p\x1b[?1003$p"), "\x1b[?1000;1$y\x1b[?1003;2$y");
    EXPECT_EQ(reply(h, "\x1b[?1006h\x1b[?1006$p\x1b[?1005$p"), "\x1b[?1006;1$y\x1b[?1005;2$y");
    EXPECT_EQ(reply(h, "\x1b[?5h\x1b[?5$p\x1b[?5l\x1b[?5$p"), "\x1b[?5;1$y\x1b[?5;2$y");
    EXPECT_EQ(reply(h, "\x1b[?40$p\x1b[?9999$p"), "\x1b[?40;1$y\x1b[?9999;0$y");
    // An empty list (reachable only from code) answers ";0$y"
    h.del.takeSent();
    h.t().cmdDecRqm({}, true);
    EXPECT_EQ(h.del.takeSent(), "\x1b[?;0$y");
}

TEST(FocusReport, sent_only_while_the_program_asks_and_in_its_control_form)
{
    Harness h;
    h.t().sendFocusReport(true);
    EXPECT_EQ(h.del.takeSent(), "");
    EXPECT_EQ(reply(h, "\x1b[?1004h\x1b[?1004$p"), "\x1b[?1004;1$y");
    h.t().sendFocusReport(false);
    h.t().sendFocusReport(true);
    EXPECT_EQ(h.del.takeSent(), "\x1b[O\x1b[I");
    h.feed("\x1b G");
    h.t().sendFocusReport(false);
    EXPECT_EQ(readable(h.del.takeSent()), "\\x9bO");
    h.feed("\x1b F\x1b[?1004l");
    h.t().sendFocusReport(true);
    EXPECT_EQ(h.del.takeSent(), "");
}

TEST(SettingReport, decrqss_requests)
{
    Harness h(80, 24);
    EXPECT_EQ(reply(h, "\x1bP$qr\x1b\\"), "\x1bP1$r1;24r\x1b\\");
    EXPECT_EQ(reply(h, "\x1b[3;9r\x1bP$qr\x1b\\"), "\x1bP1$r3;9r\x1b\\");
    EXPECT_EQ(reply(h, "\x1b[1;31;48;5;200m\x1bP$qm\x1b\\"), "\x1bP1$r0;1;31;48;5;200m\x1b\\");
    EXPECT_EQ(reply(h, "\x1b[?69h\x1b[5;40s\x1bP$qs\x1b\\"), "\x1bP1$r5;40s\x1b\\");
    EXPECT_EQ(reply(h, "\x1bP$q q\x1b\\"), "\x1bP1$r1 q\x1b\\");
    EXPECT_EQ(reply(h, "\x1b[6 q\x1bP$q q\x1b\\"), "\x1bP1$r6 q\x1b\\"); // the shape in force
    EXPECT_EQ(reply(h, "\x1bP$q\"q\x1b\\"), "\x1bP1$r\"q\x1b\\");
    EXPECT_EQ(reply(h, "\x1b[62\"p\x1bP$q\"p\x1b\\"), "\x1bP1$r65;1\"p\x1b\\");
    EXPECT_EQ(reply(h, "\x1bP$qx\x1b\\"), "\x1bP0$r\x1b\\");
    EXPECT_EQ(reply(h, "\x1bP$q\xff\xfe\x1b\\"), "\x1bP0$r\x1b\\");
    // split across feeds
    h.del.takeSent();
    h.feed("\x1bP$");
    h.feed("q");
    h.feed("r\x1b");
    h.feed("\\");
    EXPECT_EQ(h.del.takeSent(), "\x1bP1$r3;9r\x1b\\");
}

TEST(WindowOps, size_reports_fall_back_when_the_host_answers_nothing)
{
    Harness h(80, 24);
    EXPECT_EQ(reply(h, "\x1b[18t"), "\x1b[8;24;80t");
    EXPECT_EQ(reply(h, "\x1b[19t"), "\x1b[9;24;80t");
    EXPECT_EQ(reply(h, "\x1b[15t"), "\x1b[5;768;1024t");
    EXPECT_EQ(reply(h, "\x1b[16t"), "\x1b[6;16;10t");
    EXPECT_EQ(reply(h, "\x1b[20t"), "\x1b]L\x1b\\");
    EXPECT_EQ(reply(h, "\x1b[21t"), "\x1b]l\x1b\\");
    h.del.windowReply = std::vector<uint8_t>{'h', 'i'};
    EXPECT_EQ(reply(h, "\x1b[18t"), "hi");
    ASSERT_FALSE(h.del.windowCommands.empty());
    EXPECT_EQ(h.del.windowCommands.back().kind, WindowManipulationCommand::Kind::reportTextAreaCharacters);
}

TEST(WindowOps, forwarded_commands_carry_their_values)
{
    Harness h;
    using K = WindowManipulationCommand::Kind;
    h.feed("\x1b[3;10;20t\x1b[4;300;400t\x1b[8;30;100t\x1b[9;1t\x1b[10;2t\x1b[1t\x1b[2t\x1b[5t\x1b[6t\x1b[7t");
    const std::vector<WindowManipulationCommand> want = {
        {K::moveWindowTo, 10, 20},  {K::resizeWindowTo, 400, 300}, {K::resizeTo, 100, 30},
        {K::maximizeWindow, 0, 0},  {K::toggleFullScreen, 0, 0},   {K::deiconifyWindow, 0, 0},
        {K::iconifyWindow, 0, 0},   {K::bringToFront, 0, 0},       {K::sendToBack, 0, 0},
        {K::refreshWindow, 0, 0}};
    EXPECT_EQ(h.del.windowCommands, want);
    EXPECT_TRUE(h.del.sent.empty());
    h.del.windowCommands.clear();
    h.t().silentLog = false;
    Diagnostics::Capture out;
    h.feed("\x1b[3;1t\x1b[9t\x1b[22t\x1b[t\x1b[11t");
    EXPECT_TRUE(h.del.windowCommands.empty());
    EXPECT_EQ(out.lines(), (std::vector<std::string>{"Info: Unhandled Window command: [3, 1]",
                                                     "Info: Unhandled Window command: [9]",
                                                     "Info: Unhandled Window command: [22]",
                                                     "Info: Unhandled Window command: [0]",
                                                     "Info: Unhandled Window command: [11]"}));
}

TEST(TitleStack, push_pop_and_bounds)
{
    Harness h;
    h.feed("\x1b]2;first\x07\x1b[22;2t\x1b]2;second\x07");
    h.del.takeCalls();
    h.feed("\x1b[23;2t");
    EXPECT_EQ(h.t().terminalTitle, "first");
    EXPECT_EQ(h.del.takeCalls(), std::vector<std::string>{"title:first"});
    h.feed("\x1b[23;1t\x1b[23;2t"); // empty stacks: nothing
    EXPECT_TRUE(h.del.takeCalls().empty());
    h.feed("\x1b]1;icon\x07\x1b]2;win\x07\x1b[22;0;0t\x1b]0;other\x07");
    h.del.takeCalls();
    h.feed("\x1b[23;0t");
    EXPECT_EQ(h.del.takeCalls(), (std::vector<std::string>{"title:win", "icon:icon"}));
    for (int i = 0; i < 50; i++)
        h.feed("\x1b]2;t" + std::to_string(i) + "\x07\x1b[22;2t");
    EXPECT_EQ(h.t().terminalTitleStack.size(), 10u);
    EXPECT_EQ(h.t().terminalTitleStack.front(), "t40");
    EXPECT_EQ(h.t().terminalTitleStack.back(), "t49");
}

TEST(TitleStack, without_a_delegate_window_commands_do_nothing)
{
    Harness h(80, 24, 100, false);
    h.feed("\x1b]2;x\x07\x1b[22;0t\x1b[18t");
    EXPECT_TRUE(h.t().terminalTitleStack.empty());
    EXPECT_TRUE(h.t().terminalIconStack.empty());
}
