#include "support/XmlDocument.h"

#include <shlwapi.h>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

#include "framework/ComPtr.h"
#include "framework/ScopedHandle.h"
#include "support/Files.h"
#include "support/SystemLibraries.h"
#include "support/Utf8.h"
#include "support/XmlScreening.h"

namespace
{
// The platform's import libraries carry none of these, and msxml2.h maps the
// usual class id name onto another class, so they are spelled out here.
const CLSID kDomDocumentClass = {
    0xF6D90F11, 0x9C73, 0x11D3, {0xB3, 0x2E, 0x00, 0xC0, 0x4F, 0x99, 0x0B, 0xB4}};
const IID kIidXmlDomDocument2 = {
    0x2933BF95, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};
const IID kIidXmlDomElement = {0x2933BF86, 0x7B36, 0x11D2, {0xB2, 0x0E, 0x00, 0xC0, 0x4F, 0x98, 0x3E, 0x60}};

// No document this program reads nests anywhere near this deep.
const long kMaxElementDepth = 256;

class Bstr
{
  public:
    Bstr() = default;
    explicit Bstr(const std::wstring& text)
        : m_b(::SysAllocStringLen(text.data(), static_cast<UINT>(text.size())))
    {
        if (!m_b)
            throw std::bad_alloc();
    }
    ~Bstr() { ::SysFreeString(m_b); }
    Bstr(const Bstr&) = delete;
    Bstr& operator=(const Bstr&) = delete;

    BSTR Get() const noexcept { return m_b; }
    BSTR* Receive() noexcept
    {
        ::SysFreeString(m_b);
        m_b = nullptr;
        return &m_b;
    }

  private:
    BSTR m_b = nullptr;
};

class Variant
{
  public:
    Variant() noexcept { ::VariantInit(&m_v); }
    ~Variant() { ::VariantClear(&m_v); }
    Variant(const Variant&) = delete;
    Variant& operator=(const Variant&) = delete;

    VARIANT& Get() noexcept { return m_v; }
    VARIANT* Receive() noexcept
    {
        ::VariantClear(&m_v);
        return &m_v;
    }

  private:
    VARIANT m_v;
};

std::wstring TextOfBstr(BSTR b)
{
    return b ? std::wstring(b, ::SysStringLen(b)) : std::wstring();
}

void SetProperty(IXMLDOMDocument2* document, const wchar_t* name, VARIANT& value)
{
    // Components that do not know a property refuse it; what they do not
    // know cannot be switched on either, so the refusal is not an error.
    document->setProperty(Bstr(name).Get(), value);
}

// A new document that reads nothing but the text it is given: no document
// type declarations, no external entities or schemas, and a bounded depth.
// The component's defaults would let a reply from anyone on the network path,
// or a planted settings file, make it fetch files and addresses or expand
// entities without end; that is why these properties are set although the
// program needs none of what they switch off. Not every component honours
// every setting (some accept ProhibitDTD and then ignore it), which is why
// the loads also check the input themselves.
ComPtr<IXMLDOMDocument2> CreateDocument()
{
    ComPtr<IXMLDOMDocument2> document;
    if (FAILED(::CoCreateInstance(kDomDocumentClass, nullptr, CLSCTX_INPROC_SERVER, kIidXmlDomDocument2,
                                  reinterpret_cast<void**>(document.Receive()))) ||
        !document)
        return nullptr;
    document->put_async(VARIANT_FALSE);
    document->put_validateOnParse(VARIANT_FALSE);
    document->put_resolveExternals(VARIANT_FALSE);
    Variant flag;
    flag.Get().vt = VT_BOOL;
    flag.Get().boolVal = VARIANT_TRUE;
    SetProperty(document.Get(), L"ProhibitDTD", flag.Get());
    Variant depth;
    depth.Get().vt = VT_I4;
    depth.Get().lVal = kMaxElementDepth;
    SetProperty(document.Get(), L"MaxElementDepth", depth.Get());
    return document;
}

// A parse that succeeded still counts as failed when a declaration slipped
// past the input check, say in an encoding the check does not know.
bool IsAcceptedLoad(IXMLDOMDocument2* document, HRESULT hr, VARIANT_BOOL success)
{
    if (FAILED(hr) || success != VARIANT_TRUE)
        return false;
    ComPtr<IXMLDOMDocumentType> doctype;
    return !(SUCCEEDED(document->get_doctype(doctype.Receive())) && doctype);
}

bool NameMatches(IXMLDOMNode* node, const char* name)
{
    Bstr nodeName;
    if (FAILED(node->get_nodeName(nodeName.Receive())))
        return false;
    return _stricmp(WideToNarrow(TextOfBstr(nodeName.Get())).c_str(), name) == 0;
}

// Calls `onMatch` with every child of `node` whose name matches, in document
// order, until it returns false. Children that do not match are released as
// the walk passes them.
template <typename OnMatch> void ForEachMatchingChild(const XmlNode& node, const char* name, OnMatch onMatch)
{
    if (!node || !name)
        return;
    ComPtr<IXMLDOMNodeList> children;
    if (FAILED(node->get_childNodes(children.Receive())) || !children)
        return;
    // The list's own iterator rather than item(i): some implementations find
    // each item by walking from the first, which makes a long list quadratic.
    for (;;)
    {
        XmlNode child;
        if (children->nextNode(child.Receive()) != S_OK || !child)
            return;
        if (NameMatches(child.Get(), name) && !onMatch(std::move(child)))
            return;
    }
}

// A node's typed value as text; empty when it has none that reads as text.
std::wstring TypedValueText(IXMLDOMNode* node)
{
    Variant value;
    if (FAILED(node->get_nodeTypedValue(value.Receive())))
        return std::wstring();
    if (value.Get().vt != VT_BSTR && FAILED(::VariantChangeType(&value.Get(), &value.Get(), 0, VT_BSTR)))
        return std::wstring();
    return TextOfBstr(value.Get().bstrVal);
}
} // namespace

int ParseLeadingInt(const std::wstring& text)
{
    size_t i = 0;
    while (i < text.size() && (text[i] == L' ' || (text[i] >= L'\t' && text[i] <= L'\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == L'+' || text[i] == L'-'))
        negative = text[i++] == L'-';
    // Accumulating past INT_MAX + 1 changes nothing but the clamp below.
    const long long limit = static_cast<long long>(INT_MAX) + 1;
    long long magnitude = 0;
    for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i)
    {
        if (magnitude < limit)
            magnitude = magnitude * 10 + (text[i] - L'0');
    }
    if (negative)
        return magnitude >= limit ? INT_MIN : static_cast<int>(-magnitude);
    return magnitude >= INT_MAX ? INT_MAX : static_cast<int>(magnitude);
}

void CXmlDocument::Release() noexcept
{
    m_pDocument.Reset();
}

bool CXmlDocument::LoadFromText(const std::wstring& text)
{
    Release();
    if (IsRefusedBeforeParsing(text))
        return false;
    ComPtr<IXMLDOMDocument2> document = CreateDocument();
    if (!document)
        return false;
    VARIANT_BOOL success = VARIANT_FALSE;
    const HRESULT hr = document->loadXML(Bstr(text).Get(), &success);
    if (!IsAcceptedLoad(document.Get(), hr, success))
        return false;
    m_pDocument = std::move(document);
    return true;
}

bool CXmlDocument::LoadFromFile(const std::wstring& path)
{
    Release();
    // The component gets the very bytes that were checked, as a stream, and
    // not the path: a file swapped between the check and the parse would
    // otherwise get past the check. From a stream the component still
    // detects the encoding itself, from a byte order mark or the declaration.
    const std::optional<std::string> file = ReadWholeFile(path.c_str(), kMaxXmlFileBytes);
    if (!file || file->empty() || IsRefusedBeforeParsing(*file))
        return false;
    const std::string& bytes = *file;
    ComPtr<IXMLDOMDocument2> document = CreateDocument();
    if (!document)
        return false;
    ComPtr<IStream> stream = ComPtr<IStream>::Attach(
        ::SHCreateMemStream(reinterpret_cast<const BYTE*>(bytes.data()), static_cast<UINT>(bytes.size())));
    if (!stream)
        return false;
    // The variant only lends the stream; `stream` keeps the reference.
    VARIANT source;
    ::VariantInit(&source);
    source.vt = VT_UNKNOWN;
    source.punkVal = stream.Get();
    VARIANT_BOOL success = VARIANT_FALSE;
    const HRESULT hr = document->load(source, &success);
    if (!IsAcceptedLoad(document.Get(), hr, success))
        return false;
    m_pDocument = std::move(document);
    return true;
}

XmlNode CXmlDocument::GetRoot() const
{
    if (!m_pDocument)
        return nullptr;
    IXMLDOMElement* root = nullptr;
    if (FAILED(m_pDocument->get_documentElement(&root)))
        return nullptr;
    return XmlNode::Attach(root);
}

XmlNode CXmlDocument::FindChild(const XmlNode& node, const char* name) const
{
    XmlNode found;
    ForEachMatchingChild(node, name,
                         [&found](XmlNode child)
                         {
                             found = std::move(child);
                             return false;
                         });
    return found;
}

XmlNode CXmlDocument::FindChild(const XmlNode& node, const char* name, std::wstring& text) const
{
    XmlNode found = FindChild(node, name);
    if (found)
        text = TypedValueText(found.Get());
    return found;
}

XmlNodeList CXmlDocument::FindChildren(const XmlNode& node, const char* name) const
{
    XmlNodeList found;
    ForEachMatchingChild(node, name,
                         [&found](XmlNode child)
                         {
                             found.push_back(std::move(child));
                             return true;
                         });
    return found;
}

std::wstring CXmlDocument::GetText(const XmlNode& node) const
{
    return node ? TypedValueText(node.Get()) : std::wstring();
}

bool CXmlDocument::GetAttribute(const XmlNode& node, const char* name, std::wstring& value) const
{
    if (!node || !name)
        return false;
    ComPtr<IXMLDOMElement> element = node.QueryAs<IXMLDOMElement>(kIidXmlDomElement);
    if (!element)
        return false;
    Variant attribute;
    if (FAILED(element->getAttribute(Bstr(NarrowToWide(name)).Get(), attribute.Receive())))
        return false;
    if (attribute.Get().vt == VT_BSTR)
        value = TextOfBstr(attribute.Get().bstrVal);
    return true;
}

bool CXmlDocument::GetAttributeInt(const XmlNode& node, const char* name, int& value) const
{
    std::wstring text;
    if (!GetAttribute(node, name, text))
        return false;
    value = ParseLeadingInt(text);
    return true;
}

void WarmUpXmlComponent()
{
    // The module that serves the document class everywhere this program
    // runs. Kept loaded on purpose: the apartment below would otherwise
    // unload it again as it ends.
    LoadSystemLibrary(L"msxml3.dll");
    ComApartment apartment;
    if (ComPtr<IXMLDOMDocument2> document = CreateDocument())
    {
        VARIANT_BOOL parsed = VARIANT_FALSE;
        document->loadXML(Bstr(L"<a/>").Get(), &parsed);
    }
}
