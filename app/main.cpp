#include <cstdio>

#include "cli/Cli.h"

int main(int argc, char** argv) {
    if (corvane::cli::isCommand(argc, argv)) return corvane::cli::run(argc, argv);
    std::fputs("corvane: the window is not part of this build yet; see corvane --help\n", stderr);
    return corvane::cli::kExitUsage;
}
