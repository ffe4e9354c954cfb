#include "TinyAtom.h"

#include "Buffer.h"

#include <algorithm>

namespace termcore {

namespace {
struct Counters {
    int lastUsed = 0;
    // Where the search for a freed code resumes once the codes have all been handed out once.
    int reuseFrom = 1;
    // The table size at which a new payload first collects those no cell uses any more.
    size_t collectAt = minimumCollectAt;
    static constexpr size_t minimumCollectAt = 256;
    // While every code is taken, a collection per new link would scan every cell of every
    // terminal each time: such collections are at least this many lookups apart (links in
    // between may go without a payload).
    uint64_t lookups = 0;
    uint64_t lastFullCollect = 0;
    static constexpr uint64_t fullCollectSpacing = 1024;
};

Counters& counters()
{
    static Counters value;
    return value;
}

std::optional<uint16_t> freeCode()
{
    Counters& c = counters();
    if (c.lastUsed < TinyAtom::maxCode)
        return uint16_t(++c.lastUsed);
    auto& table = TinyAtom::map();
    for (int i = 0; i < TinyAtom::maxCode; i++) {
        const int code = (c.reuseFrom - 1 + i) % TinyAtom::maxCode + 1;
        if (!table.count(uint16_t(code))) {
            c.reuseFrom = code % TinyAtom::maxCode + 1;
            return uint16_t(code);
        }
    }
    return std::nullopt;
}
} // namespace

std::unordered_map<uint16_t, std::any>& TinyAtom::map()
{
    static std::unordered_map<uint16_t, std::any> table;
    return table;
}

int TinyAtom::lastUsed()
{
    return counters().lastUsed;
}

std::optional<TinyAtom> TinyAtom::lookup(std::any value)
{
    Counters& c = counters();
    c.lookups++;
    if (map().size() >= size_t(maxCode)) {
        if (c.lastFullCollect == 0 || c.lookups - c.lastFullCollect >= Counters::fullCollectSpacing) {
            c.lastFullCollect = c.lookups;
            Buffer::collectUnusedCodes();
        }
    } else if (map().size() >= c.collectAt) {
        Buffer::collectUnusedCodes();
    }
    const std::optional<uint16_t> code = freeCode();
    if (!code)
        return std::nullopt;
    map()[*code] = std::move(value);
    return TinyAtom(*code);
}

void TinyAtom::release(uint16_t code)
{
    map().erase(code);
}

size_t TinyAtom::releaseExcept(const std::vector<bool>& used)
{
    auto& table = map();
    const size_t before = table.size();
    std::erase_if(table, [&](const auto& entry) { return entry.first >= used.size() || !used[entry.first]; });
    if (table.size() < before)
        table.rehash(0);
    counters().collectAt = std::max(Counters::minimumCollectAt, 2 * table.size());
    return before - table.size();
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
