#pragma once
// Run-time class information: each window class can name itself, and the
// wizard pages use that name as the tag the frame steers by.

struct CRuntimeClass
{
    const char* m_lpszClassName;
    const CRuntimeClass* m_pBaseClass;

    bool IsDerivedFrom(const CRuntimeClass* base) const
    {
        for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
            if (c == base)
                return true;
        return false;
    }
};

#define RUNTIME_CLASS(theClass) (&theClass::class##theClass)

#define DECLARE_DYNAMIC(theClass)                                                                            \
  public:                                                                                                    \
    static const CRuntimeClass class##theClass;                                                              \
    const CRuntimeClass* GetRuntimeClass() const override;

#define IMPLEMENT_DYNAMIC(theClass, baseClass)                                                               \
    const CRuntimeClass theClass::class##theClass = {#theClass, RUNTIME_CLASS(baseClass)};                   \
    const CRuntimeClass* theClass::GetRuntimeClass() const                                                   \
    {                                                                                                        \
        return RUNTIME_CLASS(theClass);                                                                      \
    }
