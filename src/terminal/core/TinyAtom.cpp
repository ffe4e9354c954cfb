#include "TinyAtom.h"

namespace termcore {

namespace {
int& lastUsedCounter()
{
    static int value = 0;
    return value;
}
} // namespace

int TinyAtom::lastCollected = 0;

std::unordered_map<uint16_t, std::any>& TinyAtom::map()
{
    static std::unordered_map<uint16_t, std::any> table;
    return table;
}

int TinyAtom::lastUsed()
{
    return lastUsedCounter();
}

std::optional<TinyAtom> TinyAtom::lookup(std::any value)
{
    int& last = lastUsedCounter();
    if (last + 1 > maxCode)
        return std::nullopt;
    ++last;
    auto code = uint16_t(last);
    map()[code] = std::move(value);
    return TinyAtom(code);
}

void TinyAtom::release(uint16_t code)
{
    map().erase(code);
}

const std::any* TinyAtom::target() const
{
    if (code == 0)
        return nullptr;
    auto& table = map();
    auto it = table.find(code);
    return it == table.end() ? nullptr : &it->second;
}

} // namespace termcore
