// The routine that reads the download address: whether it is one of the
// web, and the package's name taken from it, judged by the platform's URL
// parser and by the files the platform makes of the name.
#include <windows.h>
#include <wininet.h>

#include <algorithm>

#include "framework/ScopedHandle.h"
#include "fuzz/Routines.h"
#include "support/Utf8.h"
#include "support/WebAddress.h"
#include "update/download/PackageName.h"

namespace
{
const char kNameWeb[] = "an address is taken for the web exactly when the platform's URL parser and its "
                        "scheme's text say http or https";
const char kNameFiles[] = "an accepted name makes files of that very name in the folder";
const char kNamePlain[] = "a plain name (letters, digits, \"-\", \"_\" and an extension) is accepted";
const char kTaken[] = "taken", kRefused[] = "refused", kAccepted[] = "accepted", kPlain[] = "plain";

// Makes the package and the files beside it as the download names them, and
// asks the file system what it made: each must be a file of exactly that
// name in `folder`, at exactly that path.
bool MakesFilesOfItsOwn(const std::wstring& folder, const std::wstring& name, std::string& why)
{
    for (const wchar_t* suffix : {L"", L".downloading", L".downloading.resume"})
    {
        const std::wstring path = folder + name + suffix;
        const std::string suffix8 = Utf8(suffix);
        FileHandle file(::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
        const DWORD error = ::GetLastError();
        WIN32_FIND_DATAW found{};
        FindHandle search(file ? ::FindFirstFileW(path.c_str(), &found) : INVALID_HANDLE_VALUE);
        wchar_t full[4 * MAX_PATH] = {};
        const DWORD length = ::GetFullPathNameW(path.c_str(), 4 * MAX_PATH, full, nullptr);
        why = !file ? "no file could be made of \"" + Utf8(name) + suffix8 + "\" (error " +
                          std::to_string(error) + ")"
              : !search                               ? "the folder holds no file of that name"
              : name + suffix != found.cFileName      ? "the file made is called " + Utf8(found.cFileName)
              : length != path.size() || path != full ? "the path leads to " + Utf8(full)
                                                      : "";
        if (!why.empty())
            return false;
    }
    return true;
}

// An address within the platform's own length limit whose scheme's own
// text is "http" or "https", followed by "://", that the platform's URL
// parser reads as such with a host; the parser alone takes a prefix of a
// scheme's name ("h://") for http.
bool WebByThePlatform(const std::wstring& url)
{
    wchar_t scheme[16] = {}, host[INTERNET_MAX_HOST_NAME_LENGTH + 1] = {};
    URL_COMPONENTSW parts{};
    parts.dwStructSize = sizeof parts;
    parts.lpszScheme = scheme;
    parts.dwSchemeLength = 15;
    parts.lpszHostName = host;
    parts.dwHostNameLength = INTERNET_MAX_HOST_NAME_LENGTH + 1;
    return url.size() <= INTERNET_MAX_URL_LENGTH &&
           ::InternetCrackUrlW(url.c_str(), static_cast<DWORD>(url.size()), 0, &parts) &&
           (parts.nScheme == INTERNET_SCHEME_HTTP || parts.nScheme == INTERNET_SCHEME_HTTPS) &&
           (_wcsicmp(scheme, L"http") == 0 || _wcsicmp(scheme, L"https") == 0) && host[0] &&
           url.compare(wcslen(scheme), 3, L"://") == 0;
}

// A name anyone would call plain: a stem of five or more letters, digits,
// "-" and "_", then one extension of letters and digits. Nothing about it is
// a device, a folder or too long.
bool LooksPlain(const std::wstring& name)
{
    const size_t dot = name.find(L'.');
    const auto plain = [](wchar_t c, bool stem)
    { return iswascii(c) && (iswalnum(c) || (stem && (c == L'-' || c == L'_'))); };
    if (dot == std::wstring::npos || dot < 5 || dot + 1 == name.size() || name.size() > 64)
        return false;
    return std::all_of(name.begin(), name.begin() + dot, [&](wchar_t c) { return plain(c, true); }) &&
           std::all_of(name.begin() + dot + 1, name.end(), [&](wchar_t c) { return plain(c, false); });
}

void RunPackageName(const std::string& input, Checker& check, const std::wstring& folder)
{
    std::wstring url;
    Utf8ToWide(url, input.data(), input.size());
    const bool web = IsWebAddress(url);
    const std::wstring name = LastUrlSegment(url);
    const bool usable = IsUsablePackageName(folder, name);
    check.Untimed(
        [&]
        {
            // A host whose first character leaves no doubt that it is one.
            const bool plainlyWeb = WebByThePlatform(url) && url.size() > url.find(L"://") + 3 &&
                                    iswalnum(url[url.find(L"://") + 3]);
            if (web)
                check.Expect(kNameWeb, kTaken, WebByThePlatform(url), "another scheme, or none");
            else
                check.Expect(kNameWeb, kRefused, !plainlyWeb, "an http or https address refused");
            // Wine makes no file whose name holds half a surrogate pair (its
            // file names are UTF-8); Windows would. Such names are not judged.
            bool halfPair = false;
            for (size_t i = 0; i < name.size() && !halfPair; ++i)
            {
                if (IS_HIGH_SURROGATE(name[i]) && i + 1 < name.size() && IS_LOW_SURROGATE(name[i + 1]))
                    ++i;
                else
                    halfPair = IS_HIGH_SURROGATE(name[i]) || IS_LOW_SURROGATE(name[i]);
            }
            // Nor are names whose longest file is over 255 bytes in UTF-8:
            // Wine's file system counts a name's bytes, Windows its 255 units.
            const bool overWinesLimit = Utf8(name + L".downloading.resume").size() > 255;
            std::string why;
            if (usable && !halfPair && !overWinesLimit)
                check.Expect(kNameFiles, kAccepted, MakesFilesOfItsOwn(folder, name, why), why);
            if (LooksPlain(name))
                check.Expect(kNamePlain, kPlain, usable, "refused");
        });
}

} // namespace

void AddPackageNameRoutine(std::vector<Routine>& routines, const FuzzPlaces& places)
{
    const std::wstring folder = places.nameFolder;
    routines.push_back(
        {"packagename",
         {"https://updates.example.com/packages/QoraSetup-3.0.exe", "http://h/a/%2e%2e/x.exe?y=1"},
         [](Generator& random)
         {
             const std::string start = random.Pick(
                 std::vector<std::string>{"http://h/", "HtTpS://h/", "file://h/", "http:\\\\h\\", "http:/"});
             return start + random.Pick(std::vector<std::string>{
                                "..", "...", "a\\..\\b.exe", "c:x.exe", "x.exe:s", "NUL .exe", "CON  .txt",
                                "COM1 .exe", "LPT1 .exe", "CONIN$", "CONOUT$.exe", "aux.a.b", "trail.",
                                "trail ", std::string(300, 'a'),
                                "\xE2\x80\xAE"
                                "exe.txt",
                                "x\xC0\xAF.exe"});
         },
         [folder](const std::string& input, Checker& check) { RunPackageName(input, check, folder); },
         {{kNameWeb, {kTaken, kRefused}}, {kNameFiles, {kAccepted}}, {kNamePlain, {kPlain}}}});
}
