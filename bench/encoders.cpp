// Encoder throughput: the base64 message encoder on 64 MiB beside a plain memcpy of
// the same size (so the figure can be read as a fraction of the machine's memory
// speed), and the quoted-printable encoder on Portuguese text. Prints a summary with
// MiB/s and the base64/memcpy ratio after Google Benchmark's own table.
#include "mime/IdMessageCoderMIME.h"
#include "mime/IdMessageCoderQuotedPrintable.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>

namespace {

constexpr std::int64_t kSize = 64ll << 20;

const TIdBytes& RandomData()
{
    static const TIdBytes data = [] {
        TIdBytes bytes(kSize);
        std::mt19937_64 random(2026);
        for (std::size_t i = 0; i < bytes.size(); i += 8) {
            const std::uint64_t v = random();
            std::memcpy(bytes.data() + i, &v, 8);
        }
        return bytes;
    }();
    return data;
}

// Invoice-like Latin-1 text: lines of 40 to 110 characters with accents, blanks,
// dots and "=", so every rule of the encoder is exercised.
const TIdBytes& LatinText()
{
    static const TIdBytes data = [] {
        const std::string words[] = {"nota", "fiscal", "eletr\xF4nica", "emiss\xE3o", "Mar\xE7o", "PDV",
                                     "total=R$", "12,50", "cancelada.", "s\xE9rie", "001", "chave"};
        std::mt19937 random(7);
        TIdBytes text;
        text.reserve(kSize / 4 + 200);
        while (text.size() < static_cast<std::size_t>(kSize / 4)) {
            const std::size_t length = 40 + random() % 70;
            std::string line;
            while (line.size() < length)
                line += words[random() % std::size(words)] + " ";
            line += "\r\n";
            text.insert(text.end(), line.begin(), line.end());
        }
        return text;
    }();
    return data;
}

// Discards what it is given, as a socket would take it away.
class TDiscardStream : public TStream {
public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t count) override
    {
        FWritten += count;
        return count;
    }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return FWritten; }

private:
    std::int64_t FWritten = 0;
};

void BM_Memcpy64MiB(benchmark::State& state)
{
    const TIdBytes& source = RandomData();
    TIdBytes target(source.size());
    for (auto _ : state) {
        std::memcpy(target.data(), source.data(), source.size());
        benchmark::DoNotOptimize(target.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

void BM_Base64MessageEncoder64MiB(benchmark::State& state)
{
    TMemoryStream source(RandomData());
    const auto encoder = MakeComponent<TIdMessageEncoderMIME>();
    for (auto _ : state) {
        TDiscardStream sink;
        encoder->Encode(source, sink);
    }
    state.SetBytesProcessed(state.iterations() * kSize);
}

void BM_QuotedPrintableMessageEncoder16MiB(benchmark::State& state)
{
    TMemoryStream source(LatinText());
    const auto encoder = MakeComponent<TIdMessageEncoderQuotedPrintable>();
    for (auto _ : state) {
        source.SetPosition(0);
        TDiscardStream sink;
        encoder->Encode(source, sink);
    }
    state.SetBytesProcessed(state.iterations() * source.Size());
}

BENCHMARK(BM_Memcpy64MiB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_Base64MessageEncoder64MiB)->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_QuotedPrintableMessageEncoder16MiB)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// Keeps each benchmark's throughput for the summary.
class TSummaryReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& run : runs) {
            const auto it = run.counters.find("bytes_per_second");
            if (it != run.counters.end() && run.run_type == Run::RT_Iteration)
                Speeds[run.benchmark_name()] = it->second / (1024.0 * 1024.0);
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> Speeds;
};

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    TSummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    const auto speed = [&](const char* prefix) {
        for (const auto& [name, mibs] : reporter.Speeds)
            if (name.rfind(prefix, 0) == 0)
                return mibs;
        return 0.0;
    };
    const double memcpySpeed = speed("BM_Memcpy64MiB");
    const double base64Speed = speed("BM_Base64MessageEncoder64MiB");
    const double qpSpeed = speed("BM_QuotedPrintableMessageEncoder16MiB");
    std::printf("\nmemcpy 64 MiB:                  %8.0f MiB/s\n", memcpySpeed);
    std::printf("base64 message encoder 64 MiB:  %8.0f MiB/s of input (%.2f of memcpy)\n", base64Speed,
                memcpySpeed > 0 ? base64Speed / memcpySpeed : 0.0);
    std::printf("quoted-printable encoder text:  %8.0f MiB/s of input\n", qpSpeed);
    benchmark::Shutdown();
    return 0;
}
