#include "net/IdStack.h"

#include <mutex>

namespace {
std::mutex gUsageLock;
int gUsageCount = 0;
} // namespace

void TIdStack::IncUsage()
{
    std::lock_guard<std::mutex> lock(gUsageLock);
    ++gUsageCount;
}

void TIdStack::DecUsage()
{
    std::lock_guard<std::mutex> lock(gUsageLock);
    if (gUsageCount > 0)
        --gUsageCount;
}

int TIdStack::UsageCount()
{
    std::lock_guard<std::mutex> lock(gUsageLock);
    return gUsageCount;
}
