// Opening a photo in the window (read, analysis, preview decode, listing, fields) timed in
// process, off-screen; bench/open.sh runs it beside djpeg on the same file.
//
//   bench_open PHOTO [RUNS]     prints the median wall time in milliseconds

#include <QElapsedTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "GeodotApplication.h"
#include "Startup.h"
#include "Unit1.h"

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_open PHOTO [RUNS]\n");
        return 2;
    }
    PrepareBrowser();
    GeodotApplication app(argc, argv);
    const QString photo = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    std::unique_ptr<TForm1> window = CreateWindows({QStringLiteral("geodot")});
    window->resize(706, 719); // the preview page's real size decides the decode scale
    std::vector<double> ms;
    window->FileOpen(photo); // warm the file cache and the code
    for (int i = 0; i < runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        window->FileOpen(photo);
        ms.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(ms.begin(), ms.end());
    std::printf("%.1f\n", ms[ms.size() / 2]);
    return 0;
}
