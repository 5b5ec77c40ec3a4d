#pragma once
// Just enough JSON to read the fault server's request log.

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace harness
{
struct Json
{
    enum class Kind
    {
        Null,
        Bool,
        Number,
        String,
        Array,
        Object
    } kind = Kind::Null;
    bool boolean = false;
    double number = 0;
    std::wstring string;
    std::vector<Json> array;
    std::map<std::string, Json> object;

    // Member access that yields null for anything missing.
    const Json& operator[](const std::string& key) const;
    const Json& operator[](size_t index) const;
    size_t size() const { return kind == Kind::Array ? array.size() : object.size(); }
};

// Parses `text`; a document that does not parse gives null.
Json ParseJson(const std::string& text);
// A JSON string literal for `text` (UTF-8 in, escaped out).
std::string JsonString(const std::string& utf8);
} // namespace harness
