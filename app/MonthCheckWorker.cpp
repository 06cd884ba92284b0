#include "app/MonthCheckWorker.h"

#include "app/InvoiceReader.h"
#include "app/MonthReportFiles.h"

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
    const auto fits = [&] {
        return FQueue.empty() || FClosed
            || (FQueue.size() < kQueued && FQueuedBytes + item.Bytes.size() <= kQueuedBytes);
    };
    if (!fits()) {
        FProducerWaiting = true;
        FChanged.notify_all(); // the worker takes what is queued now
        FChanged.wait(guard, fits);
        FProducerWaiting = false;
    }
    FQueuedBytes += item.Bytes.size();
    FQueue.push_back(std::move(item));
    const bool wake = FQueue.size() == kBatch;
    guard.unlock();
    if (wake)
        FChanged.notify_all();
}

void TMonthCheckWorker::Work()
{
    TInvoiceReader reader;
    std::deque<TItem> batch;
    for (;;) {
        {
            // Woken once per batch, not per file: a wake-up per file cost more
            // system time than the reading itself.
            std::unique_lock<std::mutex> guard(FLock);
            FChanged.wait(guard, [this] { return FQueue.size() >= kBatch || FProducerWaiting || FClosed; });
            if (FQueue.empty() && FClosed)
                break;
            batch.swap(FQueue);
            FQueuedBytes = 0;
        }
        FChanged.notify_all(); // a producer waiting for room
        for (TItem& item : batch) {
            try {
                if (item.Folder.empty())
                    FCheck.AddTerminal(item.Terminal);
                else
                    FCheck.Add(item.Terminal, item.Folder, item.Name, reader.Read(item.Bytes, item.Size));
            } catch (...) { // out of memory, say: kept for Finish, which raises it on the run's thread
                const std::lock_guard<std::mutex> failed(FLock);
                if (!FFailure)
                    FFailure = std::current_exception();
            }
        }
        batch.clear();
    }
    if (FFailure)
        return;
    try {
        FFinished.Report = FCheck.Finish();
        FFinished.Report.ExtractionIncomplete = FIncomplete; // set under the lock before FClosed
        FFinished.Csv = MonthReportCsv(FFinished.Report);
        FFinished.Summary = MonthReportSummaryText(FFinished.Report);
    } catch (...) {
        FFailure = std::current_exception();
    }
}

void TMonthCheckWorker::Close(bool extractionIncomplete)
{
    {
        const std::lock_guard<std::mutex> guard(FLock);
        FClosed = true;
        FIncomplete = FIncomplete || extractionIncomplete;
    }
    FChanged.notify_all();
}

TMonthCheckWorker::TFinished TMonthCheckWorker::Finish()
{
    Close();
    FThread.join();
    if (FFailure)
        std::rethrow_exception(FFailure);
    return std::move(FFinished);
}

} // namespace orvant::app
