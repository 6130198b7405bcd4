// Times the engine on one JPEG named by GEODOT_BENCH_FILE (make one with
// bench/make-test-jpeg.sh): loading it, opening it to read on demand (with and without the
// fingerprint that saving over it needs), analysing it, and building the output after analysis.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "Exif.h"

namespace {

std::string gPath;
std::vector<std::uint8_t> gBytes;

// A fresh engine holding the file, as after opening it.
void loadEngine() {
    Exif::ResetEngine();
    Exif::FmStream.assign(gBytes);
}

void BM_LoadFromFile(benchmark::State& state) {
    for (auto _ : state) {
        Exif::ResetEngine();
        Exif::FmStream.loadFromFile(gPath);
        benchmark::DoNotOptimize(Exif::FmStream.size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(gBytes.size()));
}

// The command line's open: the file kept open, read through once for its fingerprint when it
// is to be saved over.
void BM_OpenFile(benchmark::State& state, bool forSaving) {
    for (auto _ : state) {
        Exif::ResetEngine();
        Exif::FmStream.openFile(gPath, forSaving);
        benchmark::DoNotOptimize(Exif::FmStream.sourceFingerprint());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(gBytes.size()));
}

void BM_AnalyzeExif(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        loadEngine();
        state.ResumeTiming();
        if (!Exif::AnalyzeExif()) {
            state.SkipWithError("not a JPEG");
            break;
        }
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(gBytes.size()));
}

void BM_WriteJpeg(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        loadEngine();
        if (!Exif::AnalyzeExif()) {
            state.SkipWithError("not a JPEG");
            break;
        }
        state.ResumeTiming();
        Exif::WriteJpeg();
        benchmark::DoNotOptimize(Exif::ToStream.size());
    }
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(gBytes.size()));
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const char* path = std::getenv("GEODOT_BENCH_FILE");
    if (path == nullptr || *path == '\0') {
        std::puts("bench_engine: GEODOT_BENCH_FILE is not set; nothing measured "
                  "(make a file with bench/make-test-jpeg.sh)");
        return 0;
    }
    gPath = path;
    Exif::ProgramName = u"geodot";
    try {
        Exif::FmStream.loadFromFile(gPath);
    } catch (const Exif::EngineError& e) {
        std::printf("bench_engine: %s; nothing measured\n", e.what());
        return 0;
    }
    gBytes = Exif::FmStream.toVector();
    benchmark::AddCustomContext("file", gPath + " (" + std::to_string(gBytes.size()) + " bytes)");

    benchmark::RegisterBenchmark("LoadFromFile", BM_LoadFromFile)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("OpenFile/ForReading", BM_OpenFile, false)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("OpenFile/ForSaving", BM_OpenFile, true)
        ->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("AnalyzeExif", BM_AnalyzeExif)->Unit(benchmark::kMillisecond);
    benchmark::RegisterBenchmark("WriteJpeg", BM_WriteJpeg)->Unit(benchmark::kMillisecond);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
