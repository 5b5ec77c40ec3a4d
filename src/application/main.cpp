#include <cstdlib>
#include <exception>

#include "application/LiveUpdateApp.h"
#include "support/SystemLibraries.h"

CLiveUpdateApp theApp;

int WINAPI wWinMain(HINSTANCE hInstance, HINSTANCE, PWSTR, int)
{
    // Before the first library loaded on first use.
    SearchLibrariesInSystemFolderOnly();
    return RunApplication(hInstance);
}

// An exception that nothing catches ends the wizard as it always did, with
// abort(); an unattended run puts a handler of its own in this one's place
// (EndUncaughtExceptionsAsInternalFault), which ends it with exit code 12. The library's own handler would
// first name the exception's type on standard error, which a windowed program does not have; to do so it
// brings the whole C++ name demangler, a tenth of the program's code, into the exe. Defined here, the
// library's is never linked.
namespace __gnu_cxx
{
void __verbose_terminate_handler()
{
    std::abort();
}
} // namespace __gnu_cxx
