#pragma once
// The one source of inputs for every routine: seeded random bytes, mutations
// of valid seeds, and the structural extremes each routine describes with
// the builders below. Each statement draws at most once, so that a seed
// gives the same inputs whatever order a compiler evaluates arguments in.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// No input is longer than this; every one is timed.
constexpr size_t kMaxInputBytes = 1000 * 1000;

class Generator
{
  public:
    explicit Generator(uint64_t seed) : m_state(seed) {}

    uint64_t Next();
    size_t Below(size_t n) { return n == 0 ? 0 : static_cast<size_t>(Next() % n); }
    bool Percent(unsigned percent) { return Below(100) < percent; }
    // Mostly small sizes, sometimes up to `limit`.
    size_t Size(size_t limit);
    template <typename T> const T& Pick(const std::vector<T>& items) { return items[Below(items.size())]; }

    std::string Bytes(size_t length);
    // One to a few of: bit flips, a cut at any length, a range removed,
    // 0x00/0xFF/0xC0/0xE0/0xF0 inserted, a slice repeated (a blow-up), a
    // slice of `other` spliced in.
    std::string Mutate(std::string input, const std::string& other);

    // The next input: random bytes, a mutated seed, or a structural extreme
    // (itself mutated now and then).
    std::string Input(const std::vector<std::string>& seeds,
                      const std::function<std::string(Generator&)>& extreme);

  private:
    uint64_t m_state;
};

// Builders of structural extremes. Repeat stops once past kMaxInputBytes.
std::string Repeat(const std::string& unit, size_t times);
// Text (UTF-8) in UTF-16 or UTF-32, either byte order, with or without a
// byte-order mark.
std::string Utf16(const std::string& utf8, bool bigEndian, bool mark);
std::string Utf32(const std::string& utf8, bool bigEndian, bool mark);
// `text` in one of the encodings an XML file or the settings file may come
// in, chosen at random.
std::string AnyEncoding(Generator& random, const std::string& utf8);

// Composite inputs (a reply and a settings file) travel as one byte string.
extern const char kPartSeparator[];
std::string Join(const std::string& first, const std::string& second);
void Split(const std::string& input, std::string& first, std::string& second);
