#pragma once
// Starting a probe program without a shell.
//
// The programs a toolchain search probes are files it found by walking
// directories, so their paths may hold blanks, quotes or `$(...)`. A shell
// would read those as syntax; here the program is started from an argument
// vector instead, so every byte of every argument reaches it unchanged.
// Standard input reads /dev/null, standard error is discarded and standard
// output comes back through a pipe.

#include <cstdint>
#include <string>
#include <vector>

struct ProcessOutput {
    // Everything the program wrote to standard output, byte for byte.
    std::string output;
    // The exit code 0..255 of a normal exit; -1 when the program could not be
    // started, was ended by a signal or its status could not be collected.
    std::int32_t exitStatus = -1;
};

// Runs arguments[0] (searched on PATH only when it holds no '/') with the
// whole vector as its argv, and waits for it to end. Never throws for a
// program that fails; an empty vector gives exit status -1.
ProcessOutput runProcess(const std::vector<std::string>& arguments);
