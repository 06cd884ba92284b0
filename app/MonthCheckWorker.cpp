#include "app/MonthCheckWorker.h"

#include "app/InvoiceReader.h"

namespace orvant::app {

TMonthCheckWorker::TMonthCheckWorker(std::u16string year, std::u16string month, std::vector<std::string> storeCnpjs)
    : FCheck(std::move(year), std::move(month), std::move(storeCnpjs)), FThread([this] { Work(); })
{
}

TMonthCheckWorker::~TMonthCheckWorker()
{
    {
        const std::lock_guard<std::mutex> guard(FLock);
        FClosed = true;
        FQueue.clear();
        FQueuedBytes = 0;
    }
    FChanged.notify_all();
    if (FThread.joinable())
        FThread.join();
}

void TMonthCheckWorker::AddTerminal(std::u16string_view terminal)
{
    Push({std::u16string(terminal), {}, {}, {}, 0});
}

void TMonthCheckWorker::Add(std::u16string_view terminal, std::u16string_view folder, std::u16string_view name,
                            std::string&& bytes, std::uint64_t fileSize)
{
    Push({std::u16string(terminal), std::u16string(folder), std::u16string(name), std::move(bytes), fileSize});
}

void TMonthCheckWorker::Push(TItem&& item)
{
    std::unique_lock<std::mutex> guard(FLock);
    // One file always fits, however large: the reader takes files of up to 8 MiB.
    FChanged.wait(guard, [&] {
        return FQueue.empty() || FClosed
            || (FQueue.size() < kQueued && FQueuedBytes + item.Bytes.size() <= kQueuedBytes);
    });
    FQueuedBytes += item.Bytes.size();
    FQueue.push_back(std::move(item));
    guard.unlock();
    FChanged.notify_all();
}

void TMonthCheckWorker::Work()
{
    for (;;) {
        std::unique_lock<std::mutex> guard(FLock);
        FChanged.wait(guard, [this] { return !FQueue.empty() || FClosed; });
        if (FQueue.empty())
            return; // closed and drained
        TItem item = std::move(FQueue.front());
        FQueue.pop_front();
        FQueuedBytes -= item.Bytes.size();
        guard.unlock();
        FChanged.notify_all();
        try {
            if (item.Folder.empty())
                FCheck.AddTerminal(item.Terminal);
            else
                FCheck.Add(item.Terminal, item.Folder, item.Name, ReadInvoiceDocument(item.Bytes, item.Size));
        } catch (...) { // out of memory, say: kept for Finish, which raises it on the run's thread
            const std::lock_guard<std::mutex> failed(FLock);
            if (!FFailure)
                FFailure = std::current_exception();
        }
    }
}

TMonthReport TMonthCheckWorker::Finish()
{
    {
        const std::lock_guard<std::mutex> guard(FLock);
        FClosed = true;
    }
    FChanged.notify_all();
    FThread.join();
    if (FFailure)
        std::rethrow_exception(FFailure);
    return FCheck.Finish();
}

} // namespace orvant::app
