#pragma once
// The packet trace: one line per packet the host wrote, kept in memory and,
// when asked, appended to a file as it happens (a crash keeps what was sent).

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace velmar {

class PacketTrace {
  public:
    // "92 00 00 00 F7 3F B0 78"; longer than 8 bytes: the first 8, " +" and
    // the count of the rest ("41 05 00 00 40 FF 3F C4 +256").
    static std::string Line(const std::uint8_t* bytes, std::size_t count);

    // Starts a new trace; a file name truncates that file.
    void Restart(const std::string& path);
    void Add(const std::uint8_t* bytes, std::size_t count);
    void Clear() { lines_.clear(); }
    const std::vector<std::string>& Lines() const { return lines_; }
    // The errno value of the first line the file did not take (a full disk);
    // 0 while every line was written.
    int WriteFailed() const { return writeError_; }

  private:
    std::vector<std::string> lines_;
    std::ofstream file_;
    int writeError_ = 0;
};

} // namespace velmar
