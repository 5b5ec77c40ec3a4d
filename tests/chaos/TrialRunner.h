#pragma once
// Runs one chaos trial: scripts the fault server, leaves what an earlier run
// would have left, starts the real wizard in a temporary folder of its own,
// plays the user (Next, the error box, Finish, and the planned Cancel and
// its answer) and collects what the trial showed and left.

#include <string>

#include "Invariants.h"
#include "TrialPlan.h"
#include "harness/Process.h"
#include "harness/Servers.h"
#include "harness/Window.h"

namespace chaos
{
class TrialRunner
{
  public:
    // `folder` (with a trailing backslash) holds one folder per trial;
    // `wineOutput` is the file that receives Wine's standard error.
    TrialRunner(const Served& served, const std::wstring& folder, const std::wstring& wineOutput);

    Observation Run(const TrialPlan& plan);
    // The trial's folder, kept for a look when an invariant broke.
    std::wstring TrialFolder(const TrialPlan& plan) const;
    void RemoveTrialFolder(const TrialPlan& plan) const;

  private:
    void Prepare(const TrialPlan& plan, Observation& seen);
    // Records what the user did and saw in `seen`.
    void PlayUser(const TrialPlan& plan, Observation& seen, const harness::Process& wizard) const;
    void Collect(Observation& seen) const;

    const Served& m_served;
    harness::FaultServer m_server;
    std::wstring m_folder;
    std::wstring m_wineOutput;
    // The trial now running: its temporary and working folders, and where
    // its part of Wine's output begins.
    std::wstring m_temp, m_work;
    unsigned long long m_outputFrom = 0;
};
} // namespace chaos
