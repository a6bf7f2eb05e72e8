// velmar-cli: the same core as the window, for scripts.
#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
    if (argc > 1 && (std::strcmp(argv[1], "--version") == 0)) {
        std::puts("velmar-cli 1.02");
        return 0;
    }
    std::puts("usage: velmar-cli --help | --version");
    return argc > 1 && std::strcmp(argv[1], "--help") == 0 ? 0 : 2;
}
