#pragma once
// What the platform's XML component itself makes of a document, loaded
// directly and walked with none of the program's XML layer: the oracle of
// the routines that read XML. It keeps the component's defaults but for
// fetching nothing from outside and taking the text synchronously; a
// document type it lets through, so that the oracle sees one and knows the
// program must refuse the document.
//
// The thread must be in COM while an object lives.

#include <windows.h>
#include <msxml2.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "framework/ComPtr.h"

class PlainXml
{
  public:
    bool LoadText(const std::wstring& text);
    bool LoadFile(const std::wstring& path);
    bool HasDoctype() const;
    ComPtr<IXMLDOMNode> Root() const;

    // The first child of `node`, of any kind, whose name is `name` but for
    // the case of ASCII letters; null when there is none.
    static ComPtr<IXMLDOMNode> Child(const ComPtr<IXMLDOMNode>& node, const wchar_t* name);
    // The next sibling after `node` with that name, likewise.
    static ComPtr<IXMLDOMNode> Next(const ComPtr<IXMLDOMNode>& node, const wchar_t* name);
    // The attribute's text; nothing when the element has no such attribute.
    static std::optional<std::wstring> Attribute(const ComPtr<IXMLDOMNode>& node, const wchar_t* name);
    // The node's text as the component gives it.
    static std::wstring Text(const ComPtr<IXMLDOMNode>& node);

  private:
    bool Create();
    ComPtr<IXMLDOMDocument> m_document;
};

// The number `text` starts with as C's atoi reads it: ASCII blanks, a sign,
// ASCII digits; beyond the range of int, its nearest end.
int AtoiNumber(const std::wstring& text);

// A version reply as the component reads it with the program's declaration
// before it: the status-code of its document element, and for status 1 the
// texts of the first children named newversionname, newversion,
// downloadurl, size, sha256, signature and desc, the signature without
// white space and the description's LF as CR LF, as the record keeps them.
// A text that does not load, or that declares a document type, reads as
// status 0 with nothing else.
struct PlainReply
{
    int status = 0;
    std::wstring values[7];
    std::vector<std::wstring> mirrors; // the texts of every child named mirror, in order
};
// Nothing for a text of more than kMostDashes dashes, which the oracle does
// not load: the component reports each "--" in a comment and parses on, and
// a text of many would take it minutes.
std::optional<PlainReply> ReadReplyPlainly(const std::wstring& text);
constexpr size_t kMostDashes = 2000;

// "netsetting.xml" as the component reads the file: the first child of the
// document element named Dispatch, its ip, default_port and ssl, then port
// and ssl of every TestPort child in order. `found` is false when the file
// does not load, declares a document type or has no Dispatch. Nothing for
// a file of more than kMostDashes dash bytes (in any encoding), as above.
struct PlainNetSetting
{
    bool found = false;
    std::wstring server;
    std::vector<std::pair<int, int>> ports; // port, ssl
};
std::optional<PlainNetSetting> ReadNetSettingPlainly(const std::wstring& path, const std::string& bytes);
