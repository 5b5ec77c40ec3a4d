#pragma once
// Counted reference to a COM interface: AddRef on copy, Release when dropped.

#include <objbase.h>
#include <utility>

template <typename T> class ComPtr
{
  public:
    ComPtr() noexcept = default;
    ComPtr(std::nullptr_t) noexcept {}
    // Takes over a reference the caller already owns.
    static ComPtr Attach(T* p) noexcept
    {
        ComPtr result;
        result.m_p = p;
        return result;
    }
    ComPtr(const ComPtr& other) noexcept : m_p(other.m_p)
    {
        if (m_p)
            m_p->AddRef();
    }
    ComPtr(ComPtr&& other) noexcept : m_p(std::exchange(other.m_p, nullptr)) {}
    ComPtr& operator=(ComPtr other) noexcept
    {
        std::swap(m_p, other.m_p);
        return *this;
    }
    ~ComPtr() { Reset(); }

    T* Get() const noexcept { return m_p; }
    T* operator->() const noexcept { return m_p; }
    explicit operator bool() const noexcept { return m_p != nullptr; }

    void Reset() noexcept
    {
        if (T* p = std::exchange(m_p, nullptr))
            p->Release();
    }
    T** Receive() noexcept
    {
        Reset();
        return &m_p;
    }
    template <typename U> ComPtr<U> QueryAs(REFIID iid) const noexcept
    {
        ComPtr<U> result;
        if (m_p)
            m_p->QueryInterface(iid, reinterpret_cast<void**>(result.Receive()));
        return result;
    }

  private:
    T* m_p = nullptr;
};

// Balances CoInitialize on the calling thread; the result is deliberately not
// examined, as with every caller of it in this program.
class ComApartment
{
  public:
    ComApartment() noexcept : m_hr(::CoInitialize(nullptr)) {}
    ~ComApartment()
    {
        if (SUCCEEDED(m_hr))
            ::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    HRESULT m_hr;
};
