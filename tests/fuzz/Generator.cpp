#include "fuzz/Generator.h"

#include <windows.h>

#include <algorithm>

#include "support/CodePages.h"

const char kPartSeparator[] = "\n--8<--\n";

uint64_t Generator::Next()
{
    // splitmix64: small, fast, and the same sequence on every platform.
    uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

size_t Generator::Size(size_t limit)
{
    size_t scale = 300;
    if (!Percent(90))
        scale = Percent(80) ? 70 * 1000 : limit + 1;
    return Below(std::min(scale, limit + 1));
}

std::string Generator::Bytes(size_t length)
{
    std::string bytes(length, '\0');
    for (char& c : bytes)
        c = static_cast<char>(Next());
    return bytes;
}

std::string Generator::Mutate(std::string input, const std::string& other)
{
    static const char kSpecial[] = {'\x00', '\xFF', '\xC0', '\xE0', '\xF0'};
    for (size_t round = 0, rounds = 1 + Below(4); round < rounds; ++round)
    {
        const size_t at = Below(input.size() + 1);
        switch (Below(6))
        {
            case 0:
                if (!input.empty())
                {
                    const size_t byte = Below(input.size());
                    input[byte] ^= static_cast<char>(1u << Below(8));
                }
                break;
            case 1:
                input.resize(at);
                break;
            case 2:
                input.erase(at, Below(input.size() - at + 1));
                break;
            case 3:
                input.insert(at, 1, kSpecial[Below(sizeof kSpecial)]);
                break;
            case 4:
            {
                const std::string slice = input.substr(at, 1 + Below(16));
                if (slice.empty())
                    break;
                const size_t room = kMaxInputBytes > input.size() ? kMaxInputBytes - input.size() : 0;
                const size_t most = Percent(90) ? 64 : 100 * 1000;
                const size_t times = std::min(Below(most), room / slice.size());
                input.insert(at, Repeat(slice, times));
                break;
            }
            default:
            {
                const size_t from = Below(other.size() + 1);
                input.insert(at, other.substr(from, Below(other.size() - from + 1)));
                break;
            }
        }
    }
    if (input.size() > kMaxInputBytes)
        input.resize(kMaxInputBytes);
    return input;
}

std::string Generator::Input(const std::vector<std::string>& seeds,
                             const std::function<std::string(Generator&)>& extreme)
{
    const unsigned kind = static_cast<unsigned>(Below(100));
    if (kind < 10 || seeds.empty())
        return Bytes(Size(kMaxInputBytes));
    if (kind < 70)
    {
        const std::string& seed = Pick(seeds);
        return Mutate(seed, Pick(seeds));
    }
    std::string input = extreme(*this);
    if (input.size() > kMaxInputBytes)
        input.resize(kMaxInputBytes);
    return Percent(30) ? Mutate(input, Pick(seeds)) : input;
}

std::string Repeat(const std::string& unit, size_t times)
{
    // Never much beyond the largest input, however many times are asked for.
    if (!unit.empty())
        times = std::min(times, kMaxInputBytes / unit.size() + 1);
    std::string result;
    result.reserve(unit.size() * times);
    for (size_t i = 0; i < times; ++i)
        result += unit;
    return result;
}

namespace
{
std::string Units(const std::string& utf8, size_t width, bool bigEndian, bool mark)
{
    std::u32string code;
    const std::wstring wide = DecodeText(utf8, CP_UTF8);
    for (size_t i = 0; i < wide.size(); ++i)
    {
        char32_t c = static_cast<char16_t>(wide[i]);
        if (width == 4 && IS_HIGH_SURROGATE(wide[i]) && i + 1 < wide.size() && IS_LOW_SURROGATE(wide[i + 1]))
            c = 0x10000 + ((c - 0xD800) << 10) + (static_cast<char16_t>(wide[++i]) - 0xDC00);
        code.push_back(c);
    }
    if (mark)
        code.insert(code.begin(), 0xFEFF);
    std::string bytes;
    for (char32_t c : code)
    {
        for (size_t k = 0; k < width; ++k)
            bytes.push_back(static_cast<char>(c >> (8 * (bigEndian ? width - 1 - k : k))));
    }
    return bytes;
}
} // namespace

std::string Utf16(const std::string& utf8, bool bigEndian, bool mark)
{
    return Units(utf8, 2, bigEndian, mark);
}

std::string Utf32(const std::string& utf8, bool bigEndian, bool mark)
{
    return Units(utf8, 4, bigEndian, mark);
}

std::string AnyEncoding(Generator& random, const std::string& utf8)
{
    const size_t kind = random.Below(6);
    switch (kind)
    {
        case 0:
            return utf8;
        case 1:
            return "\xEF\xBB\xBF" + utf8;
        case 2:
            return EncodeText(DecodeText(utf8, CP_UTF8), CP_ACP);
        case 3:
        case 4:
        {
            const bool bigEndian = random.Percent(50);
            const bool mark = random.Percent(70);
            return kind == 3 ? Utf16(utf8, bigEndian, mark) : Utf32(utf8, bigEndian, mark);
        }
        default:
            return Utf16(utf8, false, true);
    }
}

std::string Join(const std::string& first, const std::string& second)
{
    return first + kPartSeparator + second;
}

void Split(const std::string& input, std::string& first, std::string& second)
{
    const size_t at = input.find(kPartSeparator);
    first = input.substr(0, at);
    second = at == std::string::npos ? std::string() : input.substr(at + sizeof kPartSeparator - 1);
}
