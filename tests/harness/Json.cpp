#include "harness/Json.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace harness
{
namespace
{
const Json kNull;

class Parser
{
  public:
    explicit Parser(const std::string& text) : m_text(text) {}

    Json Document()
    {
        Json value = Value();
        Blanks();
        if (m_pos != m_text.size())
            throw std::runtime_error("trailing text");
        return value;
    }

  private:
    void Blanks()
    {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\n' ||
                                         m_text[m_pos] == '\r' || m_text[m_pos] == '\t'))
            ++m_pos;
    }
    char Next()
    {
        if (m_pos >= m_text.size())
            throw std::runtime_error("unexpected end");
        return m_text[m_pos++];
    }
    void Expect(const char* word)
    {
        for (const char* p = word; *p; ++p)
            if (Next() != *p)
                throw std::runtime_error("bad literal");
    }

    Json Value()
    {
        Blanks();
        Json value;
        const char c = m_pos < m_text.size() ? m_text[m_pos] : '\0';
        if (c == '{' || c == '[')
        {
            // Members or elements, a comma between, up to the closing mark.
            const bool isObject = c == '{';
            const char close = isObject ? '}' : ']';
            value.kind = isObject ? Json::Kind::Object : Json::Kind::Array;
            ++m_pos;
            Blanks();
            if (m_text[m_pos] == close)
                return ++m_pos, value;
            for (char sep = ','; sep != close; sep = Next())
            {
                if (sep != ',')
                    throw std::runtime_error("expected ,");
                Blanks();
                if (!isObject)
                {
                    value.array.push_back(Value());
                    Blanks();
                    continue;
                }
                const std::wstring key = String();
                Blanks();
                if (Next() != ':')
                    throw std::runtime_error("expected :");
                value.object[std::string(key.begin(), key.end())] = Value();
                Blanks();
            }
            return value;
        }
        if (c == '"')
        {
            value.kind = Json::Kind::String;
            value.string = String();
            return value;
        }
        if (c == 't' || c == 'f')
        {
            value.kind = Json::Kind::Bool;
            value.boolean = c == 't';
            Expect(value.boolean ? "true" : "false");
            return value;
        }
        if (c == 'n')
        {
            Expect("null");
            return value;
        }
        char* end = nullptr;
        value.number = std::strtod(m_text.c_str() + m_pos, &end);
        if (end == m_text.c_str() + m_pos)
            throw std::runtime_error("bad value");
        value.kind = Json::Kind::Number;
        m_pos = static_cast<size_t>(end - m_text.c_str());
        return value;
    }

    std::wstring String()
    {
        if (Next() != '"')
            throw std::runtime_error("expected string");
        std::string utf8;
        std::wstring out;
        auto flush = [&]
        {
            if (utf8.empty())
                return;
            int n = ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
            std::wstring part(static_cast<size_t>(n), L'\0');
            ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), &part[0], n);
            out += part;
            utf8.clear();
        };
        for (;;)
        {
            const char c = Next();
            if (c == '"')
                break;
            if (c != '\\')
            {
                utf8 += c;
                continue;
            }
            const char e = Next();
            if (e == 'u')
            {
                flush();
                out += static_cast<wchar_t>(std::strtoul(m_text.substr(m_pos, 4).c_str(), nullptr, 16));
                m_pos += 4;
                continue;
            }
            const char* from = "\"\\/bfnrt";
            const char* to = "\"\\/\b\f\n\r\t";
            for (int i = 0; from[i]; ++i)
                if (from[i] == e)
                    utf8 += to[i];
        }
        flush();
        return out;
    }

    const std::string& m_text;
    size_t m_pos = 0;
};
} // namespace

const Json& Json::operator[](const std::string& key) const
{
    auto it = object.find(key);
    return it == object.end() ? kNull : it->second;
}

const Json& Json::operator[](size_t index) const
{
    return index < array.size() ? array[index] : kNull;
}

Json ParseJson(const std::string& text)
{
    try
    {
        return Parser(text).Document();
    }
    catch (const std::exception&)
    {
        return Json();
    }
}

std::string JsonString(const std::string& utf8)
{
    std::string out = "\"";
    for (unsigned char c : utf8)
    {
        if (c == '"' || c == '\\')
            out += '\\', out += static_cast<char>(c);
        else if (c < 0x20)
        {
            char escaped[8];
            snprintf(escaped, sizeof escaped, "\\u%04x", c);
            out += escaped;
        }
        else
            out += static_cast<char>(c);
    }
    return out + "\"";
}
} // namespace harness
