#include "support/TestChildProcess.h"

#include "support/TestBroker.h"
#include "support/TestSockets.h"

#include <cstdio>
#include <stdexcept>

// Under Wine the children are Linux programs that test_broker.py starts: it relays
// their output in frames ("<n>\n" and n bytes) and ends with "EXIT <code>\n".

int RunTestProgram(const std::vector<std::string>& argv, std::string& output)
{
    return testbroker::Run(argv, "", true, output);
}

TTestChildProcess::TTestChildProcess(const std::vector<std::string>& argv, bool /*holdStdin*/)
    : FOutput(testbroker::Connect())
{
    // The broker always holds the child's standard input and closes it on Stop or
    // when this program goes away, which is what holdStdin asks for.
    testbroker::SendAll(FOutput, "START\n" + testbroker::JsonArray(argv) + "\n");
    std::string line;
    bool ended = false;
    for (char c; !ended && (c = *testbroker::ReadByte(FOutput, std::nullopt, ended)) != '\n';)
        line += c;
    if (std::sscanf(line.c_str(), "PID %ld", &FPid) != 1 || FPid <= 0)
        throw std::runtime_error("the test broker could not start " + (argv.empty() ? std::string() : argv[0]));
}

TTestChildProcess::~TTestChildProcess()
{
    Stop();
}

std::string TTestChildProcess::ReadLine()
{
    return *ReadLineBefore(std::nullopt);
}

std::optional<std::string> TTestChildProcess::ReadLineWithin(std::chrono::milliseconds bound)
{
    return ReadLineBefore(std::chrono::steady_clock::now() + bound);
}

std::optional<std::string> TTestChildProcess::ReadLineBefore(std::optional<std::chrono::steady_clock::time_point> deadline)
{
    while (FOutput >= 0 && !FExitStatus) {
        bool ended = false;
        const std::optional<char> c = testbroker::ReadByte(FOutput, deadline, ended);
        if (!c)
            return std::nullopt;
        if (ended) {
            FExitStatus = -1;
            break;
        }
        if (FFrameLeft == 0) {
            if (*c != '\n') {
                FFrameHeader += *c;
                continue;
            }
            int code = -1;
            if (std::sscanf(FFrameHeader.c_str(), "EXIT %d", &code) == 1)
                FExitStatus = code;
            else
                FFrameLeft = std::stoul(FFrameHeader);
            FFrameHeader.clear();
            continue;
        }
        --FFrameLeft;
        if (*c == '\n') {
            std::string line;
            std::swap(line, FPartialLine);
            return line;
        }
        FPartialLine += *c;
    }
    std::string line;
    std::swap(line, FPartialLine);
    return line;
}

int TTestChildProcess::Stop()
{
    if (FOutput < 0)
        return FExitStatus.value_or(-1);
    try {
        testbroker::SendAll(FOutput, "STOP\n");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (!FExitStatus && ReadLineBefore(deadline)) {
        }
    } catch (const std::exception&) {
        // the broker is gone: so is the child
    }
    testsockets::CloseSocket(FOutput);
    FOutput = -1;
    FPid = -1;
    return FExitStatus.value_or(-1);
}
