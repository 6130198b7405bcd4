// Start-up of the window, as a user sees it: from the moment the process is started to the
// first paint of the main window. Started by bench/startup.sh, which passes the time it
// launched the process; prints the total and the steps in milliseconds, then quits.
//
//   bench_startup LAUNCH_NS [photo.jpg]

#include <QElapsedTimer>
#include <QEvent>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "GeodotApplication.h"
#include "Startup.h"
#include "Unit1.h"

namespace {

long long nowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

class FirstPaint : public QObject {
public:
    long long at = 0;
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && at == 0) {
            at = nowNs();
            QTimer::singleShot(0, qApp, &QCoreApplication::quit);
        }
        return QObject::eventFilter(watched, event);
    }
};

} // namespace

int main(int argc, char* argv[]) {
    const long long entered = nowNs();
    const long long launched = argc > 1 ? std::atoll(argv[1]) : entered;
    PrepareBrowser();
    GeodotApplication app(argc, argv);
    const long long appReady = nowNs();

    QStringList arguments{QStringLiteral("geodot")};
    if (argc > 2)
        arguments << QString::fromLocal8Bit(argv[2]);
    std::unique_ptr<TForm1> window = CreateWindows(arguments);
    const long long created = nowNs();

    FirstPaint paint;
    window->installEventFilter(&paint);
    window->show();
    app.exec();
    auto ms = [](long long from, long long to) { return (to - from) / 1e6; };
    std::printf("start-to-first-paint %.1f ms (process start %.1f, application %.1f, "
                "window %.1f, show and paint %.1f)\n",
                ms(launched, paint.at), ms(launched, entered), ms(entered, appReady),
                ms(appReady, created), ms(created, paint.at));
    window.reset();
    return 0;
}
