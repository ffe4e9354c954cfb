#include "ViewSelection.h"

#include "Terminal.h"

void ViewSelection::notify()
{
    if (auto* d = terminal_.tdel())
        d->selectionChanged(terminal_);
}

void ViewSelection::setActive(bool on)
{
    active_ = on;
    if (!on) {
        start = end = termcore::Position{0, 0};
        mode_ = Mode::character;
    }
    notify();
}

void ViewSelection::startSelection(int row, int col)
{
    mode_ = Mode::character;
    start = end = termcore::Position{col, row + terminal_.buffer().yDisp()};
    active_ = true;
    notify();
}

void ViewSelection::extend(termcore::Position to)
{
    end = to;
    active_ = true;
    notify();
}

void ViewSelection::selectAll()
{
    start = termcore::Position{0, 0};
    end = termcore::Position{terminal_.cols() - 1, terminal_.buffer().lines().count() - 1};
    active_ = true;
    notify();
}

void ViewSelection::select(int row)
{
    start = termcore::Position{0, row};
    end = termcore::Position{terminal_.cols() - 1, row};
    mode_ = Mode::row;
    active_ = true;
    notify();
}

std::string ViewSelection::getSelectedText() const
{
    return terminal_.getText(start, end);
}
