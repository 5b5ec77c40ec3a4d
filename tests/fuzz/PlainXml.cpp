#include "fuzz/PlainXml.h"

#include <algorithm>
#include <climits>
#include <cwchar>

namespace
{
// Defined here: the import libraries carry neither.
const CLSID kDomDocument = {0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
const IID kIidDomDocument = {0x2933BF81, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

std::wstring Take(BSTR text)
{
    std::wstring result = text ? std::wstring(text, ::SysStringLen(text)) : std::wstring();
    ::SysFreeString(text);
    return result;
}

bool IsNamed(const ComPtr<IXMLDOMNode>& node, const wchar_t* name)
{
    BSTR raw = nullptr;
    node->get_nodeName(&raw);
    const std::wstring actual = Take(raw);
    size_t i = 0;
    for (; name[i] && i < actual.size(); ++i)
    {
        const wchar_t a = actual[i], b = name[i];
        const auto lower = [](wchar_t c)
        { return c >= L'A' && c <= L'Z' ? static_cast<wchar_t>(c + 32) : c; };
        if (lower(a) != lower(b))
            return false;
    }
    return !name[i] && i == actual.size();
}

// `node` itself when it has that name, else its next sibling that has.
ComPtr<IXMLDOMNode> FromHere(ComPtr<IXMLDOMNode> node, const wchar_t* name)
{
    while (node && !IsNamed(node, name))
    {
        ComPtr<IXMLDOMNode> next;
        node->get_nextSibling(next.Receive());
        node = next;
    }
    return node;
}
} // namespace

bool PlainXml::Create()
{
    m_document.Reset();
    if (FAILED(::CoCreateInstance(kDomDocument, nullptr, CLSCTX_INPROC_SERVER, kIidDomDocument,
                                  reinterpret_cast<void**>(m_document.Receive()))) ||
        !m_document)
        return false;
    m_document->put_async(VARIANT_FALSE);
    m_document->put_resolveExternals(VARIANT_FALSE);
    m_document->put_validateOnParse(VARIANT_FALSE);
    return true;
}

bool PlainXml::LoadText(const std::wstring& text)
{
    VARIANT_BOOL ok = VARIANT_FALSE;
    BSTR source = ::SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    const bool loaded =
        source && Create() && SUCCEEDED(m_document->loadXML(source, &ok)) && ok == VARIANT_TRUE;
    ::SysFreeString(source);
    return loaded;
}

bool PlainXml::LoadFile(const std::wstring& path)
{
    VARIANT source;
    ::VariantInit(&source);
    source.vt = VT_BSTR;
    source.bstrVal = ::SysAllocString(path.c_str());
    VARIANT_BOOL ok = VARIANT_FALSE;
    const bool loaded =
        source.bstrVal && Create() && SUCCEEDED(m_document->load(source, &ok)) && ok == VARIANT_TRUE;
    ::VariantClear(&source);
    return loaded;
}

bool PlainXml::HasDoctype() const
{
    ComPtr<IXMLDOMDocumentType> doctype;
    return m_document && SUCCEEDED(m_document->get_doctype(doctype.Receive())) && doctype;
}

ComPtr<IXMLDOMNode> PlainXml::Root() const
{
    IXMLDOMElement* root = nullptr;
    if (!m_document || FAILED(m_document->get_documentElement(&root)) || !root)
        return nullptr;
    return ComPtr<IXMLDOMNode>::Attach(root);
}

ComPtr<IXMLDOMNode> PlainXml::Child(const ComPtr<IXMLDOMNode>& node, const wchar_t* name)
{
    ComPtr<IXMLDOMNode> first;
    if (node)
        node->get_firstChild(first.Receive());
    return FromHere(first, name);
}

ComPtr<IXMLDOMNode> PlainXml::Next(const ComPtr<IXMLDOMNode>& node, const wchar_t* name)
{
    ComPtr<IXMLDOMNode> next;
    node->get_nextSibling(next.Receive());
    return FromHere(next, name);
}

std::optional<std::wstring> PlainXml::Attribute(const ComPtr<IXMLDOMNode>& node, const wchar_t* name)
{
    ComPtr<IXMLDOMNamedNodeMap> attributes;
    ComPtr<IXMLDOMNode> attribute;
    BSTR key = ::SysAllocString(name);
    if (node)
        node->get_attributes(attributes.Receive());
    if (attributes)
        attributes->getNamedItem(key, attribute.Receive());
    ::SysFreeString(key);
    if (!attribute)
        return std::nullopt;
    return Text(attribute);
}

std::wstring PlainXml::Text(const ComPtr<IXMLDOMNode>& node)
{
    BSTR text = nullptr;
    node->get_text(&text);
    return Take(text);
}

int AtoiNumber(const std::wstring& text)
{
    const size_t start = text.find_first_not_of(L" \t\n\v\f\r");
    if (start == std::wstring::npos)
        return 0;
    const bool negative = text[start] == L'-';
    const size_t digits = start + (text[start] == L'-' || text[start] == L'+' ? 1 : 0);
    long long value = 0;
    for (size_t i = digits; i < text.size() && text[i] >= L'0' && text[i] <= L'9' && value <= INT_MAX; ++i)
        value = value * 10 + (text[i] - L'0');
    value = negative ? -value : value;
    return value > INT_MAX ? INT_MAX : value < INT_MIN ? INT_MIN : static_cast<int>(value);
}

std::optional<PlainReply> ReadReplyPlainly(const std::wstring& text)
{
    if (static_cast<size_t>(std::count(text.begin(), text.end(), L'-')) > kMostDashes)
        return std::nullopt;
    static const wchar_t* const kNames[] = {L"newversionname", L"newversion", L"downloadurl", L"size",
                                            L"sha256",         L"signature",  L"desc"};
    PlainReply reply;
    ComApartment com;
    PlainXml xml;
    if (!xml.LoadText(L"<?xml version=\"1.0\" encoding=\"utf-8\"?>" + text) || xml.HasDoctype())
        return reply;
    const ComPtr<IXMLDOMNode> root = xml.Root();
    reply.status = AtoiNumber(PlainXml::Attribute(root, L"status-code").value_or(L""));
    if (reply.status != 1)
        return reply;
    for (size_t i = 0; i < 7; ++i)
    {
        if (const ComPtr<IXMLDOMNode> child = PlainXml::Child(root, kNames[i]))
            reply.values[i] = PlainXml::Text(child);
    }
    for (ComPtr<IXMLDOMNode> mirror = PlainXml::Child(root, L"mirror"); mirror;
         mirror = PlainXml::Next(mirror, L"mirror"))
        reply.mirrors.push_back(PlainXml::Text(mirror));
    std::wstring& signature = reply.values[5];
    signature.erase(std::remove_if(signature.begin(), signature.end(),
                                   [](wchar_t c) { return std::wcschr(L" \t\n\v\f\r", c) && c; }),
                    signature.end());
    std::wstring desc;
    for (wchar_t c : reply.values[6])
        desc += c == L'\n' ? std::wstring(L"\r\n") : std::wstring(1, c);
    reply.values[6] = desc;
    return reply;
}

std::optional<PlainNetSetting> ReadNetSettingPlainly(const std::wstring& path, const std::string& bytes)
{
    if (static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '-')) > kMostDashes)
        return std::nullopt;
    PlainNetSetting setting;
    ComApartment com;
    PlainXml xml;
    if (!xml.LoadFile(path) || xml.HasDoctype())
        return setting;
    const ComPtr<IXMLDOMNode> dispatch = PlainXml::Child(xml.Root(), L"Dispatch");
    if (!dispatch)
        return setting;
    const auto number = [](const ComPtr<IXMLDOMNode>& node, const wchar_t* name)
    { return AtoiNumber(PlainXml::Attribute(node, name).value_or(L"")); };
    setting.found = true;
    setting.server = PlainXml::Attribute(dispatch, L"ip").value_or(L"");
    setting.ports.push_back({number(dispatch, L"default_port"), number(dispatch, L"ssl")});
    for (ComPtr<IXMLDOMNode> port = PlainXml::Child(dispatch, L"TestPort"); port;
         port = PlainXml::Next(port, L"TestPort"))
        setting.ports.push_back({number(port, L"port"), number(port, L"ssl")});
    return setting;
}
