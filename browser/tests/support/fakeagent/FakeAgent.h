#pragma once

// A recording stand-in for the agent library in unit tests: each of the agent's functions records
// its call, and tests inspect and script it through the functions below. Thread-safe: the agent's
// functions are called from several threads.

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

#include "agent/Varnhold64.h"

#if defined(_WIN32)
#if defined(FAKE_AGENT_BUILDING)
#define FAKE_AGENT_API __declspec(dllexport)
#else
#define FAKE_AGENT_API __declspec(dllimport)
#endif
#else
#define FAKE_AGENT_API __attribute__((visibility("default")))
#endif

namespace fake_agent {

struct Call {
    std::string function;               // e.g. "OnDocumentComplete"
    std::vector<std::wstring> strings;  // text arguments in the call's order
    kaprix_core::StringMap values;      // the map argument, when the function has one
    bool flag = false;                  // OnDocumentComplete's top-level flag
    int level = 0;                      // WriteLog's level
    kaprix_core::ReplyFunction reply;   // the reply function kept, when one was given
};

// Every call recorded since the last TakeCalls or Reset, oldest first; forgets them.
FAKE_AGENT_API std::vector<Call> TakeCalls();
// Every call recorded since the last TakeCalls or Reset, without forgetting them.
FAKE_AGENT_API std::vector<Call> PeekCalls();
// Waits until at least `count` calls are recorded; false when `timeout` passed first.
FAKE_AGENT_API bool WaitForCalls(std::size_t count, std::chrono::milliseconds timeout);
// Forgets the calls and restores the log level script to its default (always 1).
FAKE_AGENT_API void Reset();
// GetLogLevel answers these in order, then repeats the last one; an empty list means 1.
FAKE_AGENT_API void ScriptLogLevels(std::vector<int> levels);

}  // namespace fake_agent
