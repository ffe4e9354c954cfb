#include "TinyAtom.h"

#include "Buffer.h"

#include <algorithm>

namespace termcore {

namespace {
struct Counters {
    // The last code handed out in order; codes above it have never been used.
    int lastUsed = 0;
    // Codes given back by collection, not in the table.
    std::vector<uint16_t> freeCodes;
    // When each code in the table was handed out (a count of lookups), for taking back the
    // oldest ones.
    std::vector<uint64_t> assignedAt = std::vector<uint64_t>(size_t(TinyAtom::maxCode) + 1);
    uint64_t lookups = 0;
    // The table size at which a new payload first collects those no cell uses any more.
    size_t collectAt = minimumCollectAt;
    static constexpr size_t minimumCollectAt = 256;
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
    if (c.freeCodes.empty())
        return std::nullopt;
    const uint16_t code = c.freeCodes.back();
    c.freeCodes.pop_back();
    return code;
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

size_t TinyAtom::freeCount()
{
    const Counters& c = counters();
    return size_t(maxCode - c.lastUsed) + c.freeCodes.size();
}

std::optional<TinyAtom> TinyAtom::lookup(std::any value)
{
    Counters& c = counters();
    if (freeCount() == 0)
        Buffer::reclaimCodes(reclaimBatch);
    else if (map().size() >= c.collectAt)
        Buffer::collectUnusedCodes();
    const std::optional<uint16_t> code = freeCode();
    if (!code)
        return std::nullopt;
    map()[*code] = std::move(value);
    c.assignedAt[*code] = ++c.lookups;
    return TinyAtom(*code);
}

void TinyAtom::release(uint16_t code)
{
    if (map().erase(code) > 0)
        counters().freeCodes.push_back(code);
}

size_t TinyAtom::releaseExcept(const std::vector<bool>& used)
{
    auto& table = map();
    auto& freeCodes = counters().freeCodes;
    const size_t before = table.size();
    std::erase_if(table, [&](const auto& entry) {
        if (entry.first < used.size() && used[entry.first])
            return false;
        freeCodes.push_back(entry.first);
        return true;
    });
    if (table.size() < before)
        table.rehash(0);
    counters().collectAt = std::max(Counters::minimumCollectAt, 2 * table.size());
    return before - table.size();
}

size_t TinyAtom::releaseOldest(size_t n, const std::vector<bool>& keep, std::vector<bool>& taken)
{
    Counters& c = counters();
    auto& table = map();
    std::vector<uint16_t> candidates;
    candidates.reserve(table.size());
    for (const auto& entry : table)
        if (entry.first >= keep.size() || !keep[entry.first])
            candidates.push_back(entry.first);
    n = std::min(n, candidates.size());
    const auto older = [&](uint16_t a, uint16_t b) { return c.assignedAt[a] < c.assignedAt[b]; };
    std::nth_element(candidates.begin(), candidates.begin() + std::ptrdiff_t(n), candidates.end(), older);
    for (size_t i = 0; i < n; i++) {
        const uint16_t code = candidates[i];
        table.erase(code);
        c.freeCodes.push_back(code);
        if (code < taken.size())
            taken[code] = true;
    }
    return n;
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
