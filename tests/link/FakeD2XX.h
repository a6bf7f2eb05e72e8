#pragma once
// A recording D2XX table: every call is logged, statuses can be forced per
// function, and replies are queued by the test or a scripted firmware. Reads
// return at once with what is queued, so tests never wait on a read time-out.
// The devices listed, opened and closed are the virtual programmer's (its
// device count, serial number and description); ResetFake resets it too.

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "link/D2XXApi.h"

namespace velmar::test {

struct FakeD2XX {
    // Forced status per function name ("FT_Write", "FT_GetQueueStatus", ...).
    std::map<std::string, FT_STATUS> status;
    // Every call, in order, by function name.
    std::vector<std::string> calls;
    std::vector<DWORD> listFlags;
    std::vector<std::uintptr_t> listIndexes;
    std::vector<std::string> openSerials;
    std::vector<std::vector<std::uint8_t>> writes;
    std::vector<DWORD> readCounts;
    ULONG readTimeoutMs = 0;
    ULONG writeTimeoutMs = 0;
    int latencyMs = 16;
    int closes = 0;

    // Bytes the host has not read yet.
    std::deque<std::uint8_t> queue;
    // Called with each written packet; may queue a reply.
    std::function<void(const std::vector<std::uint8_t>&)> firmware;
    // A listed text as the driver would write it, even one longer than any
    // device has (overrides the virtual programmer's).
    std::string listedText;

    void Queue(const std::vector<std::uint8_t>& bytes) {
        queue.insert(queue.end(), bytes.begin(), bytes.end());
    }
    int Count(const std::string& call) const;
};

FakeD2XX& Fake();
void ResetFake();
const D2XXBackend& FakeBackend();

} // namespace velmar::test
