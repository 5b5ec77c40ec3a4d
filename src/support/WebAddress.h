#pragma once
// Addresses of the web as the update server names them: which ones may be
// fetched at all, what they name, and what of them may be shown or logged.
// The platform's URL parser decides what the network library will do with an
// address, so hosts and ports are read through it.

#include <string>

// True when `url` is an address of the web: "http://" or "https://" (in any
// letter case) and a host. Anything else (file:, a UNC path, another
// protocol, a scheme the platform's parser would take for http) is never
// fetched and never handed to the shell.
bool IsWebAddress(const std::wstring& url);

// The address's last segment: the text after its last "/", or the whole
// address when it has none. Nothing is decoded or removed: it is the name the
// publisher signs.
std::wstring LastUrlSegment(const std::wstring& url);

// True when `mirror` may stand for the package at `url`: a web address
// whose last segment names the same file (without regard to letter case).
bool IsMirrorOf(const std::wstring& mirror, const std::wstring& url);

// The host an absolute address names, as the platform's parser reads it,
// without user information or port, in lower case, an IPv6 literal in
// brackets; empty for a relative address or one it cannot read.
std::wstring AddressHost(const std::wstring& url);

// The host and, when it is not the scheme's own, the port: what the user may
// be told of a server. Empty when the address names none.
std::wstring AddressAuthority(const std::wstring& url);

// The host of `url` when it is not `server` (a host name or address as
// "netsetting.xml" gives it, an IPv6 literal with or without brackets),
// compared without letter case or port; empty when it is the same host or
// `url` names none.
std::wstring OtherHost(const std::wstring& url, const std::wstring& server);

// An address as it may be logged: scheme://host[:port]/path as the
// platform's parser reads them, without user information, query or
// fragment. Whatever characters a password holds, nothing up to the last
// "@" is kept (an "@" in a path loses what stands before it, never a secret
// its place). Text that names no scheme keeps what stands before a "?" or
// "#", without anything up to its last "@".
std::wstring AddressForLog(const std::wstring& url);
