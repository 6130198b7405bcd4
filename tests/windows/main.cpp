// Runs the window test class named first on the command line (all of them without arguments) on
// the off-screen platform, unless another is asked for.

#include <QHostAddress>
#include <QNetworkProxyFactory>
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
QObject* newMapTest();
QObject* newX11Test();
QObject* newSeriesTest();
QObject* newFieldsTest();
QObject* newAppearanceTest();
QObject* newGpsLogTest();

namespace {

// The tests reach nothing beyond this machine: a request for another host goes to a proxy that
// is not there.
class ThisMachineOnly : public QNetworkProxyFactory {
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery& query) override {
        const QString host = query.peerHostName();
        if (host.isEmpty() || host == QLatin1String("localhost") || QHostAddress(host).isLoopback())
            return {QNetworkProxy(QNetworkProxy::NoProxy)};
        return {QNetworkProxy(QNetworkProxy::HttpProxy, QStringLiteral("127.0.0.1"), 9)};
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    PrepareBrowser();
    GeodotApplication app(argc, argv);
    QNetworkProxyFactory::setApplicationProxyFactory(new ThisMachineOnly);
    app.setApplicationName(QStringLiteral("geodot"));
    const std::vector<std::pair<QString, QObject* (*)()>> classes = {
        {QStringLiteral("FrameTest"), newFrameTest},
        {QStringLiteral("SettingsTest"), newSettingsTest},
        {QStringLiteral("CompassTest"), newCompassTest},
        {QStringLiteral("GpsTest"), newGpsTest},
        {QStringLiteral("FileTest"), newFileTest},
        {QStringLiteral("PlacesTest"), newPlacesTest},
        {QStringLiteral("MapTest"), newMapTest},
        {QStringLiteral("X11Test"), newX11Test},
        {QStringLiteral("SeriesTest"), newSeriesTest},
        {QStringLiteral("FieldsTest"), newFieldsTest},
        {QStringLiteral("AppearanceTest"), newAppearanceTest},
        {QStringLiteral("GpsLogTest"), newGpsLogTest},
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
