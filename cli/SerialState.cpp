#include "SerialState.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include <nlohmann/json.hpp>

#include "Platform.h"
#include "buffer/FileReplacement.h"

namespace velmar::cli {

struct SerialState::Contents {
    std::uint64_t next = 0;
    std::vector<std::uint64_t> spoiled;
    std::optional<std::uint64_t> lastPassed;
    long passed = 0;
};

namespace {

bool Load(const std::string& path, const SerialRule& rule, SerialState::Contents& c,
          std::string& error);

} // namespace

std::string DefaultSerialStatePath(const std::string& besidePath) {
    std::filesystem::path path(besidePath);
    path.replace_extension(".serial.json");
    return path.string();
}

bool SerialState::Open(const std::string& path, const SerialRule& rule, std::string& error) {
    path_ = path;
    rule_ = rule;
    // Read and written back unchanged: both are found out before any part.
    return Update([](Contents&) { return true; }, error);
}

template <typename Change> bool SerialState::Update(Change change, std::string& error) {
    platform::FileLock lock;
    int number = 0;
    if (!lock.Lock(path_ + ".lock", number)) {
        error = "cannot lock " + path_ + ".lock: " + std::strerror(number);
        return false;
    }
    Contents c;
    if (!Load(path_, rule_, c, error)) return false;
    if (!change(c)) return false;
    nlohmann::json o;
    o["rule"] = SerialRuleText(rule_);
    o["next"] = c.next;
    o["spoiled"] = c.spoiled;
    o["passed"] = c.passed;
    if (c.lastPassed) o["last_passed"] = *c.lastPassed;
    const std::string text = o.dump(2) + "\n";
    FileReplacement out(path_);
    if (!out.Open() || !out.Write(text.data(), text.size()) || !out.Commit()) {
        error = "cannot write " + path_ + ": " + out.Error();
        return false;
    }
    return true;
}

std::optional<std::uint64_t> SerialState::Claim(bool reuseFailed, std::string& error) {
    std::optional<std::uint64_t> claimed;
    const bool updated = Update(
        [&](Contents& c) {
            if (reuseFailed && !c.spoiled.empty()) {
                claimed = c.spoiled.front();
                c.spoiled.erase(c.spoiled.begin());
                return true;
            }
            if (!SerialFits(rule_.format, c.next)) {
                error = "serial number " + std::to_string(c.next) + " does not fit " +
                        SerialFormatName(rule_.format) + "; the numbers of " + path_ +
                        " have run out";
                return false;
            }
            claimed = c.next;
            c.next += rule_.step;
            return true;
        },
        error);
    if (!updated) return std::nullopt;
    return claimed;
}

bool SerialState::Settle(std::uint64_t number, bool passed, std::string& error) {
    return Update(
        [&](Contents& c) {
            if (passed) {
                c.lastPassed = number;
                ++c.passed;
            } else if (std::find(c.spoiled.begin(), c.spoiled.end(), number) == c.spoiled.end()) {
                c.spoiled.push_back(number);
            }
            return true;
        },
        error);
}

namespace {

bool Load(const std::string& path, const SerialRule& rule, SerialState::Contents& c,
          std::string& error) {
    c.next = rule.start;
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;
    std::ifstream in(path, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in) {
        error = "cannot read " + path;
        return false;
    }
    const nlohmann::json o = nlohmann::json::parse(text, nullptr, false);
    if (!o.is_object() || !o.contains("next") || !o["next"].is_number_unsigned()) {
        error = path + " is not a serial-number state file; nothing done";
        return false;
    }
    c.next = o["next"].get<std::uint64_t>();
    if (o.contains("spoiled") && o["spoiled"].is_array())
        for (const auto& n : o["spoiled"])
            if (n.is_number_unsigned()) c.spoiled.push_back(n.get<std::uint64_t>());
    if (o.contains("last_passed") && o["last_passed"].is_number_unsigned())
        c.lastPassed = o["last_passed"].get<std::uint64_t>();
    if (o.contains("passed") && o["passed"].is_number_integer()) c.passed = o["passed"].get<long>();
    return true;
}

} // namespace

} // namespace velmar::cli
