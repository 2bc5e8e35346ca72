#include "tool_runner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

namespace {
std::string Slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}
}  // namespace

ToolResult RunKiln(const std::vector<std::string>& args, const std::string& input) {
    char inName[] = "/tmp/kiln_in_XXXXXX";
    char outName[] = "/tmp/kiln_out_XXXXXX";
    char errName[] = "/tmp/kiln_err_XXXXXX";
    int inFd = mkstemp(inName);
    int outFd = mkstemp(outName);
    int errFd = mkstemp(errName);
    if (write(inFd, input.data(), input.size()) != ssize_t(input.size())) return {};
    lseek(inFd, 0, SEEK_SET);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, inFd, 0);
    posix_spawn_file_actions_adddup2(&actions, outFd, 1);
    posix_spawn_file_actions_adddup2(&actions, errFd, 2);
    std::vector<std::string> all{KILN_TOOL};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    ToolResult result;
    if (posix_spawn(&pid, KILN_TOOL, &actions, nullptr, argv.data(), environ) == 0) {
        int status = 0;
        waitpid(pid, &status, 0);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    posix_spawn_file_actions_destroy(&actions);
    close(inFd);
    close(outFd);
    close(errFd);
    result.out = Slurp(outName);
    result.err = Slurp(errName);
    std::remove(inName);
    std::remove(outName);
    std::remove(errName);
    return result;
}
