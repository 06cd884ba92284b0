// Throughput of the I/O handler's hot paths, over in-memory streams so that only
// the handler's own work is measured:
//  - buffered writes as the attachment encoder makes them (8192-byte threshold,
//    written in 8192-byte chunks and in 78-byte base64 lines);
//  - reading 80-byte lines;
//  - one large ReadBytes, which must not copy the growing buffer again and again.

#include "mime/IdStream.h"
#include "smtp/IdIOHandlerStream.h"

#include <benchmark/benchmark.h>

namespace {

// Accepts and forgets every byte, so memory stays flat however much is written.
class TNullStream : public TStream {
public:
    std::int64_t Read(void*, std::int64_t) override { return 0; }
    std::int64_t Write(const void*, std::int64_t count) override { return count; }
    std::int64_t Seek(std::int64_t, TSeekOrigin) override { return 0; }
};

void BufferedWrites(benchmark::State& state)
{
    const auto chunkSize = static_cast<std::size_t>(state.range(0));
    const std::int64_t total = std::int64_t{256} << 20;
    const TIdBytes chunk(chunkSize, 'A');
    TNullStream sink;
    for (auto _ : state) {
        auto io = MakeComponent<TIdIOHandlerStream>(nullptr, &sink);
        io->Open();
        io->WriteBufferOpen(8192);
        for (std::int64_t written = 0; written < total; written += static_cast<std::int64_t>(chunkSize))
            io->Write(chunk);
        io->WriteBufferClose();
    }
    state.SetBytesProcessed(state.iterations() * total);
}
BENCHMARK(BufferedWrites)->Arg(8192)->Arg(78)->Unit(benchmark::kMillisecond);

void ReadLines(benchmark::State& state)
{
    std::string line(78, 'x');
    line += "\r\n";
    TIdBytes text;
    for (int i = 0; i < (32 << 20) / 80; ++i)
        text.insert(text.end(), line.begin(), line.end());
    for (auto _ : state) {
        TMemoryStream in(text);
        auto io = MakeComponent<TIdIOHandlerStream>(&in);
        io->Open();
        for (int i = 0; i < (32 << 20) / 80; ++i)
            benchmark::DoNotOptimize(io->ReadLn());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(ReadLines)->Unit(benchmark::kMillisecond);

void LargeReadBytes(benchmark::State& state)
{
    const TIdBytes data(std::size_t{128} << 20, 'b');
    for (auto _ : state) {
        TMemoryStream in(data);
        auto io = MakeComponent<TIdIOHandlerStream>(&in);
        io->Open();
        TIdBytes out;
        io->ReadBytes(out, static_cast<std::int32_t>(data.size()));
        benchmark::DoNotOptimize(out.data());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(data.size()));
}
BENCHMARK(LargeReadBytes)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
