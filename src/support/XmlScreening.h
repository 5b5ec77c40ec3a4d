#pragma once
// What the XML loads refuse before the component sees the text: documents
// that declare a document type, and ill-formed ones whose parse would cost
// the component far more than their size. The text is read as ASCII, unit
// by unit, in every form the component could take it in.

#include <string>

// True when the UTF-16 text holds a document type declaration where one can
// stand: in the prolog, before the document element.
bool HasDoctypeDeclaration(const std::wstring& text);
// The same for the bytes of a file, read in an ASCII-compatible encoding, in
// UTF-16 and in UTF-32 (either byte order, with or without a byte-order
// mark): true when any of these readings finds one.
bool HasDoctypeDeclaration(const std::string& bytes);

// True when the text or the file's bytes are refused before parsing: a
// document type declaration (as above), or a comment that "--" breaks or
// that never ends.
bool IsRefusedBeforeParsing(const std::wstring& text);
bool IsRefusedBeforeParsing(const std::string& bytes);
