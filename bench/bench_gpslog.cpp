// Reading one GPS log into a track, timed in process; bench/gpslog.sh makes logs of a million
// points in each format and runs this once per log, so that each run's peak memory is its own.
//
//   bench_gpslog LOG     prints the points, the wall and processor time of the reading and the
//                        process's peak resident memory

#include <chrono>
#include <cstdio>
#include <ctime>
#include <sys/resource.h>

#include "GpsLog.h"

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bench_gpslog LOG\n");
        return 2;
    }
    const auto wall = std::chrono::steady_clock::now();
    const std::clock_t cpu = std::clock();
    GpsLog::Track track;
    try {
        GpsLog::AddLog(track, argv[1]);
    } catch (const Exif::EngineError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpu) / CLOCKS_PER_SEC;
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - wall).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%zu points, %zu skipped: %.0f ms wall, %.0f ms processor, %.1f MB peak\n",
                track.points.size(), track.logs[0].skipped, wallMs, cpuMs,
                static_cast<double>(usage.ru_maxrss) / 1024);
    return 0;
}
