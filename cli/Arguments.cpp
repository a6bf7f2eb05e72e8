#include "Arguments.h"

#include <algorithm>
#include <cctype>

#include "devices/DeviceCatalogue.h"

namespace velmar::cli {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool StartsWith(const std::string& text, const std::string& head) {
    return text.compare(0, head.size(), head) == 0;
}

struct OperationName {
    const char* name;
    Operation operation;
    bool takesFile;
};

constexpr OperationName kOperations[] = {
    {"read", Operation::Read, true},       {"verify", Operation::Verify, true},
    {"blank", Operation::Blank, false},    {"compare", Operation::Compare, true},
    {"program", Operation::Program, true}, {"erase", Operation::Erase, false},
    {"lock", Operation::Lock, false},
};

const OperationName* FindOperation(const std::string& word) {
    for (const auto& op : kOperations)
        if (word == op.name) return &op;
    return nullptr;
}

// Options that take a value accept both "--opt VALUE" and "--opt=VALUE".
class Cursor {
  public:
    explicit Cursor(const std::vector<std::string>& args) : args_(args) {}
    bool Done() const { return next_ >= args_.size(); }
    const std::string& Take() { return args_[next_++]; }
    bool TakeValue(const std::string& option, const std::string& word, std::string& value,
                   std::string& error) {
        if (word.size() > option.size() && word[option.size()] == '=') {
            value = word.substr(option.size() + 1);
            return true;
        }
        if (Done()) {
            error = option + " needs a value";
            return false;
        }
        value = Take();
        return true;
    }

  private:
    const std::vector<std::string>& args_;
    std::size_t next_ = 0;
};

bool IsOption(const std::string& word, const std::string& option) {
    return word == option || StartsWith(word, option + "=");
}

// A decimal count within [low, high].
std::optional<long> ParseCount(const std::string& text, long low, long high) {
    if (text.empty() || text.size() > 10) return std::nullopt;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < low || value > high) return std::nullopt;
    return value;
}

} // namespace

int TakeVerbosity(std::vector<std::string>& args) {
    int level = 0;
    while (!args.empty() && (args[0] == "-q" || args[0] == "-v" || args[0] == "-vv")) {
        level = args[0] == "-q" ? -1 : static_cast<int>(args[0].size()) - 1;
        args.erase(args.begin());
    }
    return level;
}

std::optional<int> FileTypeFromName(const std::string& name) {
    const std::string n = Lower(name);
    if (n == "binary") return 0;
    if (n == "intel") return 1;
    if (n == "motorola") return 2;
    if (n == "ascii") return 3;
    return std::nullopt;
}

std::optional<int> FileTypeFromExtension(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    const auto dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return std::nullopt;
    const std::string ext = Lower(path.substr(dot));
    if (ext == ".bin") return 0;
    if (ext == ".hex" || ext == ".ihx") return 1;
    if (ext == ".s19" || ext == ".s28" || ext == ".s37" || ext == ".srec" || ext == ".mot")
        return 2;
    return std::nullopt;
}

std::optional<std::int32_t> ParseAddress(const std::string& text) {
    std::string digits = text;
    if (StartsWith(Lower(digits), "0x")) digits = digits.substr(2);
    if (digits.empty() || digits.size() > 5) return std::nullopt;
    std::int32_t value = 0;
    for (char c : digits) {
        if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
        const int d = std::isdigit(static_cast<unsigned char>(c))
                          ? c - '0'
                          : std::tolower(static_cast<unsigned char>(c)) - 'a' + 10;
        value = value * 16 + d;
    }
    return value;
}

ParseResult ParseArguments(const std::vector<std::string>& args) {
    ParseResult result;
    Arguments& a = result.arguments;
    std::string& error = result.error;

    if (args.empty()) {
        error = "no command given";
        return result;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        a.command = Command::Help;
        return result;
    }
    if (args[0] == "--version") {
        a.command = Command::Version;
        return result;
    }
    if (args[0] == "convert") {
        a.command = Command::Convert;
        a.convertArgs.assign(args.begin() + 1, args.end());
        return result;
    }

    bool sawUsb = false;
    bool sawVirtual = false;
    bool sawDevice = false;
    std::string format;
    std::string bufferStart;
    std::string fill;
    bool sawFill = false;
    bool sawPasses = false;
    std::vector<std::string> words;

    Cursor cursor(args);
    while (!cursor.Done()) {
        const std::string& word = cursor.Take();
        if (word == "--help" || word == "-h") {
            a.command = Command::Help;
            return result;
        }
        if (word == "--usb") {
            sawUsb = true;
        } else if (IsOption(word, "--virtual")) {
            sawVirtual = true;
            if (word.size() > 9) a.virtualOptions = word.substr(10);
        } else if (IsOption(word, "--trace")) {
            if (!cursor.TakeValue("--trace", word, a.tracePath, error)) return result;
            if (a.tracePath.empty()) error = "--trace needs a file name";
        } else if (IsOption(word, "--device")) {
            if (!cursor.TakeValue("--device", word, a.deviceName, error)) return result;
            sawDevice = true;
        } else if (IsOption(word, "--format")) {
            if (!cursor.TakeValue("--format", word, format, error)) return result;
        } else if (IsOption(word, "--buffer-start")) {
            if (!cursor.TakeValue("--buffer-start", word, bufferStart, error)) return result;
        } else if (word == "--fold") {
            a.fold = true;
        } else if (word == "-q" || word == "-v" || word == "-vv") {
            const int level = word == "-q" ? -1 : static_cast<int>(word.size()) - 1;
            if (a.verbosity != 0 && (a.verbosity < 0) != (level < 0))
                error = "-q and -v exclude each other";
            a.verbosity = level < 0 ? level : std::max(a.verbosity, level);
        } else if (word == "--hash") {
            a.hash = true;
        } else if (IsOption(word, "--max-diffs")) {
            std::string value;
            if (!cursor.TakeValue("--max-diffs", word, value, error)) return result;
            const std::optional<long> n = ParseCount(value, 0, 1000000000L);
            if (!n) error = "--max-diffs takes a count, not " + value;
            a.maxDiffs = n;
        } else if (IsOption(word, "--progress")) {
            std::string value;
            if (!cursor.TakeValue("--progress", word, value, error)) return result;
            if (value == "lines")
                a.progress = ProgressMode::Lines;
            else if (value == "none")
                a.progress = ProgressMode::None;
            else if (value == "auto")
                a.progress = ProgressMode::Auto;
            else
                error = "--progress takes lines, none or auto, not " + value;
        } else if (IsOption(word, "--passes")) {
            std::string value;
            if (!cursor.TakeValue("--passes", word, value, error)) return result;
            const std::optional<long> n = ParseCount(value, 2, 9);
            if (!n) error = "--passes takes 2 to 9, not " + value;
            sawPasses = true;
            a.passes = static_cast<int>(n.value_or(1));
        } else if (IsOption(word, "--serial")) {
            if (!cursor.TakeValue("--serial", word, a.serial, error)) return result;
            if (a.serial.empty() || a.serial.size() > 49)
                error = "--serial takes a serial number of 1 to 49 characters";
        } else if (IsOption(word, "--fill")) {
            if (!cursor.TakeValue("--fill", word, fill, error)) return result;
            sawFill = true;
        } else if (StartsWith(word, "--")) {
            error = "unknown option " + word;
        } else {
            words.push_back(word);
        }
        if (!error.empty()) return result;
    }

    if (sawUsb && sawVirtual) {
        error = "--usb and --virtual exclude each other";
        return result;
    }
    a.useVirtual = sawVirtual;

    if (words.empty()) {
        error = sawDevice ? "no operation given" : "no command given";
        return result;
    }
    const std::string& verb = words[0];

    if (verb == "probe" || verb == "firmware" || verb == "list") {
        if (sawDevice || !format.empty() || !bufferStart.empty() || sawFill || a.fold ||
            sawPasses || a.hash || a.maxDiffs) {
            error = verb + " takes no --device, --format or --buffer-start";
            return result;
        }
        if (verb == "probe") {
            a.command = Command::Probe;
            if (words.size() != 1) error = "probe takes no file";
        } else if (verb == "list") {
            a.command = Command::List;
            if (words.size() != 1)
                error = "list takes no file";
            else if (!a.serial.empty())
                error = "list takes no --serial";
        } else {
            a.command = Command::Firmware;
            // An empty name would only be found missing after the search.
            if (words.size() != 2 || words[1].empty())
                error = "firmware needs exactly one FILE";
            else
                a.firmwarePath = words[1];
        }
        return result;
    }
    if (verb == "convert") {
        error = "convert takes no --usb, --virtual or --trace; give it first";
        return result;
    }

    const OperationName* op = FindOperation(verb);
    if (op == nullptr) {
        error = "unknown command " + verb;
        return result;
    }
    a.command = Command::Device;
    a.operation = op->operation;
    if (!sawDevice) {
        error = verb + " needs --device NAME";
        return result;
    }
    const std::optional<int> row = FindCatalogueRow(a.deviceName);
    if (!row) {
        error = "unknown device " + a.deviceName;
        return result;
    }
    a.catalogueRow = *row;
    const FamilyCapabilities& can = DeviceCatalogue()[static_cast<std::size_t>(*row)].Can();

    if (op->operation == Operation::Lock) {
        if (words.size() != 2 || (words[1] != "1" && words[1] != "2" && words[1] != "3")) {
            error = "lock needs the bit number 1, 2 or 3";
            return result;
        }
        a.lockBit = words[1][0] - '0';
        if (can.LockBits == 0) {
            error = "the " + a.deviceName + " has no security bits";
            return result;
        }
    } else if (op->takesFile) {
        if (words.size() != 2 || words[1].empty()) {
            error = verb + " needs exactly one FILE";
            return result;
        }
        a.dataPath = words[1];
    } else if (words.size() != 1) {
        error = verb + " takes no file";
        return result;
    }
    if (op->operation == Operation::Erase && !can.CanErase) {
        error = "the " + a.deviceName + " cannot be erased electrically";
        return result;
    }

    if (!format.empty()) {
        a.formatGiven = true;
        a.fileType = FileTypeFromName(format);
        if (!a.fileType) {
            error = "unknown format " + format + " (binary, intel, motorola or ascii)";
            return result;
        }
    } else if (!a.dataPath.empty()) {
        // A data file whose extension does not decide is judged by its
        // contents when it is loaded; a file to be written cannot be.
        a.fileType = FileTypeFromExtension(a.dataPath);
        if (!a.fileType && op->operation == Operation::Read) {
            error = "cannot tell the format to write " + a.dataPath + "; give --format";
            return result;
        }
    }
    if (sawPasses && op->operation != Operation::Read) {
        error = "--passes goes with read";
        return result;
    }
    if (a.hash && op->operation != Operation::Verify && op->operation != Operation::Compare &&
        op->operation != Operation::Read) {
        error = "--hash goes with verify, compare or read";
        return result;
    }
    const bool loads = op->operation == Operation::Verify || op->operation == Operation::Compare ||
                       op->operation == Operation::Program;
    if ((sawFill || a.fold) && !loads) {
        error =
            std::string(sawFill ? "--fill" : "--fold") + " goes with program, verify or compare";
        return result;
    }
    if (sawFill) {
        const std::optional<std::int32_t> value =
            fill.size() <= 2 && !StartsWith(Lower(fill), "0x") ? ParseAddress(fill) : std::nullopt;
        if (!value) {
            error = "--fill takes one or two hexadecimal digits, not " + fill;
            return result;
        }
        a.fill = static_cast<std::uint8_t>(*value);
    }
    if (!bufferStart.empty()) {
        a.bufferStart = ParseAddress(bufferStart);
        if (!a.bufferStart) {
            error = "--buffer-start takes one to five hexadecimal digits, not " + bufferStart;
            return result;
        }
    }
    return result;
}

std::string UsageText() {
    return R"(usage:
  velmar-cli [-q | -v | -vv] convert [--from FMT] [--to FMT]
                     [--device NAME | --limit HEX] [--offset HEX]
                     [--buffer-start HEX] [--end HEX] [--fold] IN OUT
  velmar-cli [--usb | --virtual[=OPTIONS]] [--trace FILE] list
  velmar-cli [--usb | --virtual[=OPTIONS]] [--trace FILE] [--serial SN] probe
  velmar-cli [--usb | --virtual[=OPTIONS]] [--trace FILE] [--serial SN]
             firmware FILE
  velmar-cli [--usb | --virtual[=OPTIONS]] [--trace FILE] [--serial SN]
             [-q | -v | -vv] [--progress=lines|none] --device NAME
             [--format FMT] [--buffer-start HEX] [--fill XX] [--fold]
             [--max-diffs N] [--hash] [--passes N] OPERATION [FILE]
      OPERATION: read | verify | blank | compare | program | erase | lock N
  velmar-cli --help | --version

Commands:
  list           every attached USB bridge: index, serial, description and
                 whether it answers as a programmer (with its firmware)
  probe          look for the programmer and print its firmware version
  firmware FILE  write the firmware image FILE into the programmer
  read FILE      read the device and write exactly the bytes read to FILE,
                 in device order, whatever --buffer-start is; ends with the
                 byte count, CRC-32 and SHA-1 of the bytes read:
                 "4096 bytes  CRC-32 1a2b3c4d  SHA-1 <40 hex digits>"
  verify FILE    load FILE and compare the device with it
  blank          check that the device is erased
  compare FILE   load FILE and check that it can still be programmed over the
                 device's contents
  program FILE   load FILE, program it and verify it
  erase          erase a flash device (89C51 ... 89LS8252)
  lock N         program security bit N (1, 2 or 3)

FILE (and convert's IN and OUT) may be "-": standard input for the file to
load, standard output for the file read. The format must then be given with
--format, or it is told from the contents when loading.

Options:
  --usb              the programmer on USB (default): the vendor's D2XX library
                     when it is installed, libftdi1 otherwise
  --virtual[=OPTIONS]
                     the virtual programmer, in this process. OPTIONS is a
                     comma-separated key=value list (see virtual/OPTIONS.md),
                     e.g. firmware=1.22, chip=FILE, save-chip=FILE,
                     timing=on|off, fail-block=HEX, no-reply-from=N,
                     devices=0|1|2, weak-bits=ADDR:MASK[;ADDR:MASK...],
                     programmers=N, state-dir=DIR. The timing model is off
                     unless timing=on. Unless chip-type= or family= names
                     another part, the socket holds an erased part of the
                     --device given (chip=FILE fills it from address 0).
  --trace FILE       write every packet sent to the programmer to FILE, one
                     line each: "92 00 00 00 F7 3F B0 78"; a longer packet as
                     its first 8 bytes and " +" the count of the rest
  --serial SN        the programmer with serial number SN when several
                     bridges are attached (see list); other bridges are never
                     opened, so several velmar-cli can run side by side
  --device NAME      the device: 8741A 8742 8748 8748H 8749H 8751H 87C51H
                     87C52H 87C54H 87C58H 87C51FA 87C51FB 87C51FC 89C51 89C52
                     89S52 89S53 89LS53 89C55 89S8252 89LS8252 (any case)
  --format FMT       binary, intel, motorola or ascii; by default from FILE's
                     extension: .bin binary, .hex .ihx Intel,
                     .s19 .s28 .s37 .srec .mot Motorola. Any other extension
                     (.dat, .rom, none, or "-"): a file to load is judged by
                     its contents (first non-blank ":" Intel, "S" and a digit
                     Motorola, only hex digits and blanks ASCII hex, else
                     binary); a file to write needs --format
  --buffer-start HEX buffer position of the device's first byte (up to 5 hex
                     digits; clamped as the window clamps it)
  --fill XX          program, verify, compare: the value the buffer holds before
                     FILE is loaded, so bytes FILE does not name are XX; by
                     default the part's erased value (00 for the 874X parts,
                     FF for the others)
  --fold             program, verify, compare: load data that lie beyond the
                     device's end folded onto lower addresses (hex) or cut
                     (binary) instead of refusing FILE
  --max-diffs N      print at most N difference lines (default 64 when
                     standard output is a terminal, else all); they are all
                     counted in the summary line
  --hash             verify, compare: also print the byte count, CRC-32 and
                     SHA-1 of the buffer range compared with the device
  --passes N         read: read the device N times (2 to 9), write the
                     majority of each bit, and list every address whose
                     reads differed: "0123  UNSTABLE-04 MAJORITY-5C" (on
                     stdout, on stderr when FILE is "-"); exit 1 when any
                     bit was unstable
  --progress=lines   one line per tenth on stderr,
                     "progress program 48 15872 32768" (operation, percent,
                     bytes done, bytes in all), terminal or not;
                     --progress=none: no progress at all
  -q                 only errors and difference lines (and the summary line
                     when bytes differ)
  -v                 also the programmer, its firmware, the device and its
                     address range, Vpp, the file's format (and how it was
                     told) and the range of its data
  -vv                also every packet sent, on stderr, as --trace writes it

Before the programmer is touched, program, verify and compare load FILE and
refuse it (exit 1) when it holds no data, has a malformed record (named by
file and line), has records with a wrong checksum, or has data beyond the
device's end without --fold.

The device is selected as the window selects it; adapter prompts are printed
and taken as confirmed. Difference lines go to stdout, sentences and boxes to
stderr. On a terminal, stderr shows a progress line redrawn in place (at most
ten times a second), "Program |#########           |  48%  15.9/32.0 KiB
0:41 left", left with the elapsed time when the operation ends. Blank check,
verify and program end with a summary on stderr: "3 differing bytes, 5
differing bits, first 0010, last 0FFF".

Exit status: 0 success; 1 the operation failed (a difference, a failed block,
a stopped run, no programmer, unstable bits, a data file refused as above,
which is never programmed); 2 bad arguments or a file that cannot be read or
written. Ctrl-C stops a load, and an operation as the Quit button does. Every
error line starts with "velmar-cli: ".
)";
}

} // namespace velmar::cli
