// The content-type lookup every attachment makes: a fresh table filled from the
// built-in list and the system's registrations (/etc/mime.types, some two thousand
// lines), then asked once. It is paid once per message, so it shows in a small send.
#include "mail/IdMimeTable.h"

#include <benchmark/benchmark.h>

namespace {

void BM_LookUpFileMIMEType(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(LookUpFileMIMEType(u"/var/lib/orvant/drive_c/Kelmora/Orvant/Enviar/2026/11.7z"));
}

BENCHMARK(BM_LookUpFileMIMEType)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
