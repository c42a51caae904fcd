#pragma once

#include <csignal>
#include <cstdio>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace oxel::testing {

// Runs a program with the given arguments, its standard output on a pipe; killed when it goes away.
struct SpawnedProgram {
    pid_t pid = -1;
    FILE* output = nullptr;

    SpawnedProgram(const char* executable, std::vector<std::string> arguments)
    {
        int pipeEnds[2];
        if (pipe(pipeEnds) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
        arguments.insert(arguments.begin(), executable);
        std::vector<char*> argv;
        for (auto& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(pipeEnds[1]);
        output = fdopen(pipeEnds[0], "r");
    }
    SpawnedProgram(const SpawnedProgram&) = delete;
    SpawnedProgram& operator=(const SpawnedProgram&) = delete;

    std::string firstLine()
    {
        char line[512] = {};
        if (!output || !fgets(line, sizeof line, output)) return {};
        return line;
    }

    int stop(int signal)
    {
        int status = -1;
        if (pid > 0) {
            kill(pid, signal);
            waitpid(pid, &status, 0);
            pid = -1;
        }
        return status;
    }

    // The exit status of a program that ends by itself.
    int wait()
    {
        int status = -1;
        if (pid > 0) waitpid(pid, &status, 0);
        pid = -1;
        return status;
    }

    ~SpawnedProgram()
    {
        stop(SIGKILL);
        if (output) fclose(output);
    }
};

} // namespace oxel::testing
