// The built-in map page with tiles from a tile server on this machine: what the server is
// told, the disk cache, the position shown and picked up, a click on the map, the credit, the
// direction, a GPS log's track, the page without the network, and the map's pop-up menu.

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineFindTextResult>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <cmath>
#include <fstream>

#include "ExifDetails.h"
#include "GpsLogTools.h"
#include "MapPage.h"
#include "TileServer.h"
#include "UnitConfig.h"
#include "WindowTest.h"
#include "support/Walk.h"

using namespace windowtest;

namespace {

// A window showing its GPS page, whose map takes its tiles from `server`.
std::unique_ptr<TForm1> mapWindow(const TileServer& server) {
    auto form = newWindow();
    form->TileURL = server.tileTemplate();
    form->show();
    form->PageControl1->setCurrentWidget(form->TabSheetGPS);
    (void)QTest::qWaitFor([&] { return form->WebBrowser1 != nullptr; }, 10000);
    return form;
}

QVariant evaluate(const TForm1& form, const QString& script) {
    QVariant result;
    bool done = false;
    form.WebBrowser1->page()->runJavaScript(script, [&](const QVariant& value) {
        result = value;
        done = true;
    });
    (void)QTest::qWaitFor([&] { return done; }, 10000);
    return result;
}

struct Tiles {
    int loaded = 0, failed = 0;
};

// The map's tiles once they cover the view and none is on its way any more: those shown and
// those that could not be had (hidden, so the grey shows).
Tiles settledTiles(const TForm1& form) {
    const QSize view = form.WebBrowser1->size();
    const int covering = int(std::ceil(view.width() / 256.0) * std::ceil(view.height() / 256.0));
    Tiles tiles;
    (void)QTest::qWaitFor([&] {
        const QVariantList counts = evaluate(form, QStringLiteral(R"((() => {
            const all = [...document.querySelectorAll("img.leaflet-tile")];
            return [all.length,
                    all.filter((t) => t.classList.contains("leaflet-tile-loaded")).length,
                    all.filter((t) => t.style.visibility === "hidden").length];
        })())")).toList();
        if (counts.size() != 3)
            return false;
        tiles = {counts[1].toInt(), counts[2].toInt()};
        return counts[0].toInt() >= covering && tiles.loaded + tiles.failed == counts[0].toInt();
    }, 20000);
    return tiles;
}

// How often `text` is found among what the page shows.
int shown(const TForm1& form, const QString& text) {
    int matches = -1;
    form.WebBrowser1->page()->findText(text, {}, [&](const QWebEngineFindTextResult& result) {
        matches = result.numberOfMatches();
    });
    (void)QTest::qWaitFor([&] { return matches >= 0; }, 10000);
    return matches;
}

// Empty when the fields hold `expected` (signed decimal degrees) within `tolerance` degrees;
// else what they hold.
QString positionMismatch(const TForm1& form, std::pair<double, double> expected,
                         double tolerance) {
    auto angle = [](const QComboBox* hemisphere, const QLineEdit* d, const QLineEdit* m,
                    const QLineEdit* s) {
        const double value = d->text().toDouble() + m->text().toDouble() / 60 +
                             s->text().toDouble() / 3600;
        return hemisphere->currentIndex() == 0 ? value : -value;
    };
    const double lat = angle(form.ComboBoxLatitude, form.EditLat1, form.EditLat2, form.EditLat3);
    const double lon = angle(form.ComboBoxLongitude, form.EditLon1, form.EditLon2, form.EditLon3);
    if (std::abs(lat - expected.first) < tolerance && std::abs(lon - expected.second) < tolerance)
        return {};
    return QStringLiteral("%1 %2, expected %3 %4")
        .arg(lat, 0, 'f', 7).arg(lon, 0, 'f', 7)
        .arg(expected.first, 0, 'f', 7).arg(expected.second, 0, 'f', 7);
}

// 場所を表示, then the map at rest at the fields' place.
bool showFieldsPlace(TForm1& form) {
    QTest::mouseClick(form.ButtonFindPlace, Qt::LeftButton);
    const QString sent = form.LabelURL->text();
    const QString lat = sent.section(QStringLiteral("mlat="), 1).section(u'&', 0, 0);
    return QTest::qWaitFor(
        [&] {
            const QString fragment = form.WebBrowser1->url().fragment();
            return fragment.startsWith(QStringLiteral("map=15/") + lat + u'/');
        },
        20000);
}

// Web Mercator as tile servers cut it: the world is 256 · 2^zoom pixels wide.
struct Mercator {
    double world;
    explicit Mercator(int zoom) : world(256.0 * std::pow(2.0, zoom)) {}
    QPointF pixel(double lat, double lon) const {
        const double phi = lat * M_PI / 180;
        return {(lon + 180) / 360 * world,
                (1 - std::log(std::tan(phi) + 1 / std::cos(phi)) / M_PI) / 2 * world};
    }
    std::pair<double, double> position(QPointF p) const {
        return {std::atan(std::sinh(M_PI * (1 - 2 * p.y() / world))) * 180 / M_PI,
                p.x() / world * 360 - 180};
    }
};

} // namespace

class MapTest : public QObject {
    Q_OBJECT

private slots:
    void tileAddressesAreMadeFromTheTemplate_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("address");
        QTest::newRow("the usual form") << "https://tile.example.org/{z}/{x}/{y}.png"
                                        << "https://tile.example.org/15/29102/12903.png";
        QTest::newRow("any order, query") << "http://127.0.0.1:8080/t?y={y}&x={x}&z={z}"
                                          << "http://127.0.0.1:8080/t?y=12903&x=29102&z=15";
        QTest::newRow("no local files") << "file:///home/user/{z}/{x}/{y}.png" << "";
        QTest::newRow("no other schemes") << "ftp://tile.example.org/{z}/{x}/{y}.png" << "";
        QTest::newRow("not an address") << "{z}/{x}/{y}.png" << "";
    }
    void tileAddressesAreMadeFromTheTemplate() {
        QFETCH(QString, pattern);
        QFETCH(QString, address);
        QCOMPARE(TileAddress(pattern, 15, 29102, 12903), address);
    }

    void tilesComeThroughTheProgramWhichNamesItselfAndKeepsThem() {
        ConfigHome home;
        TileServer server;
        QTemporaryDir dir;
        const QString photo = copyOf(dir, "google-pixel-le-gps.jpg");
        qsizetype firstStart = 0;
        {
            auto form = mapWindow(server);
            form->FileOpen(photo); // a photo with a position: the map shows it
            form->PageControl1->setCurrentWidget(form->TabSheetGPS);
            QVERIFY(form->LabelURL->text().startsWith(QStringLiteral("geodot://map/#mlat=50.2996")));
            const Tiles tiles = settledTiles(*form);
            QVERIFY(tiles.loaded > 0);
            QCOMPARE(tiles.failed, 0);
            firstStart = server.requests.size();
            QVERIFY(firstStart >= tiles.loaded);
        }
        for (const TileServer::Request& request : server.requests) {
            QVERIFY2(request.path.startsWith("/15/"), request.path);
            QVERIFY2(request.headers.value("user-agent").startsWith("geodot/0.2.3a (+"),
                     request.headers.value("user-agent"));
            QVERIFY(!request.headers.value("referer").isEmpty());
        }
        QVERIFY2(server.mostConnectionsAtOnce <= 2, qPrintable(QString::number(server.mostConnectionsAtOnce)));
        QVERIFY(!QDir(home.cacheFolder() + QStringLiteral("/NORVANE/geodot"))
                     .entryList(QDir::NoDotAndDotDot | QDir::AllEntries)
                     .isEmpty());

        // The next start takes them from the disk cache.
        auto form = mapWindow(server);
        form->FileOpen(photo);
        form->PageControl1->setCurrentWidget(form->TabSheetGPS);
        QVERIFY(settledTiles(*form).loaded > 0);
        QVERIFY2(server.requests.size() - firstStart <= firstStart / 2,
                 qPrintable(QStringLiteral("%1 then %2").arg(firstStart).arg(server.requests.size() - firstStart)));
    }

    void thePlaceShownIsPickedUpAsItWasAndAfterMovingTheMap() {
        ConfigHome home;
        TileServer server;
        auto form = mapWindow(server);
        setFields(*form, 1, {"33", "51", "24.5"}, 0, {"151", "12", "55"});
        QVERIFY(showFieldsPlace(*form));
        setFields(*form, 0, {"1", "2", "3"}, 0, {"4", "5", "6"});
        QTest::mouseClick(form->ButtonGetPos, Qt::LeftButton);
        QCOMPARE(form->ComboBoxLatitude->currentText(), QStringLiteral("南緯"));
        QCOMPARE(form->EditLat1->text() + "/" + form->EditLat2->text(), QStringLiteral("33/51"));
        QVERIFY(std::abs(form->EditLat3->text().toDouble() - 24.5) < 1e-6);
        QCOMPARE(form->EditLon1->text() + "/" + form->EditLon2->text(), QStringLiteral("151/12"));
        QVERIFY(std::abs(form->EditLon3->text().toDouble() - 55) < 1e-6);
        QCOMPARE(int(ExifDetails::ZoomRatio), 15);

        // Zoomed out and moved by the user: the zoom, and the centre to a pixel.
        QWidget* surface = form->WebBrowser1->focusProxy();
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(25, 57)); // the zoom control's "−"
        QVERIFY(QTest::qWaitFor(
            [&] { return form->WebBrowser1->url().fragment().startsWith("map=14/-33.8568"); }, 10000));
        QTest::mouseClick(surface, Qt::LeftButton, {}, QPoint(200, 150)); // the map has the keys
        QTest::keyClick(surface, Qt::Key_Right); // 80 pixels east
        QVERIFY(QTest::qWaitFor(
            [&] { return !form->WebBrowser1->url().fragment().endsWith("/151.215277777778"); }, 10000));
        QTest::mouseClick(form->ButtonGetPos, Qt::LeftButton);
        QCOMPARE(int(ExifDetails::ZoomRatio), 14);
        const Mercator mercator(14);
        const auto centre = mercator.position(
            mercator.pixel(-(33 + 51 / 60.0 + 24.5 / 3600), 151 + 12 / 60.0 + 55 / 3600.0) +
            QPointF(80, 0));
        const QString mismatch = positionMismatch(*form, centre, 360 / mercator.world);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void aClickOnTheMapSetsTheFields() {
        ConfigHome home;
        TileServer server;
        auto form = mapWindow(server);
        setFields(*form, 1, {"33", "51", "24.5"}, 1, {"70", "40", "0"});
        QVERIFY(showFieldsPlace(*form));
        settledTiles(*form);
        setFields(*form, 0, {"1", "2", "3"}, 0, {"4", "5", "6"});

        // 120 pixels right of and 80 below the centre of the map.
        const Mercator mercator(15);
        const QPointF centre = mercator.pixel(-(33 + 51 / 60.0 + 24.5 / 3600), -(70 + 40 / 60.0));
        const auto clicked = mercator.position(centre + QPointF(120, 80));
        QWidget* surface = form->WebBrowser1->focusProxy();
        const QPoint middle(form->WebBrowser1->width() / 2, form->WebBrowser1->height() / 2);
        QTest::mouseClick(surface, Qt::LeftButton, {}, middle + QPoint(120, 80));
        QTRY_COMPARE_WITH_TIMEOUT(form->ComboBoxLatitude->currentText(), QStringLiteral("南緯"), 10000);
        QCOMPARE(form->ComboBoxLongitude->currentText(), QStringLiteral("西経"));
        // Within a pixel and a half (the map's centre may sit half a pixel off).
        const QString mismatch = positionMismatch(*form, clicked, 1.5 * 360 / mercator.world);
        QVERIFY2(mismatch.isEmpty(), qPrintable(mismatch));
    }

    void theCreditIsShownAndFollowsTheTileServer() {
        ConfigHome home;
        TileServer server, other;
        auto form = mapWindow(server);
        QVERIFY(showFieldsPlace(*form));
        settledTiles(*form);
        QCOMPARE(shown(*form, QStringLiteral("© OpenStreetMap contributors")), 1);

        // Another server from the configuration dialog: used at the next map display, with its
        // credit (shown as text, not as markup).
        form->TileURL = other.tileTemplate();
        form->TileAttribution = QStringLiteral("地図 <b>テスト</b>");
        form->EditLat1->setText("10");
        QVERIFY(showFieldsPlace(*form));
        QVERIFY(settledTiles(*form).loaded > 0);
        QVERIFY(!other.requests.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(shown(*form, QStringLiteral("地図 <b>テスト</b>")), 1, 5000);
        QCOMPARE(shown(*form, QStringLiteral("OpenStreetMap")), 0);
    }

    void theDirectionShowsAsAConeFromTheMarker() {
        ConfigHome home;
        TileServer server;
        auto form = mapWindow(server);
        QVERIFY(showFieldsPlace(*form));
        const QString cone = QStringLiteral(
            "(() => { const c = document.querySelector('.direction svg');"
            " return c ? c.style.transform : 'none'; })()");
        QCOMPARE(evaluate(*form, cone).toString(), QStringLiteral("none"));
        form->CB_Compass->setChecked(true);
        form->ImageCompassMouseUp(Qt::LeftButton, {}, 100, 32); // 45°
        QTRY_COMPARE(evaluate(*form, cone).toString(), QStringLiteral("rotate(45deg)"));
        form->CB_Compass->setChecked(false);
        QTRY_COMPARE(evaluate(*form, cone).toString(), QStringLiteral("none"));
    }

    void aLoadedLogIsDrawnAndBroughtIntoViewAndStaysAfterAReload() {
        ConfigHome home;
        TileServer server;
        QTemporaryDir dir;
        const QString gpx = dir.filePath(QStringLiteral("walk.gpx"));
        std::ofstream(gpx.toStdString(), std::ios::binary) << testsupport::gpxOf(testsupport::walk());
        auto form = mapWindow(server);
        QVERIFY(showFieldsPlace(*form)); // at 0° 0°, far from the walk
        const QString line = QStringLiteral(
            "(() => { const p = document.querySelector('.leaflet-overlay-pane path');"
            " return p ? p.getAttribute('d').length : 0; })()");
        QCOMPARE(evaluate(*form, line).toInt(), 0);

        QCOMPARE(form->GpsLogs->loadLogs({gpx}), QString());
        QTRY_VERIFY(evaluate(*form, line).toInt() > 0);
        // No photo is open, so the view takes in the whole walk: 35.000–35.006° N,
        // 139.000–139.009° E.
        QString view;
        QVERIFY2(QTest::qWaitFor(
            [&] {
                view = form->WebBrowser1->url().fragment();
                const QStringList parts = view.mid(4).split(u'/');
                return view.startsWith(QStringLiteral("map=")) && parts.size() == 3 &&
                       parts[0].toInt() >= 15 && std::abs(parts[1].toDouble() - 35.003) < 0.002 &&
                       std::abs(parts[2].toDouble() - 139.0045) < 0.003;
            },
            10000),
            qPrintable(view));

        // A new document (which lacks the mark set on the old one) draws the track again.
        evaluate(*form, QStringLiteral("window.oldDocument = true"));
        form->WebBrowser1->reload();
        QTRY_VERIFY(evaluate(*form, QStringLiteral("window.oldDocument === undefined && "
                                                   "document.querySelector('.leaflet-overlay-pane path') !== null"))
                        .toBool());
    }

    void withoutTheServerCachedTilesShowAndTheRestIsGreyWithANotice() {
        ConfigHome home;
        TileServer server;
        const QString notice = QStringLiteral("地図の一部を取得できません");
        {
            auto form = mapWindow(server);
            QVERIFY(showFieldsPlace(*form));
            QCOMPARE(settledTiles(*form).failed, 0);
            QCOMPARE(shown(*form, notice), 0);
        }
        server.stop();
        auto form = mapWindow(server);
        QVERIFY(showFieldsPlace(*form));
        const Tiles cached = settledTiles(*form);
        QVERIFY(cached.loaded > 0);
        QCOMPARE(cached.failed, 0);

        setFields(*form, 0, {"35", "40", "53.1"}, 0, {"139", "45", "57.2"});
        QVERIFY(showFieldsPlace(*form));
        QVERIFY(settledTiles(*form).failed > 0);
        QCOMPARE(shown(*form, notice), 1);
        // The fields and the pick-up go on working.
        form->EditLat1->setText("0");
        QTest::mouseClick(form->ButtonGetPos, Qt::LeftButton);
        QCOMPARE(form->EditLat1->text() + "/" + form->EditLat2->text(), QStringLiteral("35/40"));
    }

    void aRightClickOnTheMapOpensThePagesOwnMenu() {
        ConfigHome home;
        TileServer server;
        auto form = mapWindow(server);
        QVERIFY(showFieldsPlace(*form));
        QWidget* surface = form->WebBrowser1->focusProxy();
        QTest::mouseClick(surface, Qt::RightButton, {}, QPoint(100, 100));
        QTRY_VERIFY_WITH_TIMEOUT(form->PMGPS->isVisible(), 10000);
        form->PMGPS->hide();
        // and not the browser's
        QVERIFY(!form->WebBrowser1->findChild<QMenu*>());
    }

    void theDialogOffersTheKnownMapsAndKeepsTheTileSettings() {
        ConfigHome home;
        {
            auto form = newWindow();
            QCOMPARE(form->OSM, QStringLiteral("geodot://map/#mlat=%1&mlon=%2&zoom=%3"));
            QCOMPARE(form->TileURL, QStringLiteral("https://tile.openstreetmap.org/{z}/{x}/{y}.png"));
            TFormConfig& d = *FormConfig;
            d.show();
            QStringList offered;
            for (int i = 0; i < d.EditOSMURL->count(); ++i)
                offered << d.EditOSMURL->itemText(i);
            QCOMPARE(offered, (QStringList{"geodot://map/#mlat=%1&mlon=%2&zoom=%3",
                                           "https://www.openstreetmap.org/?mlat=%1&mlon=%2&zoom=%3"}));
            QCOMPARE(d.EditTileAttribution->text(), QStringLiteral("© OpenStreetMap contributors"));
            d.EditTileURL->setText("http://127.0.0.1:8080/{z}/{x}/{y}.png");
            d.EditTileAttribution->setText("地図データ");
            d.EditOSMURL->lineEdit()->clear();
            QTest::keyClicks(d.EditOSMURL->lineEdit(), "http://localhost/?a=%1&b=%2&c=%3");
            QTest::keyClick(d.EditOSMURL->lineEdit(), Qt::Key_Return);
            QTRY_VERIFY(!d.isVisible());
            QCOMPARE(d.EditOSMURL->count(), 2); // typed text is no new item
            QCOMPARE(form->OSM, QStringLiteral("http://localhost/?a=%1&b=%2&c=%3"));
        }
        auto form = newWindow();
        QCOMPARE(form->OSM, QStringLiteral("http://localhost/?a=%1&b=%2&c=%3"));
        QCOMPARE(form->TileURL, QStringLiteral("http://127.0.0.1:8080/{z}/{x}/{y}.png"));
        QCOMPARE(form->TileAttribution, QStringLiteral("地図データ"));
    }
};

QObject* newMapTest() {
    return new MapTest;
}

#include "MapTest.moc"
