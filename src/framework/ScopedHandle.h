#pragma once
// Owning wrappers for the raw handles the program touches. Each handle kind
// names its "none" value and its release call once; the wrapper does the rest.

#include <windows.h>
#include <utility>

template <typename Traits> class ScopedHandle
{
  public:
    using Handle = typename Traits::Handle;

    ScopedHandle() noexcept = default;
    explicit ScopedHandle(Handle h) noexcept : m_h(h) {}
    ~ScopedHandle() { Reset(); }

    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;
    ScopedHandle(ScopedHandle&& other) noexcept : m_h(other.Release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept
    {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }

    Handle Get() const noexcept { return m_h; }
    bool IsValid() const noexcept { return m_h != Traits::None(); }
    explicit operator bool() const noexcept { return IsValid(); }

    Handle Release() noexcept { return std::exchange(m_h, Traits::None()); }
    void Reset(Handle h = Traits::None()) noexcept
    {
        Handle old = std::exchange(m_h, h);
        if (old != Traits::None())
            Traits::Close(old);
    }
    // For APIs that hand a handle back through an out parameter.
    Handle* Receive() noexcept
    {
        Reset();
        return &m_h;
    }

  private:
    Handle m_h = Traits::None();
};

struct KernelHandleTraits
{
    using Handle = HANDLE;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
// CreateFile and the Toolhelp snapshot report failure as INVALID_HANDLE_VALUE.
struct FileHandleTraits
{
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::CloseHandle(h); }
};
struct FindHandleTraits
{
    using Handle = HANDLE;
    static Handle None() { return INVALID_HANDLE_VALUE; }
    static void Close(Handle h) { ::FindClose(h); }
};
struct RegKeyTraits
{
    using Handle = HKEY;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::RegCloseKey(h); }
};
struct GdiObjectTraits
{
    using Handle = HGDIOBJ;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::DeleteObject(h); }
};
struct IconTraits
{
    using Handle = HICON;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::DestroyIcon(h); }
};
struct LibraryTraits
{
    using Handle = HMODULE;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::FreeLibrary(h); }
};

// Memory the system hands out to be released with LocalFree: security
// descriptors, converted SID strings.
struct LocalMemoryTraits
{
    using Handle = HLOCAL;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::LocalFree(h); }
};

using KernelHandle = ScopedHandle<KernelHandleTraits>;
using FileHandle = ScopedHandle<FileHandleTraits>;
using FindHandle = ScopedHandle<FindHandleTraits>;
using RegKey = ScopedHandle<RegKeyTraits>;
using GdiObject = ScopedHandle<GdiObjectTraits>;
using IconHandle = ScopedHandle<IconTraits>;
using LibraryModule = ScopedHandle<LibraryTraits>;
using LocalMemory = ScopedHandle<LocalMemoryTraits>;
