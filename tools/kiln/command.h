// Subcommands of the kiln tool. Each lives in its own cmd_<name>.cpp and
// registers itself with a static KilnCommand object.
#pragma once

#include <string>
#include <vector>

struct KilnCommand {
    using Run = int (*)(const std::vector<std::string>& args);
    KilnCommand(const char* name, const char* summary, Run run);
    const char* name;
    const char* summary;
    Run run;
};

const std::vector<const KilnCommand*>& KilnCommands();
