// Runs the window test class named first on the command line (all of them without arguments) on
// the off-screen platform.

#include <QTest>

#include <memory>
#include <vector>

#include "GeodotApplication.h"
#include "Startup.h"

QObject* newFrameTest();
QObject* newSettingsTest();
QObject* newCompassTest();
QObject* newGpsTest();
QObject* newFileTest();
QObject* newPlacesTest();

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareBrowser();
    GeodotApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("geodot"));
    const std::vector<std::pair<QString, QObject* (*)()>> classes = {
        {QStringLiteral("FrameTest"), newFrameTest},
        {QStringLiteral("SettingsTest"), newSettingsTest},
        {QStringLiteral("CompassTest"), newCompassTest},
        {QStringLiteral("GpsTest"), newGpsTest},
        {QStringLiteral("FileTest"), newFileTest},
        {QStringLiteral("PlacesTest"), newPlacesTest},
    };
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    int failures = 0;
    for (const auto& [name, make] : classes) {
        if (!only.isEmpty() && only != name)
            continue;
        std::unique_ptr<QObject> test(make());
        // Arguments after the class name go to Qt Test (test functions, -v2 …).
        QStringList testArguments{QString::fromLocal8Bit(argv[0])};
        for (int i = 2; i < argc; ++i)
            testArguments << QString::fromLocal8Bit(argv[i]);
        failures += QTest::qExec(test.get(), testArguments);
    }
    return failures == 0 ? 0 : 1;
}
