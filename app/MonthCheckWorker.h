#pragma once
// The month's checks on a thread of their own: the extraction copies the next file
// while the last one is read and checked, and tests the archive while the month
// is checked and its report files are made, so the report costs the run little on
// a machine with a second core. Files are handed over in the order
// copied and checked in that order; at most kQueued files or kQueuedBytes wait,
// so a slow reader holds the copy back instead of filling memory.

#include "app/MonthReport.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace orvant::app {

class TMonthCheckWorker {
public:
    static constexpr std::size_t kQueued = 256;
    static constexpr std::size_t kBatch = 64; // files handed over at once
    static constexpr std::size_t kQueuedBytes = 32 * 1024 * 1024;

    TMonthCheckWorker(std::u16string year, std::u16string month, std::vector<std::string> storeCnpjs);
    ~TMonthCheckWorker(); // stops the thread; what was not finished is dropped
    TMonthCheckWorker(const TMonthCheckWorker&) = delete;
    TMonthCheckWorker& operator=(const TMonthCheckWorker&) = delete;

    void AddTerminal(std::u16string_view terminal);
    // `bytes`: the file's content as copied (taken over), `fileSize` its size.
    void Add(std::u16string_view terminal, std::u16string_view folder, std::u16string_view name, std::string&& bytes,
             std::uint64_t fileSize);
    // No more files: the thread checks the month and makes the report's files.
    // `extractionIncomplete`: as TMonthReport::ExtractionIncomplete.
    void Close(bool extractionIncomplete = false);

    struct TFinished {
        TMonthReport Report;
        std::string Csv;     // MonthReportCsv
        std::string Summary; // MonthReportSummaryText
    };
    // Closes, waits for the thread and hands over what it made. Once only.
    TFinished Finish();

private:
    struct TItem {
        std::u16string Terminal;
        std::u16string Folder; // empty: AddTerminal
        std::u16string Name;
        std::string Bytes;
        std::uint64_t Size = 0;
    };
    void Push(TItem&& item);
    void Work();

    TMonthCheck FCheck;
    std::mutex FLock;
    std::condition_variable FChanged;
    std::deque<TItem> FQueue;
    std::size_t FQueuedBytes = 0;
    bool FProducerWaiting = false;
    bool FClosed = false;
    bool FIncomplete = false;
    std::exception_ptr FFailure;
    TFinished FFinished;
    std::thread FThread;
};

} // namespace orvant::app
