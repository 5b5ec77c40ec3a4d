#pragma once
// The small XML layer over the platform's DOM component: one parsed document
// and the few lookups the program needs. Lookup names are narrow text in the
// conversion code page, compared byte by byte without regard to ASCII case as
// the settings files in the field expect; texts come back as UTF-16 so that
// no character is lost on the way.
//
// The thread must have initialised COM before a load, and must drop the
// document and every node it handed out before it leaves COM.

#include <windows.h>
#include <msxml2.h>
#include <string>
#include <vector>

#include "framework/ComPtr.h"

using XmlNode = ComPtr<IXMLDOMNode>;
using XmlNodeList = std::vector<XmlNode>;

// Largest file LoadFromFile accepts. Settings files and replies are a few
// kilobytes; the bound only keeps a runaway (or planted) file from exhausting
// memory, since the whole file is read before the component sees it.
constexpr size_t kMaxXmlFileBytes = 16 * 1024 * 1024;

class CXmlDocument
{
  public:
    CXmlDocument() = default;
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;

    // Each load first drops the current document, so a failed load leaves
    // the object empty. Documents that carry a document type declaration, or
    // a comment that "--" breaks, are refused, as are files larger than
    // kMaxXmlFileBytes.
    bool LoadFromFile(const std::wstring& path);
    bool LoadFromText(const std::wstring& text);
    // Drops the document; nodes already handed out stay valid.
    void Release() noexcept;
    bool IsEmpty() const noexcept { return !m_pDocument; }

    // The document element, or null when the object is empty.
    XmlNode GetRoot() const;

    // The first child of `node`, of any node type, whose name matches `name`
    // without regard to case; on a match `text` receives the child's text.
    // Null, with `text` untouched, when nothing matches or `node` is null.
    XmlNode FindChild(const XmlNode& node, const char* name, std::wstring& text) const;
    // The same without the text, which for an element with many children
    // costs the component a walk of them all.
    XmlNode FindChild(const XmlNode& node, const char* name) const;
    // Every child of `node` whose name matches, in document order.
    XmlNodeList FindChildren(const XmlNode& node, const char* name) const;
    // A node's text as FindChild gives it; empty for a null node.
    std::wstring GetText(const XmlNode& node) const;

    // False, with `value` untouched, when `node` is not an element or the
    // query fails. True otherwise; `value` then receives the attribute's
    // value when the attribute exists and stays untouched when it does not.
    bool GetAttribute(const XmlNode& node, const char* name, std::wstring& value) const;
    // As GetAttribute; on true `value` receives the number the text starts
    // with (0 when absent or not numeric), read as atoi reads it.
    bool GetAttributeInt(const XmlNode& node, const char* name, int& value) const;

  private:
    ComPtr<IXMLDOMDocument2> m_pDocument;
};

// The number `text` starts with, read the way atoi reads it: leading white
// space, an optional sign, then decimal digits. Out of range saturates.
int ParseLeadingInt(const std::wstring& text);

// Loads the XML component and parses a first document, on the calling
// thread, so that a later first use in the process does not wait for the
// component's load. Its module stays loaded for the life of the process.
void WarmUpXmlComponent();
