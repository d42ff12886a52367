#pragma once

#include <optional>
#include <ostream>
#include <span>

// Handles the command line (args as main receives them) before any window exists: a first
// argument --help or --version prints to out and gives exit code 0; any other argument prints
// an error to err and gives exit code 2. An arithmetic path that VIREO_ARITHMETIC names and this
// machine cannot run prints an error and gives 1. Without arguments the result is empty: the
// program starts.
std::optional<int> HandleCommandLine(std::span<char *const> args, std::ostream &out,
                                     std::ostream &err);
