#pragma once
// Every routine of the program that reads outside input, as the fuzzing run
// drives it: valid seeds to mutate, the structural extremes of its input,
// and a run that feeds one input and checks what can be judged.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "fuzz/Checker.h"
#include "fuzz/Generator.h"

struct Routine
{
    const char* name; // also the prefix of its regression files
    std::vector<std::string> seeds;
    std::function<std::string(Generator&)> extreme;
    std::function<void(const std::string& input, Checker& check)> run;
    // The checks `run` judges inputs by, as it names them to the checker,
    // each with the classes of outcome it must meet.
    std::vector<CheckSpec> checks;
};

// Where the routines put the files they read: the settings file at its own
// place, "netsetting.xml" in the current folder (a folder of the run's own),
// registry values under a key of the run's own.
struct FuzzPlaces
{
    std::wstring iniPath;
    std::wstring registryKey; // under HKEY_CURRENT_USER
    std::wstring sidePath;    // a file of the run's own that the platform's readers are given
    std::wstring nameFolder;  // an empty folder of the run's own, with its trailing backslash
};

// Settings-file texts at their extremes, in any of the file's encodings.
std::string IniExtreme(Generator& random);

// A name asked of the settings file.
struct IniName
{
    std::wstring section, key;
};
// The entries of a settings text in order, at most `limit`, as plain line
// splitting finds them; with `firstSectionsOnly`, only those in the first
// section of each name, which are the ones the readers see, and none at all
// where plain splitting cannot tell which those are (a section of one name
// twice, a zero or an end-of-file mark).
std::vector<IniName> IniEntryNames(const std::wstring& text, size_t limit, bool firstSectionsOnly);
// A value as ReadUpdateSetting gives it, in the branch g_bIniIsUtf8 names.
std::wstring ReadIniValue(const IniName& name, int capacity);
// What the platform's profile reader gives for a name from the file at
// `path` into a buffer of `capacity` units; for each name from `bytes`
// written to `path` first.
std::wstring PlatformRead(const std::wstring& path, const IniName& name, int capacity);
std::vector<std::wstring> PlatformReads(const std::wstring& path, const std::string& bytes,
                                        const std::vector<IniName>& names, int capacity);
// Whether a settings file's bytes call for the UTF-8 branch of its readers,
// as the platform's strict decoder tells it; nothing where it cannot tell.
std::optional<bool> Utf8ByThePlatform(const std::string& bytes);
// The file's text as the platform decodes it in that branch.
std::wstring PlatformText(const std::string& bytes, bool utf8);
// UTF-8 bytes as the platform's profile reader reads them as UTF-8: after a
// byte-order mark.
std::string MarkedUtf8(const std::string& bytes);

void AddDocumentRoutines(std::vector<Routine>& routines, const FuzzPlaces& places);
void AddNetSettingRoutine(std::vector<Routine>& routines);
void AddCheckRoutine(std::vector<Routine>& routines);
void AddPackageNameRoutine(std::vector<Routine>& routines, const FuzzPlaces& places);
void AddTextRoutines(std::vector<Routine>& routines, const FuzzPlaces& places);
void AddTrustRoutines(std::vector<Routine>& routines);

// Writes a file whole and gives it a last-write time of its own, so that the
// platform's profile reader, which keeps files by that time, reads it anew.
void WriteInputFile(const std::wstring& path, const std::string& bytes);
std::string ReadInputFile(const std::wstring& path);
std::string Utf8(const std::wstring& text);
// Valid UTF-8 by the platform's strict decoder, which gives `text`.
bool StrictUtf8(const std::string& bytes, std::wstring& text);
bool IsStrictUtf8(const std::string& bytes);
// Starts with a UTF-16 byte-order mark, either byte order.
bool IsUtf16WithMark(const std::string& bytes);
