#pragma once
// The one invariant checker shared by every routine: what a routine's run
// expects, which of its checks judged the input, the time bound, inputs
// placed against guard pages so that a read or write past them faults, and
// the report of a crash or a hang with the input that caused it.

#include <windows.h>

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

// A routine taking longer than this on any input fails.
constexpr double kTimeBoundMs = 2000;

// A check and the classes of outcome it judges inputs in (an input
// accepted, one refused, ...): a check that never met one of them in a long
// run could not have failed there, and fails the run.
struct CheckSpec
{
    const char* name;
    std::vector<const char*> classes;
};

class Checker
{
  public:
    // Judges the current input by the check named `check` (one of the
    // routine's), in its class `outcome`; records the first broken
    // expectation.
    void Expect(const char* check, const char* outcome, bool ok, const std::string& what)
    {
        bool& failed = m_judged[{check, outcome}];
        failed = failed || !ok;
        if (!ok && m_failure.empty())
            m_failure = std::string(check) + " (" + outcome + "): " + what;
    }
    const std::string& Failure() const { return m_failure; }
    // The checks and classes that judged the current input, and whether each
    // failed.
    const std::map<std::pair<std::string, std::string>, bool>& Judged() const { return m_judged; }

    // Runs `verify` without counting its time against the routine: reading
    // back what a routine did is the checker's work, not the routine's.
    template <typename Verify> void Untimed(Verify verify)
    {
        const auto start = std::chrono::steady_clock::now();
        verify();
        m_untimedMs +=
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    }
    double UntimedMs() const { return m_untimedMs; }

  private:
    std::string m_failure;
    std::map<std::pair<std::string, std::string>, bool> m_judged;
    double m_untimedMs = 0;
};

// A copy of some bytes that ends where an inaccessible page begins and
// starts right after another when it fills its pages: touching a byte
// outside it is an access violation.
class GuardedBytes
{
  public:
    explicit GuardedBytes(const std::string& bytes);
    ~GuardedBytes();
    GuardedBytes(const GuardedBytes&) = delete;
    GuardedBytes& operator=(const GuardedBytes&) = delete;

    const unsigned char* Data() const { return m_data; }
    size_t Size() const { return m_size; }

  private:
    void* m_block = nullptr;
    unsigned char* m_data = nullptr;
    size_t m_size = 0;
};

// What runs now, for the report of a crash or a hang. `saveFolder` (may be
// empty) receives the input that caused it; `cleanUp` runs before the
// process ends.
void WatchForCrashesAndHangs(const std::wstring& saveFolder, void (*cleanUp)());
void SetCurrentInput(const char* routine, const std::string* input);

// Writes a failing input as <folder>\<routine>-<label>.bin; the file's name.
std::wstring SaveInput(const std::wstring& folder, const char* routine, const std::string& label,
                       const std::string& input);
