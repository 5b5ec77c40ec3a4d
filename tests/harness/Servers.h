#pragma once
// The loopback servers the test run starts: the scriptable fault server, its
// TLS front ends and the proxy. Their ports come from the environment.

#include <windows.h>

#include <string>

#include "harness/Json.h"

namespace harness
{
// A port from the test run's environment (FAULT_PORT, TLS_GOOD_PORT, ...), or
// 0 when the run started no servers.
int ServerPort(const char* name);

// Talks to the fault server's control interface, directly, never through a
// proxy.
class FaultServer
{
  public:
    FaultServer();
    bool IsAvailable() const { return m_port != 0; }
    int Port() const { return m_port; }

    void Reset() const;
    // Posts one script (a JSON object) or a list of them.
    bool Script(const std::string& json) const;
    // Every request logged since the last reset, oldest first.
    Json Requests() const;
    // Waits until `count` requests for `path` have been logged.
    bool WaitForRequests(int count, const std::string& path, int timeoutMs = 15000) const;
    // Lets every response held under `holdId` go on.
    void Release(const std::string& holdId) const;
    // Closes every connection that waits for a request (but the one asking);
    // how many there were.
    int DropIdleConnections() const;
    // The SHA-256 (hex) of a file of the files folder.
    std::string Sha256Of(const std::string& file) const;

  private:
    std::string Call(const wchar_t* verb, const std::wstring& path, const std::string& body,
                     DWORD* status) const;
    int m_port;
};

// The value of a header in a logged request (the first with that name,
// compared without regard to case), or null.
const Json* FindHeader(const Json& request, const std::string& name);
// That header's value, or an empty text when there is none.
std::wstring HeaderValue(const Json& request, const std::string& name);

// The fault server's files folder, as this program sees it.
std::wstring ServedFilesFolder();
// Writes netsetting.xml into `folder`: the dispatch server and its port.
void WriteNetSetting(const std::wstring& folder, const std::string& ip, int port, int ssl);

} // namespace harness
