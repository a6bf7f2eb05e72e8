#pragma once
// The serial numbers a production line has handed out, kept in a small JSON
// file that every run of the job shares: the next number, the spoiled ones
// (their part failed), the ones taken and not yet recorded, and the last one
// that passed. Every change is made under a lock (FILE.lock beside the file
// the name resolves to, so every name of one state takes one lock) and
// written durably (synced, renamed into place, the folder synced) before the
// number is used, so a number is never handed out twice, across stopped and
// killed runs, power cuts and processes.
//
// The file carries who it belongs to (the job, the rule) and an id of its
// own: a state that disappears, is replaced or belongs to another rule stops
// the run with a sentence; it is never started again from START.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "SerialNumber.h"

namespace velmar::cli {

// What a run knows before it opens the state.
struct SerialStateOwner {
    std::string job; // the job's name; "" without a job
    // The highest number the run's logs hold for this job, and the log's
    // name: a state that is missing or behind it is refused unless `resume`,
    // which continues after it.
    std::optional<std::uint64_t> logged;
    std::string logName;
    bool resume = false;
};

class SerialState {
  public:
    // Sentences for the operator (a lock another process holds, numbers a
    // run left unrecorded); none when unset.
    void SetSay(std::function<void(const std::string&)> say) { say_ = std::move(say); }

    // Reads and checks the state when it exists; nothing is created here (a
    // run refused later leaves no state behind). False with `error` set when
    // it cannot be used.
    bool Open(const std::string& path, const SerialRule& rule, const SerialStateOwner& owner,
              std::string& error);
    bool Open(const std::string& path, const SerialRule& rule, std::string& error) {
        return Open(path, rule, SerialStateOwner{}, error);
    }
    // The number for the next part: a spoiled one first when `reuseFailed`,
    // else the next, which moves on by the step. It is recorded as taken and
    // on the disk before it returns. None with `error` set when the state
    // cannot be read or written, is no longer the one opened, or the numbers
    // have run out.
    std::optional<std::uint64_t> Claim(bool reuseFailed, std::string& error);
    // The part with `number` passed (recorded as the last good one) or
    // failed (its number spoiled).
    bool Settle(std::uint64_t number, bool passed, std::string& error);

    const std::string& Path() const { return path_; }

    struct Contents; // what the file holds

  private:
    // Reads the state under its lock, lets `change` alter it (false: refused,
    // with error set) and writes it back when changed.
    template <typename Change> bool Update(bool mayCreate, Change change, std::string& error);
    bool Check(const Contents& c, std::string& error) const;
    void SweepUnrecorded(Contents& c);

    std::string path_; // as named
    std::string real_; // what the name resolves to
    SerialRule rule_;
    SerialStateOwner owner_;
    std::string id_; // the file's own id, once seen or made
    std::optional<std::uint64_t> resumeAfter_;
    std::function<void(const std::string&)> say_;
};

// Where the state is kept when not named: beside the job ("line.toml" ->
// "line.serial.json") or the image.
std::string DefaultSerialStatePath(const std::string& besidePath);

} // namespace velmar::cli
