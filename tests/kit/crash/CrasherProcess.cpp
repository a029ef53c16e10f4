#include "CrasherProcess.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstring>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

pid_t startCrasher(const std::string& mode, const std::string& folder)
{
    std::string program = CRASHER_PATH;
    std::string modeArgument = mode;
    std::string folderArgument = folder;
    char* arguments[] = {program.data(), modeArgument.data(), folderArgument.data(), nullptr};
    // A sanitizer must let the child die by its signal rather than report the fault itself.
    std::vector<std::string> variables;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "ASAN_OPTIONS=", 13) != 0) {
            variables.emplace_back(*variable);
        }
    }
    variables.emplace_back("ASAN_OPTIONS=handle_segv=0:detect_leaks=0");
    std::vector<char*> environment;
    for (std::string& variable : variables) {
        environment.push_back(variable.data());
    }
    environment.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, program.c_str(), nullptr, nullptr, arguments, environment.data()) != 0) {
        ADD_FAILURE() << "cannot start " << program;
        return -1;
    }
    return child;
}

int waitForCrasher(pid_t child, const std::string& mode)
{
    if (child <= 0) {
        return -1;
    }
    // Only a hang ends the wait: a busy machine may take its time.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    int status = 0;
    while (waitpid(child, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            kill(child, SIGKILL);
            waitpid(child, &status, 0);
            ADD_FAILURE() << mode << " did not end";
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return status;
}

int runCrasher(const std::string& mode, const std::string& folder)
{
    return waitForCrasher(startCrasher(mode, folder), mode);
}

std::multimap<std::string, uint64_t> crasherFacts(const std::string& text)
{
    std::multimap<std::string, uint64_t> found;
    std::istringstream lines(text);
    std::string key;
    uint64_t value = 0;
    while (lines >> key >> value) {
        found.emplace(key, value);
    }
    return found;
}
