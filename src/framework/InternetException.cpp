#include "framework/InternetException.h"

void ThrowLastInternetError(DWORD_PTR dwContext)
{
    const DWORD error = ::GetLastError();
    // A failure that reports no code still must not pass for success.
    throw CInternetException(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE, dwContext);
}
