#include "HexReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "HexText.h"

namespace velmar {

namespace {

// Only the first 256 characters of an ASCII hex line are ever looked at; an
// Intel or Motorola line is looked at up to its longest legal record (Intel:
// mark, count, address, type, 255 data bytes and the checksum).
constexpr std::size_t kAsciiLineCut = 256;
constexpr std::size_t kRecordLineCut = 1 + 2 * (1 + 2 + 1 + 255 + 1);
constexpr char kCtrlZ = 0x1A;
// Twenty address bits: all that the window's addresses and its Hex Offset reach.
constexpr std::int64_t kAddressMask = 0xFFFFF;

// Characters of a text file, line by line. A line runs up to and including
// its CR or LF, so CR LF yields the line and then a line holding only LF.
// Ctrl-Z counts as the end of the file; a UTF-8 byte-order mark at the very
// start is not part of the text. More than kHexInputLimit bytes, or a line of
// more than kHexLineLimit characters without a line end, is refused: no data
// file for a 64 KiB buffer needs either, and a device or a pipe may never end.
// With `stripBlanks`, blanks at the start of a line are left out, so that an
// indented record keeps all of its characters within the cut.
class LineSource {
  public:
    LineSource(std::FILE* stream, std::size_t cut, bool stripBlanks)
        : stream_(stream), cut_(cut), stripBlanks_(stripBlanks) {}

    // The next line; empty at the end of the file (or on a read error, see
    // Failed(), or a refusal, see Refusal()).
    void Next(std::string& line) {
        line.clear();
        lineNumber_ = physicalLine_;
        std::size_t length = 0;
        while (!AtEnd()) {
            const char c = block_[pos_++];
            const bool leadingBlank = stripBlanks_ && line.empty() && (c == ' ' || c == '\t');
            if (line.size() < cut_ && !leadingBlank) line.push_back(c);
            if (c == '\n') {
                if (!afterCr_) ++physicalLine_;
                afterCr_ = false;
                break;
            }
            afterCr_ = false;
            if (c == '\r') {
                ++physicalLine_;
                afterCr_ = true;
                break;
            }
            if (++length > kHexLineLimit) {
                refusal_ = "line " + std::to_string(lineNumber_) + " has more than " +
                           std::to_string(kHexLineLimit) + " characters without a line end";
                ended_ = true;
                break;
            }
        }
    }

    // Line number as an editor counts it (CR LF, LF or CR end a line).
    int LineNumber() const { return lineNumber_; }
    bool Failed() const { return error_ != 0; }
    int Error() const { return error_; }
    const std::string& Refusal() const { return refusal_; }

    bool AtEnd() {
        if (ended_) return true;
        if (pos_ == size_) {
            errno = 0;
            size_ = std::fread(block_.data(), 1, block_.size(), stream_);
            pos_ = 0;
            if (size_ == 0) {
                if (std::ferror(stream_)) error_ = errno ? errno : EIO;
                ended_ = true;
                return true;
            }
            if (total_ == 0 && size_ >= 3 && static_cast<unsigned char>(block_[0]) == 0xEF &&
                static_cast<unsigned char>(block_[1]) == 0xBB &&
                static_cast<unsigned char>(block_[2]) == 0xBF)
                pos_ = 3;
            total_ += static_cast<std::int64_t>(size_);
            if (total_ > kHexInputLimit) {
                refusal_ = "the file holds more than " + std::to_string(kHexInputLimit >> 20) +
                           " MiB of text";
                ended_ = true;
                return true;
            }
            if (pos_ == size_) return AtEnd();
        }
        if (block_[pos_] == kCtrlZ) ended_ = true;
        return ended_;
    }

  private:
    std::FILE* stream_;
    std::size_t cut_;
    bool stripBlanks_;
    std::array<char, 16384> block_; // filled by fread before it is read
    std::size_t size_ = 0;
    std::size_t pos_ = 0;
    std::int64_t total_ = 0;
    bool ended_ = false;
    bool afterCr_ = false;
    int physicalLine_ = 1;
    int lineNumber_ = 0;
    int error_ = 0;
    std::string refusal_;
};

// Sum of the byte pairs of a record, or -1 when fewer than the record's own
// count byte announces are there. Used only to check record checksums; the
// stored data come from the field conversion.
int RecordSum(std::string_view text, int extraBytes) {
    auto pair = [&](std::size_t i) {
        if (2 * i + 1 >= text.size()) return -1;
        const int hi = HexDigitValue(text[2 * i]);
        const int lo = HexDigitValue(text[2 * i + 1]);
        return hi < 0 || lo < 0 ? -1 : hi * 16 + lo;
    };
    const int count = pair(0);
    if (count < 0) return -1;
    int sum = 0;
    for (std::size_t i = 0; i < static_cast<std::size_t>(count + extraBytes + 1); ++i) {
        const int b = pair(i);
        if (b < 0) return -1;
        sum += b;
    }
    return sum & 0xFF;
}

// Intel: count, address (2), type, data and checksum add up to 0.
bool IntelChecksumGood(std::string_view afterMark) {
    return RecordSum(afterMark, 4) == 0;
}
// Motorola: count, address, data and checksum add up to 0xFF.
bool MotorolaChecksumGood(std::string_view afterType) {
    return RecordSum(afterType, 0) == 0xFF;
}

bool IsBlankLine(std::string_view line) {
    return line.find_first_not_of(" \t\r\n\f\v") == std::string_view::npos;
}

// The value each file address was given, so that two records that disagree
// are found. Addresses below 1 MiB (all that 20 bits reach) are kept in a
// table, any higher S3 address in a map.
class AddressValues {
  public:
    // The value given before when it differs from `value`.
    std::optional<std::uint8_t> Give(std::int64_t address, std::uint8_t value) {
        const std::uint16_t mark = static_cast<std::uint16_t>(value + 1);
        std::uint16_t* slot = nullptr;
        if (address >= 0 && address < kTableSize) {
            if (low_.empty()) low_.assign(kTableSize, 0);
            slot = &low_[static_cast<std::size_t>(address)];
        } else {
            slot = &high_[address];
        }
        const std::uint16_t before = *slot;
        *slot = mark;
        if (before == 0 || before == mark) return std::nullopt;
        return static_cast<std::uint8_t>(before - 1);
    }

  private:
    static constexpr std::int64_t kTableSize = 0x100000;
    std::vector<std::uint16_t> low_; // value + 1; 0: not given
    std::unordered_map<std::int64_t, std::uint16_t> high_;
};

class Reader {
  public:
    Reader(FileType fileType, DataBuffer& buffer, const AddressWindow& window, FrontPanel& panel,
           HexLoadResult& result)
        : fileType_(fileType), buffer_(buffer), window_(window), panel_(panel), result_(result),
          mask_(static_cast<std::uint32_t>(window.DeviceLimit > 0 ? FoldMask(window.DeviceLimit)
                                                                  : kAddressMask)) {}

    // False when a field failed; the result then names it.
    bool Line(const std::string& text, int lineNumber) {
        line_ = text;
        const std::string_view mark = Take(1);
        const std::size_t cut = fileType_ == AsciiHexFileType ? kAsciiLineCut : kRecordLineCut;
        if (line_.size() > cut - 1) line_ = line_.substr(0, cut - 1);
        lineNumber_ = lineNumber;

        if (fileType_ == IntelHexFileType && mark == ":") {
            const std::string_view body = line_;
            bool defined = true;
            if (!IntelRecord(defined)) return false;
            if (!defined) return Skipped(lineNumber);
            if (!IntelChecksumGood(body)) BadChecksum(lineNumber);
        } else if (fileType_ == MotorolaHexFileType && mark == "S" && !line_.empty() &&
                   line_[0] >= '0' && line_[0] <= '9') {
            const int sType = Take(1)[0] - '0';
            const std::string_view body = line_;
            if (sType >= 7) {
                EndRecord();
            } else if (sType >= 1 && sType <= 3) {
                if (!SRecord(sType)) return false;
            } else if (sType == 4) {
                return Skipped(lineNumber); // reserved: no such record
            } else {
                return true; // S0 header, S5 and S6 counts
            }
            if (!MotorolaChecksumGood(body)) BadChecksum(lineNumber);
        } else if (fileType_ == AsciiHexFileType) {
            return AsciiLine(mark);
        } else if ((fileType_ == IntelHexFileType || fileType_ == MotorolaHexFileType) &&
                   !IsBlankLine(text)) {
            return Skipped(lineNumber);
        }
        return true;
    }

  private:
    // Takes up to n characters off the front of the line.
    std::string_view Take(std::size_t n) {
        const std::size_t len = std::min(n, line_.size());
        field_.assign(line_.data(), len);
        line_.remove_prefix(len);
        return field_;
    }

    // A field read as a hexadecimal number after a "$": nothing left, or any
    // character that is not a hex digit, fails.
    bool Field(std::size_t digits, std::uint32_t& value) {
        const std::optional<std::uint32_t> parsed = ParseHex(Take(digits), digits);
        if (!parsed) {
            result_.badField = "$" + field_;
            result_.badLine = lineNumber_;
            panel_.ShowMessage(BoxKind::Error, InvalidIntegerText(result_.badField));
            return false;
        }
        value = *parsed;
        return true;
    }

    // `defined`: false for a type Intel hex has no record for (06 and up).
    bool IntelRecord(bool& defined) {
        std::uint32_t count = 0, address = 0, type = 0;
        if (!Field(2, count) || !Field(4, address) || !Field(2, type)) return false;
        result_.LoadAddress = static_cast<std::int32_t>(address);
        switch (type) {
        case 0x00:
            return StoreRecordData(static_cast<std::int32_t>(count), address);
        case 0x01:
            EndRecord();
            return true;
        case 0x02: {
            std::uint32_t word = 0;
            if (!Field(4, word)) return false;
            segmentBase_ = word * 16u;
            return true;
        }
        case 0x04: {
            std::uint32_t word = 0;
            if (!Field(4, word)) return false;
            linearBase_ = word * 65536u;
            return true;
        }
        case 0x03:
        case 0x05:
            return true; // start addresses: nothing to load
        default:
            defined = false;
            return true;
        }
    }

    bool SRecord(int sType) {
        std::uint32_t countField = 0, address = 0;
        if (!Field(2, countField)) return false;
        std::int32_t count = static_cast<std::int32_t>(countField) - 3;
        std::size_t addressDigits = 4;
        if (sType == 2) {
            count -= 1;
            addressDigits = 6;
        } else if (sType == 3) {
            count -= 2;
            addressDigits = 8;
        }
        if (!Field(addressDigits, address)) return false;
        result_.LoadAddress = static_cast<std::int32_t>(address & 0xFFFFFu);
        return StoreRecordData(count, address);
    }

    // The record's start address is folded; its bytes run on from there.
    // `recordAddress` is the address as the record wrote it, so that bytes
    // the fold moved, or that run past the device's end, are counted.
    bool StoreRecordData(std::int32_t count, std::uint32_t recordAddress) {
        const std::uint32_t folded =
            (static_cast<std::uint32_t>(result_.LoadAddress) + segmentBase_ + linearBase_ +
             static_cast<std::uint32_t>(window_.HexOffset)) &
            mask_;
        const std::int64_t wanted =
            OffsetAddress(std::int64_t{recordAddress} + segmentBase_ + linearBase_);
        if (count > 0 && wanted != folded) result_.folded = true;
        result_.LoadAddress = static_cast<std::int32_t>(folded);
        panel_.Progress(ProgressOf::FileLoad, result_.LoadAddress);
        for (std::int32_t i = 0; i < count; ++i) {
            std::uint32_t value = 0;
            if (!Field(2, value)) return false;
            NoteConflict(wanted + i, static_cast<std::uint8_t>(value));
            if (Store(std::int64_t{result_.LoadAddress} + i, value)) NoteBeyond(wanted + i);
        }
        return true;
    }

    void NoteConflict(std::int64_t address, std::uint8_t value) {
        const std::optional<std::uint8_t> before = given_.Give(address, value);
        if (!before) return;
        if (result_.conflictingBytes++ > 0) return;
        result_.firstConflictAddress = address;
        result_.firstConflictValues[0] = *before;
        result_.firstConflictValues[1] = value;
        result_.firstConflictLine = lineNumber_;
    }

    bool Skipped(int lineNumber) {
        if (result_.skippedLines++ == 0) result_.firstSkippedLine = lineNumber;
        return true;
    }

    // The offset is added within 20 bits, as the window's Hex Offset wraps:
    // D0000 brings a file linked at 30000 down to 0. An address the file
    // puts past 20 bits (S3) keeps its distance.
    std::int64_t OffsetAddress(std::int64_t address) const {
        const std::int64_t moved = address + window_.HexOffset;
        return address <= kAddressMask ? moved & kAddressMask : moved;
    }

    void EndRecord() {
        result_.EndRecordMet = true;
        result_.endRecordLine = lineNumber_;
    }

    // With no device chosen (no limit), nothing lies beyond its end.
    void NoteBeyond(std::int64_t address) {
        if (window_.DeviceLimit <= 0 || address <= window_.DeviceEnd) return;
        if (result_.beyondBytes++ == 0) result_.firstBeyondAddress = address;
    }

    // ASCII hex: every pair of characters, terminator included, is a byte.
    bool AsciiLine(std::string_view mark) {
        std::string whole(mark);
        whole.append(line_);
        line_ = whole;
        if ((asciiPosition_ & 0xFF) == 0)
            panel_.Progress(ProgressOf::FileLoad, static_cast<std::int32_t>(asciiPosition_));
        const std::size_t n = whole.size() / 2;
        for (std::size_t i = 0; i < n; ++i) {
            std::uint32_t value = 0;
            if (!Field(2, value)) return false;
            if (Store(asciiPosition_, value)) NoteBeyond(asciiPosition_);
            ++asciiPosition_;
            result_.LoadAddress = static_cast<std::int32_t>(asciiPosition_);
        }
        return true;
    }

    // False when the position lies past the buffer: the byte is dropped,
    // counted as such and not as beyond the device's end.
    bool Store(std::int64_t position, std::uint32_t value) {
        if (!DataBuffer::Contains(position)) {
            ++result_.droppedBytes;
            return false;
        }
        const auto p = static_cast<std::int32_t>(position);
        buffer_[p] = static_cast<std::uint8_t>(value);
        ++result_.storedBytes;
        result_.highestPosition = std::max(result_.highestPosition, p);
        result_.storedAt[static_cast<std::size_t>(p)] = true;
        const std::int32_t first = window_.BufferStart;
        if (p >= first && p - first <= window_.DeviceEnd - window_.DeviceStart)
            ++result_.rangeBytes;
        return true;
    }

    void BadChecksum(int lineNumber) {
        if (result_.badChecksumRecords++ == 0) result_.firstBadChecksumLine = lineNumber;
    }

    FileType fileType_;
    DataBuffer& buffer_;
    const AddressWindow& window_;
    FrontPanel& panel_;
    HexLoadResult& result_;
    std::uint32_t mask_;
    std::uint32_t segmentBase_ = 0;
    std::uint32_t linearBase_ = 0;
    std::int64_t asciiPosition_ = 0;
    std::string_view line_;
    std::string field_;
    int lineNumber_ = 0;
    AddressValues given_;
};

} // namespace

std::int32_t FoldMask(std::int32_t deviceLimit) {
    if (deviceLimit <= 0) return deviceLimit;
    std::uint32_t m = static_cast<std::uint32_t>(deviceLimit);
    m |= m >> 1;
    m |= m >> 2;
    m |= m >> 4;
    m |= m >> 8;
    m |= m >> 16;
    return static_cast<std::int32_t>(m);
}

std::string InvalidIntegerText(const std::string& convertedField) {
    return "'" + convertedField + "' is not a valid integer value.";
}

HexLoadResult LoadHexStream(std::FILE* stream, FileType fileType, DataBuffer& buffer,
                            const AddressWindow& window, FrontPanel& panel) {
    HexLoadResult result;
    result.storedAt.assign(kBufferSize, false);
    Reader reader(fileType, buffer, window, panel, result);
    // ASCII hex has no mark: every character of its lines is data.
    const bool ascii = fileType == AsciiHexFileType;
    LineSource source(stream, ascii ? kAsciiLineCut : kRecordLineCut, !ascii);
    std::string line;
    // At least one line, empty for an empty file, as the reading loop tests
    // for the end only after a line.
    do {
        source.Next(line);
        if (!source.Refusal().empty()) {
            result.refusal = source.Refusal();
            return result;
        }
        if (!panel.ContinueLoad(source.LineNumber())) {
            result.stopped = true;
            return result;
        }
        if (!reader.Line(line, source.LineNumber())) return result;
    } while (!result.EndRecordMet && !source.AtEnd());
    // What follows the end record is not read, but it is not passed over in
    // silence either (two files run together): its lines are counted. A line
    // too long to be a record ends the count, as it would end the load.
    while (result.EndRecordMet && source.Refusal().empty() && !source.AtEnd()) {
        source.Next(line);
        if (!panel.ContinueLoad(source.LineNumber())) {
            result.stopped = true;
            return result;
        }
        if (IsBlankLine(line)) continue;
        if (result.linesAfterEnd++ == 0) result.firstLineAfterEnd = source.LineNumber();
    }
    if (!source.Refusal().empty() && !result.EndRecordMet) {
        result.refusal = source.Refusal();
        return result;
    }
    if (source.Failed()) {
        result.systemError = std::strerror(source.Error());
        return result;
    }
    result.ok = true;
    panel.Status("Hex File Loaded....");
    return result;
}

HexLoadResult LoadHexFile(const std::string& path, FileType fileType, DataBuffer& buffer,
                          const AddressWindow& window, FrontPanel& panel) {
    panel.Status("Loading Buffer from Hex File....");
    panel.PumpEvents();
    errno = 0;
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (!stream) {
        HexLoadResult result;
        result.systemError = std::strerror(errno ? errno : ENOENT);
        return result;
    }
    HexLoadResult result = LoadHexStream(stream, fileType, buffer, window, panel);
    std::fclose(stream);
    return result;
}

} // namespace velmar
