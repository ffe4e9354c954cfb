#include "CharData.h"

#include "Buffer.h"
#include "UnicodeUtil.h"

#include <algorithm>
#include <array>

namespace termcore {

namespace {
struct GraphemeMaps {
    std::unordered_map<std::u32string, int32_t> charToIndex;
    std::unordered_map<int32_t, std::u32string> indexToChar;
    int32_t lastCharIndex = CharData::firstClusterCode;
    // The size at which interning next collects the clusters no cell uses any more.
    size_t collectAt = minimumCollectAt;
    static constexpr size_t minimumCollectAt = 4096;
    // The codes of the short spellings interned last (one code point beyond the BMP, or two
    // code points), direct-mapped: emoji and accented letters arrive one after another in
    // text, and each would otherwise build a key string and hash it. Emptied when codes go.
    struct Recent {
        char32_t first = 0;
        char32_t second = 0;
        uint32_t length = 0; // 0: an empty entry
        int32_t code = 0;
    };
    std::array<Recent, 256> recent{};
};

GraphemeMaps& maps()
{
    static GraphemeMaps instance;
    return instance;
}

// The code of a character, following the cell model's rules.
int32_t codeFor(std::u32string_view ch)
{
    if (ch.size() == 2 && ch[0] == U'\r' && ch[1] == U'\n')
        return 10;
    if (ch.size() == 1 && ch[0] < 0x10000)
        return int32_t(ch[0]);
    if (ch.empty())
        return 0;
    return CharData::internCluster(ch);
}

int32_t codeFor(char32_t rune)
{
    if (rune < 0x10000)
        return int32_t(rune);
    return CharData::internCluster(std::u32string_view(&rune, 1));
}
} // namespace

void appendUtf8(std::string& out, char32_t rune)
{
    UnicodeUtil::appendUtf8(rune, out);
}

CharData::CharData(Attribute attr, std::u32string_view character, int8_t size)
    : code(codeFor(character)), width(size), attribute(attr)
{
}

void CharData::setValue(std::u32string_view character, int32_t size)
{
    code = codeFor(character);
    width = int8_t(size);
}

void CharData::setValue(char32_t rune, int32_t size)
{
    code = codeFor(rune);
    width = int8_t(size);
}

// Canonical ordering (Unicode 15, section 3.11): within each run of combining marks the marks are
// stably sorted by canonical combining class, so that clusters that differ only in the order of
// marks that do not interact (e.g. a dot below and an acute) share one code.
static void canonicalOrder(std::u32string& cluster)
{
    size_t i = 0;
    while (i < cluster.size()) {
        if (UnicodeUtil::combiningClass(cluster[i]) == 0) {
            ++i;
            continue;
        }
        size_t j = i + 1;
        while (j < cluster.size() && UnicodeUtil::combiningClass(cluster[j]) != 0)
            ++j;
        if (j - i > 1) {
            std::stable_sort(cluster.begin() + std::ptrdiff_t(i), cluster.begin() + std::ptrdiff_t(j),
                             [](char32_t a, char32_t b) {
                                 return UnicodeUtil::combiningClass(a) < UnicodeUtil::combiningClass(b);
                             });
        }
        i = j;
    }
}

int32_t CharData::internCluster(std::u32string_view cluster)
{
    auto& m = maps();
    if (cluster.size() == 1 || cluster.size() == 2) {
        const char32_t second = cluster.size() == 2 ? cluster[1] : 0;
        GraphemeMaps::Recent& entry = m.recent[(cluster[0] * 31u + second) & 255u];
        if (entry.length == cluster.size() && entry.first == cluster[0] && entry.second == second)
            return entry.code;
        const int32_t code = internClusterSlow(cluster);
        if (code >= firstClusterCode)
            entry = {cluster[0], second, uint32_t(cluster.size()), code};
        return code;
    }
    return internClusterSlow(cluster);
}

int32_t CharData::internClusterSlow(std::u32string_view cluster)
{
    auto& m = maps();
    // Looked up by the canonically ordered form; the first spelling seen is what the cell shows.
    std::u32string key(cluster);
    if (key.size() > 1)
        canonicalOrder(key);
    auto it = m.charToIndex.find(key);
    if (it != m.charToIndex.end())
        return it->second;
    if (m.lastCharIndex == INT32_MAX) {
        // The code space of the cell model is used up (about two billion distinct clusters);
        // show the replacement character rather than wrap into codes already in use.
        return 0xFFFD;
    }
    if (m.indexToChar.size() >= m.collectAt)
        Buffer::collectUnusedCodes();
    int32_t code = m.lastCharIndex;
    m.indexToChar.emplace(code, std::u32string(cluster));
    m.charToIndex.emplace(std::move(key), code);
    ++m.lastCharIndex;
    return code;
}

const std::u32string* CharData::clusterForCode(int32_t code)
{
    auto& m = maps();
    auto it = m.indexToChar.find(code);
    return it == m.indexToChar.end() ? nullptr : &it->second;
}

size_t CharData::releaseClustersExcept(const std::vector<int32_t>& used)
{
    auto& m = maps();
    size_t released = 0;
    for (auto it = m.indexToChar.begin(); it != m.indexToChar.end();) {
        if (std::binary_search(used.begin(), used.end(), it->first)) {
            ++it;
            continue;
        }
        std::u32string key = it->second;
        if (key.size() > 1)
            canonicalOrder(key);
        if (auto k = m.charToIndex.find(key); k != m.charToIndex.end() && k->second == it->first)
            m.charToIndex.erase(k);
        it = m.indexToChar.erase(it);
        ++released;
    }
    if (released > 0) {
        m.recent.fill({});
        m.indexToChar.rehash(0);
        m.charToIndex.rehash(0);
    }
    // Growth of twice what stays keeps the collections' cost proportional to the interning.
    m.collectAt = std::max(GraphemeMaps::minimumCollectAt, 2 * m.indexToChar.size());
    return released;
}

const std::unordered_map<std::u32string, int32_t>& CharData::charToIndexMap()
{
    return maps().charToIndex;
}

const std::unordered_map<int32_t, std::u32string>& CharData::indexToCharMap()
{
    return maps().indexToChar;
}

int32_t CharData::lastCharIndex()
{
    return maps().lastCharIndex;
}

std::u32string CharData::getCharacter() const
{
    if (code < firstClusterCode) {
        if (!UnicodeUtil::isScalarValue(code))
            return std::u32string(1, U' ');
        return std::u32string(1, char32_t(code));
    }
    if (const auto* cluster = clusterForCode(code))
        return *cluster;
    return std::u32string(1, U' ');
}

void CharData::appendCharacterUtf8(std::string& out) const
{
    if (code < firstClusterCode) {
        if (!UnicodeUtil::isScalarValue(code))
            out.push_back(' ');
        else if (code < 0x80)
            out.push_back(char(code));
        else
            appendUtf8(out, char32_t(code));
        return;
    }
    if (const auto* cluster = clusterForCode(code)) {
        for (char32_t c : *cluster)
            appendUtf8(out, c);
    } else {
        out.push_back(' ');
    }
}

std::string CharData::debugDescription() const
{
    std::string out = "CharData: " + std::to_string(code) + " ";
    if (code < firstClusterCode && !UnicodeUtil::isScalarValue(code))
        out += "?";
    else
        appendCharacterUtf8(out);
    return out;
}

} // namespace termcore
