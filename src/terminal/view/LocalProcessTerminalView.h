#pragma once

#include "LocalProcess.h"
#include "TerminalView.h"

#include <optional>

class LocalProcessTerminalView;

// The operations through which a local-process terminal view reports to its owner.
class LocalProcessTerminalViewDelegate {
public:
    virtual ~LocalProcessTerminalViewDelegate() = default;
    virtual void sizeChanged(LocalProcessTerminalView& source, int newCols, int newRows) = 0;
    virtual void setTerminalTitle(LocalProcessTerminalView& source, const QString& title) = 0;
    virtual void hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<QString>& directory) = 0;
    // The raw wait status of the child (0 = exited with status 0).
    virtual void processTerminated(TerminalView& source, std::optional<int32_t> exitCode) = 0;
};

// A terminal view that runs its own child on a pseudo-terminal: the child's output is fed to
// the view's terminal, the bytes the view produces (keys, paste, replies) go to the child, and
// size changes reach the pseudo-terminal. Title, directory and exit are passed to the owner.
class LocalProcessTerminalView : public TerminalView, public TerminalViewDelegate, public LocalProcessDelegate {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool running READ running NOTIFY runningChanged)
public:
    explicit LocalProcessTerminalView(QQuickItem* parent = nullptr);
    LocalProcessTerminalView(QQuickItem* parent, const QFont& font);
    ~LocalProcessTerminalView() override;

    LocalProcess* process = nullptr; // owned (a child QObject)
    LocalProcessTerminalViewDelegate* processDelegate = nullptr; // not owned

    // Starts the child; the directory is the folder it starts in (none: ours).
    void startProcess(const QString& executable, const QStringList& args = {},
                      const std::optional<QStringList>& environment = std::nullopt,
                      const std::optional<QString>& execName = std::nullopt,
                      const std::optional<QString>& currentDirectory = std::nullopt);
    Q_INVOKABLE void start(const QString& executable, const QStringList& args) { startProcess(executable, args); }
    void setHostLogging(const std::optional<QString>& directory) { process->setHostLogging(directory); }
    bool running() const { return process && process->running(); }

    // TerminalViewDelegate
    void sizeChanged(TerminalView& source, int newCols, int newRows) override;
    void setTerminalTitle(TerminalView& source, const QString& title) override;
    void hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<QString>& directory) override;
    void send(TerminalView& source, std::span<const uint8_t> data) override;
    void sendReply(TerminalView& source, std::span<const uint8_t> data) override;
    void scrolled(TerminalView& source, double position) override {}
    void clipboardCopy(TerminalView& source, const QByteArray& content) override;
    void rangeChanged(TerminalView& source, int startY, int endY) override {}

    // LocalProcessDelegate
    void processTerminated(LocalProcess& source, std::optional<int32_t> exitCode) override;
    void dataReceived(std::span<const uint8_t> slice) override;
    winsize getWindowSize() override;
    bool readyForOutput() override { return !outputHeld(); }

    using TerminalView::send;
    using TerminalView::sizeChanged;
    using TerminalView::setTerminalTitle;
    using TerminalView::scrolled;
    using TerminalView::clipboardCopy;

signals:
    void runningChanged();
    void processExited(int exitCode);

protected:
    void outputResumed() override;

private:
    void setup();
};
