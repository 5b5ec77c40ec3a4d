#pragma once
// Owning wrappers for the handles of the platform's cryptography (CNG).
// A key or hash must go before the algorithm provider it came from: declare
// the provider first so that it is destroyed last.

#include <windows.h>
#include <bcrypt.h>

#include "framework/ScopedHandle.h"

struct BCryptAlgorithmTraits
{
    using Handle = BCRYPT_ALG_HANDLE;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::BCryptCloseAlgorithmProvider(h, 0); }
};
struct BCryptHashTraits
{
    using Handle = BCRYPT_HASH_HANDLE;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::BCryptDestroyHash(h); }
};
struct BCryptKeyTraits
{
    using Handle = BCRYPT_KEY_HANDLE;
    static Handle None() { return nullptr; }
    static void Close(Handle h) { ::BCryptDestroyKey(h); }
};

using BCryptAlgorithm = ScopedHandle<BCryptAlgorithmTraits>;
using BCryptHash = ScopedHandle<BCryptHashTraits>;
using BCryptKey = ScopedHandle<BCryptKeyTraits>;
