#include "PacketTrace.h"

#include <cerrno>

namespace velmar {

std::string PacketTrace::Line(const std::uint8_t* bytes, std::size_t count) {
    static const char kDigits[] = "0123456789ABCDEF";
    std::string line;
    const std::size_t head = count < 8 ? count : 8;
    line.reserve(head * 3 + 8);
    for (std::size_t i = 0; i < head; ++i) {
        if (i) line += ' ';
        line += kDigits[bytes[i] >> 4];
        line += kDigits[bytes[i] & 0x0F];
    }
    if (count > 8) line += " +" + std::to_string(count - 8);
    return line;
}

void PacketTrace::Restart(const std::string& path) {
    lines_.clear();
    writeError_ = 0;
    if (file_.is_open()) file_.close();
    file_.clear();
    errno = 0;
    if (!path.empty()) file_.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
    if (!path.empty() && !file_.is_open()) writeError_ = errno != 0 ? errno : EIO;
}

void PacketTrace::Add(const std::uint8_t* bytes, std::size_t count) {
    lines_.push_back(Line(bytes, count));
    if (file_.is_open() && writeError_ == 0) {
        errno = 0;
        file_ << lines_.back() << '\n';
        file_.flush();
        if (!file_) writeError_ = errno != 0 ? errno : EIO;
    }
}

} // namespace velmar
