#include "LocalProcessTerminalView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QStringDecoder>

LocalProcessTerminalView::LocalProcessTerminalView(QQuickItem* parent) : TerminalView(parent)
{
    setup();
}

LocalProcessTerminalView::LocalProcessTerminalView(QQuickItem* parent, const QFont& font) : TerminalView(parent, font)
{
    setup();
}

LocalProcessTerminalView::~LocalProcessTerminalView()
{
    // Nothing may report into a view that is half gone.
    process->setDelegate(nullptr);
    terminalDelegate = nullptr;
}

void LocalProcessTerminalView::setup()
{
    terminalDelegate = this;
    process = new LocalProcess(this, this);
}

void LocalProcessTerminalView::startProcess(const QString& executable, const QStringList& args,
                                            const std::optional<QStringList>& environment,
                                            const std::optional<QString>& execName,
                                            const std::optional<QString>& currentDirectory)
{
    process->startProcess(executable, args, environment, execName, currentDirectory);
    emit runningChanged();
}

void LocalProcessTerminalView::sizeChanged(TerminalView&, int newCols, int newRows)
{
    if (!process->running())
        return;
    winsize ws = getWindowSize();
    PseudoTerminalHelpers::setWinSize(process->childfd(), ws);
    if (processDelegate)
        processDelegate->sizeChanged(*this, newCols, newRows);
}

void LocalProcessTerminalView::setTerminalTitle(TerminalView&, const QString& title)
{
    if (processDelegate)
        processDelegate->setTerminalTitle(*this, title);
}

void LocalProcessTerminalView::hostCurrentDirectoryUpdate(TerminalView& source, const std::optional<QString>& directory)
{
    if (processDelegate)
        processDelegate->hostCurrentDirectoryUpdate(source, directory);
}

void LocalProcessTerminalView::send(TerminalView&, std::span<const uint8_t> data)
{
    process->send(data);
}

void LocalProcessTerminalView::sendReply(TerminalView&, std::span<const uint8_t> data)
{
    process->sendReply(data);
}

void LocalProcessTerminalView::clipboardCopy(TerminalView&, const QByteArray& content)
{
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decode(content);
    if (decode.hasError())
        return; // not UTF-8: the clipboard keeps what it had
    if (QClipboard* cb = QGuiApplication::clipboard())
        cb->setText(text);
}

void LocalProcessTerminalView::processTerminated(LocalProcess&, std::optional<int32_t> exitCode)
{
    emit runningChanged();
    emit processExited(exitCode.value_or(0));
    if (processDelegate)
        processDelegate->processTerminated(*this, exitCode);
}

void LocalProcessTerminalView::dataReceived(std::span<const uint8_t> slice)
{
    feed(slice);
}

void LocalProcessTerminalView::outputResumed()
{
    if (process)
        process->resumeOutput();
}

winsize LocalProcessTerminalView::getWindowSize()
{
    // Logical pixels (the design's points), cut toward zero; clamped to what the record holds.
    return makeWindowSize(getTerminal().rows(), getTerminal().cols(), (long long)width(), (long long)height());
}
