#include "SerialState.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform.h"

namespace velmar::cli {

namespace {

// A number handed to a part whose record is not written yet, and the run
// that took it.
struct Taken {
    std::uint64_t number = 0;
    long pid = 0;
    std::string host;
};

} // namespace

struct SerialState::Contents {
    bool exists = false;
    bool dirty = false; // to be written back
    std::string id;
    std::optional<std::string> rule, job;
    std::uint64_t next = 0;
    std::vector<std::uint64_t> spoiled;
    std::vector<Taken> taken;
    std::vector<std::uint64_t> unrecorded; // taken by runs that ended without a record
    std::optional<std::uint64_t> lastPassed;
    long passed = 0;
};

namespace {

std::string NewId() {
    std::random_device device;
    std::mt19937_64 mix((static_cast<std::uint64_t>(device()) << 32) ^ device() ^
                        static_cast<std::uint64_t>(platform::ProcessId()));
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(mix()),
                  static_cast<unsigned long long>(mix()));
    return text;
}

bool UnsignedList(const nlohmann::json& o, const char* key, std::vector<std::uint64_t>& list) {
    if (!o.contains(key)) return true;
    if (!o[key].is_array()) return false;
    for (const auto& n : o[key]) {
        if (!n.is_number_unsigned()) return false;
        list.push_back(n.get<std::uint64_t>());
    }
    return true;
}

// What is wrong with the text as a state ("" when nothing).
std::string Parse(const std::string& text, SerialState::Contents& c) {
    const nlohmann::json o = nlohmann::json::parse(text, nullptr, false);
    if (!o.is_object()) return "not a JSON object";
    if (!o.contains("next") || !o["next"].is_number_unsigned())
        return "\"next\" is not a number of 0 or more";
    c.next = o["next"].get<std::uint64_t>();
    if (!UnsignedList(o, "spoiled", c.spoiled)) return "\"spoiled\" is not a list of numbers";
    if (!UnsignedList(o, "unrecorded", c.unrecorded))
        return "\"unrecorded\" is not a list of numbers";
    if (o.contains("taken")) {
        if (!o["taken"].is_array()) return "\"taken\" is not a list";
        for (const auto& t : o["taken"]) {
            if (!t.is_object() || !t.contains("number") || !t["number"].is_number_unsigned() ||
                !t.contains("pid") || !t["pid"].is_number_integer() || !t.contains("host") ||
                !t["host"].is_string())
                return "an entry of \"taken\" lacks its number, pid or host";
            c.taken.push_back({t["number"].get<std::uint64_t>(), t["pid"].get<long>(),
                               t["host"].get<std::string>()});
        }
    }
    if (o.contains("last_passed")) {
        if (!o["last_passed"].is_number_unsigned()) return "\"last_passed\" is not a number";
        c.lastPassed = o["last_passed"].get<std::uint64_t>();
    }
    if (o.contains("passed")) {
        if (!o["passed"].is_number_unsigned()) return "\"passed\" is not a count";
        c.passed = o["passed"].get<long>();
    }
    for (const char* key : {"id", "rule", "job"})
        if (o.contains(key) && !o[key].is_string())
            return "\"" + std::string(key) + "\" is not a text";
    if (o.contains("id")) c.id = o["id"].get<std::string>();
    if (o.contains("rule")) c.rule = o["rule"].get<std::string>();
    if (o.contains("job")) c.job = o["job"].get<std::string>();
    return "";
}

std::string Serialize(const SerialState::Contents& c) {
    nlohmann::ordered_json o;
    o["id"] = c.id;
    o["job"] = c.job.value_or("");
    o["rule"] = c.rule.value_or("");
    o["next"] = c.next;
    o["spoiled"] = c.spoiled;
    o["passed"] = c.passed;
    if (c.lastPassed) o["last_passed"] = *c.lastPassed;
    nlohmann::ordered_json taken = nlohmann::ordered_json::array();
    for (const Taken& t : c.taken)
        taken.push_back({{"number", t.number}, {"pid", t.pid}, {"host", t.host}});
    o["taken"] = taken;
    o["unrecorded"] = c.unrecorded;
    return o.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

// The file a name stands for: symbolic links followed, also one that points
// to a file not made yet, and the folders made canonical.
std::string ResolvedName(const std::string& name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path path(name);
    for (int hops = 0; hops < 40 && fs::is_symlink(path, ec); ++hops) {
        const fs::path target = fs::read_symlink(path, ec);
        if (ec) break;
        path = target.is_absolute() ? target : path.parent_path() / target;
    }
    const fs::path real = fs::weakly_canonical(path, ec);
    return ec || real.empty() ? path.string() : real.string();
}

std::string Quoted(const std::string& text) {
    return "'" + text + "'";
}

} // namespace

std::string DefaultSerialStatePath(const std::string& besidePath) {
    std::filesystem::path path(besidePath);
    path.replace_extension(".serial.json");
    return path.string();
}

bool SerialState::Open(const std::string& path, const SerialRule& rule,
                       const SerialStateOwner& owner, std::string& error) {
    path_ = path;
    rule_ = rule;
    owner_ = owner;
    // Every name of one file (a symbolic link, a relative name) takes one lock.
    real_ = ResolvedName(path);
    const auto behind = [&](const std::string& state) {
        return owner.logName + " holds serial numbers up to " + std::to_string(*owner.logged) +
               ", but " + path_ + " " + state + ": restore it, or give --serial-resume to " +
               "continue after " + std::to_string(*owner.logged);
    };
    return Update(
        false,
        [&](Contents& c) {
            if (!c.exists) {
                if (owner.logged && *owner.logged >= rule_.start) {
                    if (!owner.resume) {
                        error = behind("is missing");
                        return false;
                    }
                    resumeAfter_ = owner.logged;
                }
                return true;
            }
            if (owner.logged && *owner.logged >= c.next) {
                if (!owner.resume) {
                    error = behind("would hand out " + std::to_string(c.next) + " next");
                    return false;
                }
                c.next = *owner.logged + rule_.step;
                c.dirty = true;
            }
            SweepUnrecorded(c);
            // A state from before ids: given one now, so that losing it
            // later in the run is noticed.
            if (c.id.empty()) c.dirty = true;
            return true;
        },
        error);
}

bool SerialState::Check(const Contents& c, std::string& error) const {
    const std::string rule = SerialRuleText(rule_);
    if (c.rule && !c.rule->empty() && *c.rule != rule) {
        error = path_ + " holds the serial numbers of " + *c.rule + ", not of " + rule +
                "; nothing done (another rule needs a state of its own: --serial-state)";
        return false;
    }
    if (c.job && *c.job != owner_.job) {
        error = path_ + " belongs to " + (c.job->empty() ? "no job" : "job " + Quoted(*c.job)) +
                ", not to " + (owner_.job.empty() ? "a run without a job" : "job " + Quoted(owner_.job)) +
                "; nothing done";
        return false;
    }
    return true;
}

// Numbers taken on this computer by a run that no longer runs and never
// recorded them: their parts may hold them, so they are reported and kept
// apart, never handed out again (not even with --reuse-failed).
void SerialState::SweepUnrecorded(Contents& c) {
    const std::string host = platform::HostName();
    const long self = platform::ProcessId();
    for (auto t = c.taken.begin(); t != c.taken.end();) {
        const bool ended = t->host == host && t->pid != self && !platform::ProcessRuns(t->pid);
        if (!ended) {
            ++t;
            continue;
        }
        if (say_)
            say_("serial number " + std::to_string(t->number) +
                 " was taken by a run that ended without a record; it is not handed out again");
        c.unrecorded.push_back(t->number);
        t = c.taken.erase(t);
        c.dirty = true;
    }
}

template <typename Change>
bool SerialState::Update(bool mayCreate, Change change, std::string& error) {
    platform::FileLock lock;
    const std::string lockPath = real_ + ".lock";
    int number = 0;
    const auto busy = [&] {
        std::string holder;
        int ignored = 0;
        platform::ReadRegularFile(lockPath, holder, ignored);
        while (!holder.empty() && (holder.back() == '\n' || holder.back() == '\r'))
            holder.pop_back();
        if (say_)
            say_("waiting for " + path_ + ": another run holds its lock" +
                 (holder.empty() ? std::string() : " (" + holder + ")"));
    };
    if (!lock.Lock(lockPath, number, busy)) {
        error = "cannot lock " + lockPath + ": " + std::strerror(number);
        return false;
    }
    lock.Note("pid " + std::to_string(platform::ProcessId()) + " on " + platform::HostName() +
              "\n");
    Contents c;
    std::string text;
    switch (platform::ReadRegularFile(real_, text, number)) {
    case platform::ReadOutcome::Missing:
        if (!id_.empty()) {
            error = path_ + " disappeared during the run; nothing more programmed: restore it " +
                    "(its numbers were handed out)";
            return false;
        }
        break;
    case platform::ReadOutcome::NotRegular:
        error = id_.empty() ? path_ + " is not a regular file, so it cannot be a serial-number " +
                                  "state; nothing done"
                            : path_ + " was replaced during the run by something that is not a " +
                                  "file; nothing more programmed: restore it";
        return false;
    case platform::ReadOutcome::Failed:
        error = "cannot read " + path_ + ": " + std::strerror(number);
        return false;
    case platform::ReadOutcome::Read: {
        const std::string problem = Parse(text, c);
        if (!problem.empty()) {
            error = path_ + " is not a serial-number state file (" + problem + "); nothing done";
            return false;
        }
        c.exists = true;
        if (!id_.empty() && c.id != id_) {
            error = path_ + " was replaced during the run by another state; nothing more " +
                    "programmed: restore it";
            return false;
        }
        if (!Check(c, error)) return false;
        break;
    }
    }
    if (!c.exists && !mayCreate) return change(c);
    if (!change(c)) return false;
    if (!c.dirty) {
        if (!c.id.empty()) id_ = c.id;
        return true;
    }
    if (c.id.empty()) c.id = NewId();
    c.rule = SerialRuleText(rule_);
    c.job = owner_.job;
    if (!platform::ReplaceFileDurably(real_, Serialize(c), number)) {
        error = "cannot write " + path_ + ": " + std::strerror(number);
        return false;
    }
    id_ = c.id;
    return true;
}

std::optional<std::uint64_t> SerialState::Claim(bool reuseFailed, std::string& error) {
    std::optional<std::uint64_t> claimed;
    const bool updated = Update(
        true,
        [&](Contents& c) {
            if (!c.exists) {
                c.exists = true;
                c.next = resumeAfter_ ? *resumeAfter_ + rule_.step : rule_.start;
            }
            SweepUnrecorded(c);
            if (reuseFailed) {
                // A spoiled number the format cannot hold stays spoiled.
                const auto fits = std::find_if(c.spoiled.begin(), c.spoiled.end(),
                                               [&](std::uint64_t n) { return SerialFits(rule_.format, n); });
                if (fits != c.spoiled.end()) {
                    claimed = *fits;
                    c.spoiled.erase(fits);
                }
            }
            if (!claimed) {
                if (!SerialFits(rule_.format, c.next)) {
                    error = "serial number " + std::to_string(c.next) + " does not fit " +
                            SerialFormatName(rule_.format) + "; the numbers of " + path_ +
                            " have run out";
                    return false;
                }
                claimed = c.next;
                c.next += rule_.step;
            }
            c.taken.push_back({*claimed, platform::ProcessId(), platform::HostName()});
            c.dirty = true;
            return true;
        },
        error);
    if (!updated) return std::nullopt;
    return claimed;
}

bool SerialState::Settle(std::uint64_t number, bool passed, std::string& error) {
    return Update(
        false,
        [&](Contents& c) {
            if (!c.exists) {
                error = path_ + " disappeared during the run; nothing more programmed: restore " +
                        "it (its numbers were handed out)";
                return false;
            }
            const long self = platform::ProcessId();
            c.taken.erase(std::remove_if(c.taken.begin(), c.taken.end(),
                                         [&](const Taken& t) {
                                             return t.number == number && t.pid == self;
                                         }),
                          c.taken.end());
            if (passed) {
                c.lastPassed = number;
                ++c.passed;
            } else if (std::find(c.spoiled.begin(), c.spoiled.end(), number) == c.spoiled.end()) {
                c.spoiled.push_back(number);
            }
            c.dirty = true;
            return true;
        },
        error);
}

} // namespace velmar::cli
