// vthost: runs a program on a pseudo-terminal through the engine, headless.
//
//   vthost [--cols N] [--rows N] [--timeout SECONDS] [--send [DELAY_MS:]KEYS]... [--send-when TEXT=KEYS]...
//          [--answer TEXT=KEYS]... [--until TEXT] [--plain] [--cursor] [--all] -- program [args...]
//
// The program's output goes through a Terminal with no view; the terminal's replies (device
// attributes, cursor reports, colour queries) go back to the program, so full-screen programs
// run as they would in the application. Keys are sent in order: each --send waits DELAY_MS
// (default 0) after the previous step; each --send-when waits until the screen shows TEXT, in
// output that arrived after the previous keys were sent, and the program has paused its output.
// --answer TEXT=KEYS answers a prompt each time the program shows it anew, between the steps.
// --until ends the run as soon as the screen shows TEXT (exit code 0, the program is ended).
// KEYS understands \r \n \t \e \\ \xHH. When the program exits, or the timeout passes, the
// screen is printed as vtdump prints it ("screen COLSxROWS", then "  N|" and each row with its
// trailing blanks trimmed, then the cursor); --plain prints only the rows' text, --cursor adds
// the cursor to the plain form, --all prints the scrollback too. The exit code is the program's exit status, 124
// after a timeout, 125 for a usage error.
#include "LocalProcess.h"
#include "Terminal.h"

#include <QCoreApplication>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

struct Step {
    int delayMs = 0;
    std::string waitFor; // empty: send after the delay
    std::string keys;
};

std::string unescape(const std::string& s)
{
    std::string out;
    for (size_t i = 0; i < s.size(); ++i) {
        if (s[i] != '\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const char c = s[++i];
        switch (c) {
        case 'r': out += '\r'; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'e': out += '\x1b'; break;
        case '\\': out += '\\'; break;
        case 'x':
            if (i + 2 < s.size() + 0 && std::isxdigit(uint8_t(s[i + 1])) && std::isxdigit(uint8_t(s[i + 2]))) {
                out += char(std::stoi(s.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += "\\x";
            }
            break;
        default: out += '\\'; out += c; break;
        }
    }
    return out;
}

class Host : public LocalProcessDelegate, public termcore::TerminalDelegate {
public:
    Host(int cols, int rows) : process(this)
    {
        termcore::TerminalOptions options;
        options.cols = cols;
        options.rows = rows;
        terminal = std::make_unique<termcore::Terminal>(this, options);
    }
    ~Host() override { terminal->setDelegate(nullptr); }

    void startSettling()
    {
        settle.setSingleShot(true);
        settle.setInterval(40);
        QObject::connect(&settle, &QTimer::timeout, [this] { checkWaits(); });
    }

    // LocalProcessDelegate
    void processTerminated(LocalProcess&, std::optional<int32_t> exitCode) override
    {
        status = exitCode.value_or(0);
        exited = true;
        QCoreApplication::quit();
    }
    void dataReceived(std::span<const uint8_t> slice) override
    {
        terminal->feed(slice);
        outputSinceSend = true;
        if (checkUntil())
            return;
        // Prompts are answered once the program has gone quiet: a program may still be reading
        // (and flushing) its input while the prompt is already on screen.
        settle.start();
    }
    winsize getWindowSize() override { return makeWindowSize(terminal->rows(), terminal->cols(), 0, 0); }

    // TerminalDelegate: replies go straight back to the program.
    void send(termcore::Terminal&, std::span<const uint8_t> data) override { process.send(data); }

    std::string screenText(bool all) const
    {
        auto& buf = const_cast<termcore::Terminal&>(*terminal).buffer();
        const int first = all ? 0 : buf.yBase();
        const int last = all ? buf.lines().count() : std::min(buf.lines().count(), buf.yBase() + terminal->rows());
        std::string out;
        for (int r = first; r < last; ++r) {
            std::string line = buf.lines()[r].translateToString(true, 0, -1);
            for (char& c : line) {
                if (c == '\0')
                    c = ' ';
            }
            while (!line.empty() && line.back() == ' ')
                line.pop_back();
            out += line;
            out += '\n';
        }
        return out;
    }

    void runNextStep()
    {
        if (next >= steps.size())
            return;
        const Step& s = steps[next];
        if (!s.waitFor.empty()) {
            waiting = true;
            checkWaits();
            return;
        }
        QTimer::singleShot(s.delayMs, [this] {
            sendKeys(steps[next].keys);
            ++next;
            runNextStep();
        });
    }

    bool checkUntil()
    {
        if (!until.empty() && !untilSeen && screenText(false).find(until) != std::string::npos) {
            untilSeen = true;
            QCoreApplication::quit();
        }
        return untilSeen;
    }

    void checkWaits()
    {
        if (!outputSinceSend || settle.isActive())
            return;
        for (const auto& [text, keys] : answers) {
            if (screenText(false).find(text) != std::string::npos) {
                sendKeys(keys);
                return;
            }
        }
        if (!waiting || next >= steps.size())
            return;
        if (screenText(false).find(steps[next].waitFor) == std::string::npos)
            return;
        waiting = false;
        sendKeys(steps[next].keys);
        ++next;
        QTimer::singleShot(0, [this] { runNextStep(); });
    }

    // A wait that follows a send is answered only by what the program shows after it: the screen
    // that prompted the previous keys may still be up, with the same prompt text.
    void sendKeys(const std::string& keys)
    {
        outputSinceSend = false;
        process.send(std::span(reinterpret_cast<const uint8_t*>(keys.data()), keys.size()));
    }

    LocalProcess process;
    std::unique_ptr<termcore::Terminal> terminal;
    std::vector<Step> steps;
    std::vector<std::pair<std::string, std::string>> answers; // standing prompts and their keys
    size_t next = 0;
    bool waiting = false;
    bool outputSinceSend = true;
    QTimer settle;
    std::string until;
    bool untilSeen = false;
    bool exited = false;
    int status = 0;
};

int usage()
{
    std::fprintf(stderr, "usage: vthost [--cols N] [--rows N] [--timeout SECONDS] [--send [DELAY_MS:]KEYS]... "
                         "[--send-when TEXT=KEYS]... [--answer TEXT=KEYS]... [--until TEXT] [--plain] [--cursor] [--all] -- program [args...]\n");
    return 125;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int cols = 80, rows = 24;
    double timeout = 10;
    bool showCursor = false, all = false, plain = false;
    std::vector<Step> steps;
    std::vector<std::pair<std::string, std::string>> answers;
    std::string until;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&]() -> std::string { return i + 1 < argc ? argv[++i] : std::string(); };
        if (a == "--") {
            ++i;
            break;
        } else if (a == "--cols") {
            cols = std::atoi(value().c_str());
        } else if (a == "--rows") {
            rows = std::atoi(value().c_str());
        } else if (a == "--timeout") {
            timeout = std::atof(value().c_str());
        } else if (a == "--send") {
            std::string v = value();
            Step s;
            const size_t colon = v.find(':');
            if (colon != std::string::npos && colon > 0 && v.find_first_not_of("0123456789") == colon) {
                s.delayMs = std::atoi(v.substr(0, colon).c_str());
                v = v.substr(colon + 1);
            }
            s.keys = unescape(v);
            steps.push_back(s);
        } else if (a == "--send-when") {
            const std::string v = value();
            const size_t eq = v.find('=');
            if (eq == std::string::npos)
                return usage();
            steps.push_back(Step{0, unescape(v.substr(0, eq)), unescape(v.substr(eq + 1))});
        } else if (a == "--answer") {
            const std::string v = value();
            const size_t eq = v.find('=');
            if (eq == std::string::npos)
                return usage();
            answers.emplace_back(unescape(v.substr(0, eq)), unescape(v.substr(eq + 1)));
        } else if (a == "--until") {
            until = unescape(value());
        } else if (a == "--plain") {
            plain = true;
        } else if (a == "--cursor") {
            showCursor = true;
        } else if (a == "--all") {
            all = true;
        } else {
            break; // the program starts here
        }
    }
    if (i >= argc || cols < 2 || rows < 1)
        return usage();

    QString program = QString::fromLocal8Bit(argv[i]);
    if (!program.contains('/')) {
        const QString found = QStandardPaths::findExecutable(program);
        if (!found.isEmpty())
            program = found;
    }
    QStringList args;
    for (int k = i + 1; k < argc; ++k)
        args << QString::fromLocal8Bit(argv[k]);

    // The environment a terminal pane gives its shell: ours, with the terminal's type.
    QStringList env;
    for (const QString& e : QProcessEnvironment::systemEnvironment().toStringList()) {
        if (!e.startsWith("TERM=") && !e.startsWith("COLORTERM="))
            env << e;
    }
    env << "TERM=xterm-256color" << "COLORTERM=truecolor";
    if (!qEnvironmentVariableIsSet("LANG"))
        env << "LANG=en_US.UTF-8";

    Host host(cols, rows);
    host.steps = steps;
    host.answers = answers;
    host.startSettling();
    host.until = until;
    host.process.startProcess(program, args, env, QString::fromLocal8Bit(argv[i]));
    QTimer::singleShot(0, [&] { host.runNextStep(); });

    bool timedOut = false;
    QTimer::singleShot(int(timeout * 1000), [&] {
        timedOut = true;
        QCoreApplication::quit();
    });
    app.exec();

    const auto cursor = host.terminal->getCursorLocation();
    if (plain) {
        std::fputs(host.screenText(all).c_str(), stdout);
        if (showCursor)
            std::printf("cursor: %d,%d\n", cursor.x, cursor.y);
    } else {
        auto& t = *host.terminal;
        std::printf("screen %dx%d%s\n", t.cols(), t.rows(), t.isCurrentBufferAlternate() ? " (alternate)" : "");
        const std::string text = host.screenText(all);
        int row = all ? -(t.buffer().yBase()) : 0;
        size_t pos = 0;
        while (pos < text.size()) {
            const size_t nl = text.find('\n', pos);
            if (row < 0)
                std::printf("  %d|%s\n", row, text.substr(pos, nl - pos).c_str());
            else
                std::printf("%3d|%s\n", row, text.substr(pos, nl - pos).c_str());
            pos = nl + 1;
            ++row;
        }
        std::printf("cursor col %d row %d%s\n", cursor.x, cursor.y, t.cursorHidden ? " hidden" : "");
    }
    std::fflush(stdout);
    if (host.untilSeen) {
        host.process.terminate();
        return 0;
    }
    if (timedOut && !host.exited) {
        host.process.terminate();
        return 124;
    }
    const int st = host.status;
    if (WIFEXITED(st))
        return WEXITSTATUS(st);
    return 128 + (WIFSIGNALED(st) ? WTERMSIG(st) : 0);
}
