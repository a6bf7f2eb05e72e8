// velmar-mkfirmware: writes a firmware image file the virtual programmer
// takes, for tests and the demo.
//
//   velmar-mkfirmware [--records N] [--bad-checksum] VERSION OUT

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

#include "FirmwareImage.h"

int main(int argc, char** argv) {
    int records = 16;
    bool spoil = false;
    const char* version = nullptr;
    const char* out = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--records") == 0 && i + 1 < argc) {
            records = std::atoi(argv[++i]);
        } else if (std::strcmp(argv[i], "--bad-checksum") == 0) {
            spoil = true;
        } else if (!version) {
            version = argv[i];
        } else if (!out) {
            out = argv[i];
        } else {
            version = nullptr;
            break;
        }
    }
    int major = 0, minor = 0;
    if (!version || !out || !velmar::ParseFirmwareVersion(version, major, minor) || records < 0 ||
        records > velmar::kFirmwareMaxCodeRecords) {
        std::fprintf(
            stderr, "usage: velmar-mkfirmware [--records 0..%d] [--bad-checksum] MAJOR.MINOR OUT\n",
            velmar::kFirmwareMaxCodeRecords);
        return 2;
    }
    std::vector<std::uint8_t> image = velmar::MakeFirmwareImage(major, minor, records);
    if (spoil) image[15] ^= 0x01; // the stored checksum no longer matches
    std::ofstream file(out, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(image.data()),
               static_cast<std::streamsize>(image.size()));
    if (!file) {
        std::fprintf(stderr, "velmar-mkfirmware: cannot write %s\n", out);
        return 2;
    }
    return 0;
}
