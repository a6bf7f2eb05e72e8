#pragma once
// The serial numbers a production line has handed out, kept in a small JSON
// file that every run of the job shares: the next number, the spoiled ones
// (their part failed) and the last one that passed. Every change is made
// under a lock (FILE.lock beside it) and written atomically, so a number is
// never handed out twice, across stopped runs and across processes.

#include <cstdint>
#include <optional>
#include <string>

#include "SerialNumber.h"

namespace velmar::cli {

class SerialState {
  public:
    // Checks that the file can be read (when it exists) and written; the
    // rule's START counts only while the file does not exist yet.
    bool Open(const std::string& path, const SerialRule& rule, std::string& error);
    // The number for the next part: a spoiled one first when `reuseFailed`,
    // else the next, which moves on by the step. None with `error` set when
    // the file cannot be read or written or the numbers have run out.
    std::optional<std::uint64_t> Claim(bool reuseFailed, std::string& error);
    // The part with `number` passed (recorded as the last good one) or
    // failed (its number spoiled).
    bool Settle(std::uint64_t number, bool passed, std::string& error);

    const std::string& Path() const { return path_; }

    struct Contents; // what the file holds

  private:
    template <typename Change> bool Update(Change change, std::string& error);

    std::string path_;
    SerialRule rule_;
};

// Where the state is kept when not named: beside the job ("line.toml" ->
// "line.serial.json") or the image.
std::string DefaultSerialStatePath(const std::string& besidePath);

} // namespace velmar::cli
