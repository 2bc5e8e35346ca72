// kiln: the toolkit's command-line tool. `kiln <command> [args]`.
#include <algorithm>
#include <cstdio>
#include <cstring>

#include "command.h"
#include "gfx/exports.h"

namespace {
std::vector<const KilnCommand*>& Registry() {
    static std::vector<const KilnCommand*> commands;
    return commands;
}

void PrintUsage(FILE* out) {
    std::fprintf(out, "usage: kiln <command> [arguments]\n\ncommands:\n");
    auto commands = KilnCommands();
    std::sort(commands.begin(), commands.end(),
              [](const KilnCommand* a, const KilnCommand* b) { return std::strcmp(a->name, b->name) < 0; });
    for (const KilnCommand* c : commands) std::fprintf(out, "  %-12s %s\n", c->name, c->summary);
    std::fprintf(out,
                 "\n`kiln <command> --help` describes one command; `kiln --version` prints the version.\n"
                 "\nexit codes: 0 success, 1 the input failed (a compile error, an unreadable file),\n"
                 "2 bad usage (an unknown command or option, a missing or malformed value)\n");
}
}  // namespace

KilnCommand::KilnCommand(const char* n, const char* s, Run r) : name(n), summary(s), run(r) {
    Registry().push_back(this);
}

const std::vector<const KilnCommand*>& KilnCommands() { return Registry(); }

int main(int argc, char** argv) {
    // The graphics platform is present in this process, so compiles and
    // assemblies are checked by its shader validator, as on a machine with
    // the platform installed.
    KilnGfxRegisterExports();
    if (argc < 2 || !std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "help")) {
        PrintUsage(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    if (!std::strcmp(argv[1], "--version")) {
        std::printf("kiln %s\n", KILN_VERSION);
        return 0;
    }
    for (const KilnCommand* c : KilnCommands()) {
        if (std::strcmp(c->name, argv[1]) == 0) return c->run(std::vector<std::string>(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "kiln: unknown command '%s'\n", argv[1]);
    PrintUsage(stderr);
    return 2;
}
