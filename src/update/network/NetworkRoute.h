#pragma once
// How the check and the download reach the network: the user's system proxy,
// the program's user agent and the stall time, read once for each.

#include <windows.h>

#include <atomic>
#include <memory>
#include <string>

#include "framework/InternetCompletion.h"
#include "framework/InternetSession.h"
#include "update/network/SendGate.h"

struct NetworkRoute
{
    std::wstring agent;
    bool useProxy = false;
    std::wstring proxy; // the system proxy's text, as the user set it
    DWORD stallMs = 30000;
    // Straight to the server whatever the system's settings say: the way
    // around a proxy that cannot be reached.
    bool direct = false;
};

// Whether a request got as far as the proxy (or the server): a session
// opened with a contact reports every connection made and every request
// sent into it, and, when it does not wait (Waiting::InBackground), the end
// of each call that went on in the background. It must outlive the session
// and every handle of it, and `reached` is cleared before each request it
// is to judge. With a gate, a connection the session makes while the gate
// is shut waits there, made but with nothing sent on it (`held`).
struct ProxyContact
{
    std::atomic<bool> reached{false};
    InternetCompletion completion;
    const SendGate* gate = nullptr;
    std::atomic<bool> held{false};
};

// How a session's calls wait for the network: inside each call, or in the
// background while the call returns (INTERNET_FLAG_ASYNC), which lets a
// read take what has come without waiting for more.
enum class Waiting
{
    InCall,
    InBackground,
};

// The route as the system and the environment give it now: the user agent is
// the application title.
NetworkRoute ReadNetworkRoute();

// Reads the current user's proxy setting. `enabled` is set to 0 or 1; only
// when it is 1 is `proxy` assigned the proxy text (empty when the text is
// missing or longer than its 2048-byte budget). Always returns 1.
int ReadSystemProxy(int& enabled, std::wstring& proxy);

// A session along `route`: the named proxy when it is on, no proxy at all
// for a direct route, the system's preconfigured settings otherwise; the
// time-outs are set. With `contact`, every handle of the session reports
// into it; requests must then be opened with ContactContext(contact). A
// session that waits in the background needs a contact, and its requests
// wait through the contact's completion. Raises CInternetException when
// none can be opened.
std::unique_ptr<CInternetSession> OpenRouteSession(const NetworkRoute& route, ProxyContact* contact = nullptr,
                                                   Waiting waiting = Waiting::InCall);

// The context value the requests of a session opened with `contact` carry.
DWORD_PTR ContactContext(ProxyContact* contact);

// True when a request along `route` failed with `error` because the proxy
// itself could not be reached: the route goes through the proxy, the error
// is one of a connection never made (refused or unreachable, the proxy's
// name not resolved, the connect time-out) and `contact` saw no connection
// and nothing sent. Whatever the proxy answers, even an error, is an
// answer: the request is then not made around it.
bool IsProxyUnreachable(const NetworkRoute& route, DWORD error, const ProxyContact& contact);

// `route` straight to the server: same agent and stall time, no proxy.
NetworkRoute DirectRoute(const NetworkRoute& route);

// "through the proxy", "direct" or "direct, around the proxy", for the log.
const wchar_t* DescribeRoute(const NetworkRoute& route);

// For the log: "the proxy <proxy> cannot be reached: <error>".
std::wstring DescribeUnreachableProxy(const NetworkRoute& route, DWORD error);
