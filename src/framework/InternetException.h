#pragma once
// The one exception of the network layer: every failure of a WinINet call
// surfaces as this, carrying the WinINet (or system) error code.

#include <windows.h>
#include <exception>

class CInternetException : public std::exception
{
  public:
    explicit CInternetException(DWORD dwError, DWORD_PTR dwContext = 1) noexcept
        : m_dwError(dwError), m_dwContext(dwContext)
    {
    }
    const char* what() const noexcept override { return "internet operation failed"; }

    DWORD m_dwError;
    DWORD_PTR m_dwContext;
};

// Raises the exception for the calling thread's last error.
[[noreturn]] void ThrowLastInternetError(DWORD_PTR dwContext = 1);
