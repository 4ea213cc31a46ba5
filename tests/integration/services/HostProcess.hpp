#pragma once

// Runs a host program as a child process of the test, for tests about how a process ends.

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <string_view>
#include <vector>

extern char** environ;

namespace vantrel::test {

/// Runs `arguments` (the program first) with this process's environment, where `environment`
/// ("NAME=value") adds to or replaces entries and GTEST_ variables are left out (the host writes
/// no report over the test's). Its output goes nowhere. Returns the wait status, -1 when it could
/// not start.
inline int runHostProcess(std::vector<std::string> arguments, std::vector<std::string> environment) {
    std::vector<std::string> names;
    for (const auto& entry : environment) names.push_back(entry.substr(0, entry.find('=') + 1));
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string_view text(*entry);
        bool replaced = text.starts_with("GTEST_");
        for (const auto& name : names) replaced = replaced || text.starts_with(name);
        if (!replaced) environment.emplace_back(text);
    }
    std::vector<char*> argv, envp;
    for (auto& argument : arguments) argv.push_back(argument.data());
    for (auto& entry : environment) envp.push_back(entry.data());
    argv.push_back(nullptr);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    ::posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

/// The wait status in words, for a failure message.
inline std::string describeWaitStatus(int status) {
    if (status == -1) return "did not start";
    if (WIFSIGNALED(status)) return "killed by signal " + std::to_string(WTERMSIG(status));
    return "exit code " + std::to_string(WEXITSTATUS(status));
}

}  // namespace vantrel::test
