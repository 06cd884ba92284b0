#include "support/ExternalProgram.h"

#include "support/TestBroker.h"

TProgramResult RunProgram(const std::vector<std::string>& argv, const std::string& input)
{
    TProgramResult result;
    result.ExitCode = testbroker::Run(argv, input, false, result.Output);
    return result;
}
