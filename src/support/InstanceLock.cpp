#include "support/InstanceLock.h"

#include "support/FolderSecurity.h"

const wchar_t kInstanceLockName[] = L"QVXLiveUpdate.lock";

FileHandle TakeInstanceLock(const std::wstring& folder, DWORD& error)
{
    error = ERROR_PATH_NOT_FOUND;
    if (folder.empty())
        return FileHandle();
    LocalMemory descriptor = PrivateDescriptor(CurrentUserSid(), false);
    if (!descriptor)
    {
        error = ::GetLastError();
        return FileHandle();
    }
    // A file a power loss left behind is taken over as it is: only a trusted
    // account can have made it.
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.Get(), FALSE};
    FileHandle lock(::CreateFileW((folder + kInstanceLockName).c_str(), GENERIC_READ | DELETE, 0, &attributes,
                                  OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
    error = lock ? ERROR_SUCCESS : ::GetLastError();
    return lock;
}
