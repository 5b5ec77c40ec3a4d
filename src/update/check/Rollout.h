#pragma once
// A release offered to a share of machines at a time. The server stays one
// static answer for every machine: the reply names the share, and each
// machine places itself by an identity that never leaves it. The same
// machines go first for one version; another version reshuffles them.

#include <optional>
#include <string>

// The reply's <rollout> text: the share of machines offered the release, in
// per cent, a whole number from 0 to 100 in decimal digits; nothing for any
// other text.
std::optional<int> ParseRolloutShare(const std::wstring& text);

// The machine's place for `version`, 0 to 99: the first four bytes of the
// SHA-256 of the UTF-8 text "<machineGuid in lower case>/<version>", as a
// big-endian number, modulo 100. 0 for an empty machineGuid, as for a
// machine whose identity cannot be read. It is offered a release whose share
// is above its place.
int RolloutBucket(const std::wstring& machineGuid, const std::wstring& version);

// HKLM\SOFTWARE\Microsoft\Cryptography "MachineGuid" from the 64-bit view;
// empty when it cannot be read.
std::wstring ReadMachineGuid();
