#pragma once
// Runs an outside program (python3, base64) on some input, so that tests can check
// our output against an independent implementation.

#include <string>
#include <vector>

struct TProgramResult {
    int ExitCode = -1;  // -1 when the program could not be started or did not exit
    std::string Output; // everything it wrote to standard output
};

// Starts argv[0] (searched in PATH) with `input` as standard input and waits for it.
TProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input);

// Runs a Python 3 script with `input` as standard input.
TProgramResult RunPython(const std::string& script, const std::string& input);

// Runs the Python 3 function convert(data: bytes) -> bytes, defined by `definitions`,
// on every input in one interpreter; returns the results in order. An exception in
// convert gives "ERROR: " and its text as that input's result.
std::vector<std::string> RunPythonOnEach(const std::string& definitions, const std::vector<std::string>& inputs);
