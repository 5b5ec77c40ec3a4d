#pragma once
// A network that wants its users to log in first (a campus or hotel login
// page) answers every request itself: with a redirect to its login page, or
// with the page. Such an answer is neither the update server's reply nor
// the package, and the user must hear what to do about it.

#include <windows.h>
#include <wininet.h>

#include <string>
#include <string_view>

#include "framework/InternetException.h"

// The check's answer was a login page: a CInternetException too, so that
// whoever only tells success from failure need not know it.
class LoginPageAnswer : public CInternetException
{
  public:
    LoginPageAnswer() noexcept : CInternetException(ERROR_INTERNET_INVALID_OPERATION) {}
};

// True for a Content-Type of HTML ("text/html", any letter case, with or
// without parameters and blanks).
bool IsHtmlContentType(std::wstring_view contentType);

// When an answer meant to be a download is a web page (a network's login
// page, typically), what the log says of it; empty otherwise.
std::wstring WebPageInstead(const std::wstring& contentType);

// True when the first characters after any blanks (and a UTF-8 byte order
// mark) are "<!DOCTYPE html" or "<html", in any letter case.
bool StartsLikeHtml(std::string_view body);

// True when the check's answer is a login page by its headers: `elsewhere`
// (the host the answer's redirect leads to, empty when it stays on the
// server) names another host, or the answer has status 511 (the status made
// for it) and is of type HTML. The update server's own error pages are HTML
// too and say nothing about a login.
bool IsLoginPageAnswer(DWORD status, std::wstring_view contentType, const std::wstring& elsewhere);

// True when a body of status 200 is a login page: it starts like HTML, or
// it is labelled HTML and is no update reply (`replyDocument`: its document
// element carries a status). Many servers label everything they send HTML,
// the update server's reply included.
bool IsLoginPageBody(std::wstring_view contentType, std::string_view body, bool replyDocument);
