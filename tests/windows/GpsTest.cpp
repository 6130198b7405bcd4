// The GPS page: the map address built from the fields, the position taken back from the page,
// the key filter, update and remove through to the saved file, and backup and restore.

#include <QAction>
#include <QLocale>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEnginePage>
#include <QWebEngineView>

#include <clocale>

#include "CompassImage.h"
#include "Exif.h"
#include "NumberText.h"
#include "WindowTest.h"

using namespace windowtest;
using namespace ExifDetails;

namespace {

const QString kMapPage = QStringLiteral("file://" GEODOT_TEST_MAP_PAGE);

// A window whose map shows the local test page, with the browser made.
std::unique_ptr<TForm1> windowWithMap() {
    auto form = newWindow();
    form->OSM = kMapPage + QStringLiteral("?mlat=%1&mlon=%2&zoom=%3");
    form->show();
    // The tests check that it came.
    (void)QTest::qWaitFor([&] { return form->WebBrowser1 != nullptr; }, 10000);
    return form;
}

bool waitForPage(TForm1& form, const std::function<void()>& navigate) {
    QSignalSpy loaded(form.WebBrowser1, &QWebEngineView::loadFinished);
    navigate();
    return loaded.wait(20000);
}

// What another reader finds in a file: the tags' numbers as exiftool prints them (-n), in one
// line.
QString peer(const QString& path, const QStringList& tags) {
    QProcess exiftool;
    exiftool.start(QStringLiteral("exiftool"), QStringList{"-n", "-s3"} + tags + QStringList{path});
    exiftool.waitForFinished(30000);
    return QString::fromUtf8(exiftool.readAllStandardOutput()).simplified();
}

QString peerPosition(const QString& path) {
    return peer(path, {"-GPSLatitude", "-GPSLongitude", "-GPSAltitude"});
}



void save(const QString& path) {
    Exif::WriteJpeg();
    Exif::SaveFile(path.toStdString(), Exif::ToStream, /*mustExist*/ true);
}

} // namespace

class GpsTest : public QObject {
    Q_OBJECT

private slots:
    void theFieldsGiveTheMapAddress_data() {
        QTest::addColumn<int>("ns");
        QTest::addColumn<int>("ew");
        QTest::addColumn<QString>("address");
        const QString base = QStringLiteral("geodot://map/#");
        QTest::newRow("north east")
            << 0 << 0 << base + "mlat=35.6814166666667&mlon=139.765888888889&zoom=15";
        QTest::newRow("south west")
            << 1 << 1 << base + "mlat=-35.6814166666667&mlon=-139.765888888889&zoom=15";
    }
    void theFieldsGiveTheMapAddress() {
        QFETCH(int, ns);
        QFETCH(int, ew);
        QFETCH(QString, address);
        ConfigHome home;
        // Numbers keep their point where the user's settings write a decimal comma.
        const std::string numeric = std::setlocale(LC_NUMERIC, nullptr);
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
        QLocale::setDefault(QLocale(QLocale::German));
        auto form = newWindow();
        setFields(*form, ns, {"35", "40", "53.1"}, ew, {"139", "45", "57.2"});
        QTest::mouseClick(form->ButtonFindPlace, Qt::LeftButton);
        std::setlocale(LC_NUMERIC, numeric.c_str());
        QLocale::setDefault(QLocale::c());
        QCOMPARE(form->LabelURL->text(), address);
    }

    void templatesExpand_data() {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<QString>("expanded");
        QTest::newRow("escaped percent") << "x%%1y%1" << "x%1y10";
        QTest::newRow("only the first of two") << "%1,%1" << "10,%1";
        QTest::newRow("a tab becomes a percent") << "a\tb%3" << "a%b7";
        QTest::newRow("order in the text does not matter") << "%3/%2/%1" << "7/-20.5/10";
    }
    void templatesExpand() {
        QFETCH(QString, pattern);
        QFETCH(QString, expanded);
        QCOMPARE(FormatStr(pattern, {"10", "-20.5", "7"}), expanded);
    }

    void thePositionIsTakenBackFromThePage_data() {
        QTest::addColumn<QString>("fragment");
        QTest::addColumn<QStringList>("latitude");
        QTest::addColumn<QStringList>("longitude");
        QTest::addColumn<int>("zoom");
        QTest::newRow("west of Greenwich")
            << "#map=12/35.5/-0.25" << QStringList{"北緯", "35", "30", "0"}
            << QStringList{"西経", "0", "15", "0"} << 12;
        QTest::newRow("seconds are not rounded")
            << "#map=15/35.6812/139.7671" << QStringList{"北緯", "35", "40", "52.3199999999889"}
            << QStringList{"東経", "139", "46", "1.55999999999722"} << 15;
        QTest::newRow("south") << "#map=3/-33.8568/151.2153"
                               << QStringList{"南緯", "33", "51", "24.4799999999992"}
                               << QStringList{"東経", "151", "12", "55.0800000000481"} << 3;
    }
    void thePositionIsTakenBackFromThePage() {
        QFETCH(QString, fragment);
        QFETCH(QStringList, latitude);
        QFETCH(QStringList, longitude);
        QFETCH(int, zoom);
        ConfigHome home;
        auto form = windowWithMap();
        QVERIFY(form->WebBrowser1);
        QVERIFY(waitForPage(*form, [&] { form->WebBrowser1->setUrl(QUrl(kMapPage + fragment)); }));
        QVERIFY(waitForPage(*form, [&] { QTest::mouseClick(form->ButtonGetPos, Qt::LeftButton); }));
        QCOMPARE(latitudeFields(*form), latitude);
        QCOMPARE(longitudeFields(*form), longitude);
        QCOMPARE(int(ZoomRatio), zoom);
        // The page is shown again with its marker on the picked position.
        QVERIFY(form->LabelURL->text().endsWith(QStringLiteral("&zoom=%1").arg(zoom)));
    }

    void aPlaceShownOnTheMapIsPickedUpAsItWas() {
        ConfigHome home;
        auto form = windowWithMap();
        setFields(*form, 1, {"33", "51", "24.5"}, 0, {"151", "12", "55"});
        QVERIFY(waitForPage(*form, [&] { QTest::mouseClick(form->ButtonFindPlace, Qt::LeftButton); }));
        QTRY_VERIFY(form->WebBrowser1->url().fragment().startsWith("map=15/"));
        QVERIFY(waitForPage(*form, [&] { QTest::mouseClick(form->ButtonGetPos, Qt::LeftButton); }));
        QCOMPARE(latitudeFields(*form)[0], QStringLiteral("南緯"));
        QCOMPARE(form->EditLat1->text() + "/" + form->EditLat2->text(), QStringLiteral("33/51"));
        // The address carries 15 significant digits of the decimal degrees.
        QVERIFY(qAbs(numberOf(form->EditLat3) - 24.5) < 1e-6);
        QVERIFY(qAbs(numberOf(form->EditLon3) - 55.0) < 1e-6);
    }

    void theMapPageIsToldWhichProgramAsks() {
        ConfigHome home;
        auto form = windowWithMap();
        QVERIFY(waitForPage(*form, [&] { form->WebBrowser1->setUrl(QUrl(kMapPage)); }));
        QString agent;
        form->WebBrowser1->page()->runJavaScript(
            "navigator.userAgent", [&](const QVariant& v) { agent = v.toString(); });
        QTRY_VERIFY_WITH_TIMEOUT(!agent.isEmpty(), 10000);
        QVERIFY2(agent.endsWith(" geodot/0.2.3a") && agent.contains("Chrome/"), qPrintable(agent));
    }

    void pickingUpBeforeAnyPageReloadsTheFieldsFromTheRegisters() {
        ConfigHome home;
        auto form = newWindow(); // never shown: no browser, no page
        PrepareRegistersForOpen({1, 35, 40, 53.1f, 1, 139, 45, 57.2f});
        setFields(*form, 1, {"1", "2", "3"}, 1, {"4", "5", "6"});
        QTest::mouseClick(form->ButtonGetPos, Qt::LeftButton);
        QCOMPARE(latitudeFields(*form), (QStringList{"北緯", "35", "40", "53.0999984741211"}));
        QCOMPARE(longitudeFields(*form), (QStringList{"東経", "139", "45", "57.2000007629395"}));
        QVERIFY(form->LabelURL->text().endsWith("&zoom=8"));
    }

    void anAddressWithoutAPositionIsReportedAndTheLabelShowsIt() {
        ConfigHome home;
        auto form = windowWithMap();
        QVERIFY(waitForPage(*form, [&] { form->WebBrowser1->setUrl(QUrl("about:blank")); }));
        const QString text = answerMessageBox(
            [&] { QTest::mouseClick(form->ButtonGetPos, Qt::LeftButton); });
        QCOMPARE(text, QStringLiteral("'' is not a valid floating point value"));
        QCOMPARE(form->LabelURL->text(), QStringLiteral("about:blank"));
    }

    void anUnreachableMapSaysSoInJapanese() {
        ConfigHome home;
        auto form = newWindow();
        form->OSM = QStringLiteral("http://127.0.0.1:9/?mlat=%1&mlon=%2&zoom=%3");
        setFields(*form, 0, {"35", "40", "53.1"}, 0, {"139", "45", "57.2"});
        form->show();
        QTRY_VERIFY_WITH_TIMEOUT(form->WebBrowser1 != nullptr, 10000);
        QTest::mouseClick(form->ButtonFindPlace, Qt::LeftButton);
        // The page is not the current one: what it would show, not what is on screen now.
        QTRY_VERIFY_WITH_TIMEOUT(!form->LabelMapUnavailable->isHidden(), 20000);
        QVERIFY(form->LabelMapUnavailable->text().startsWith("地図を読み込めませんでした。"));
        QVERIFY(form->WebBrowser1->isHidden());
        QCOMPARE(form->WebBrowser1->url().toString(),
                 QStringLiteral("http://127.0.0.1:9/?mlat=35.6814166666667&mlon=139.765888888889&zoom=15"));
        // The fields go on working, and a map that loads takes the message's place.
        form->OSM = kMapPage + QStringLiteral("?mlat=%1&mlon=%2&zoom=%3");
        form->EditLat1->setText("10");
        QVERIFY(waitForPage(*form, [&] { QTest::mouseClick(form->ButtonFindPlace, Qt::LeftButton); }));
        QVERIFY(form->LabelURL->text().contains("?mlat=10.6814166666667&"));
        QVERIFY(form->LabelMapUnavailable->isHidden() && !form->WebBrowser1->isHidden());
    }

    void pickingUpAfterAFailedLoadSaysSoAndLeavesTheFields() {
        ConfigHome home;
        auto form = windowWithMap();
        QVERIFY(waitForPage(*form, [&] { form->WebBrowser1->setUrl(QUrl(kMapPage + "#map=12/35.5/-0.25")); }));
        form->OSM = QStringLiteral("http://127.0.0.1:9/?mlat=%1&mlon=%2&zoom=%3");
        setFields(*form, 1, {"1", "2", "3"}, 1, {"4", "5", "6"});
        QVERIFY(waitForPage(*form, [&] { QTest::mouseClick(form->ButtonFindPlace, Qt::LeftButton); }));
        const QString shown = form->LabelURL->text();
        QCOMPARE(answerMessageBox([&] { QTest::mouseClick(form->ButtonGetPos, Qt::LeftButton); }),
                 QStringLiteral("地図を読み込めなかったため、地図の位置はありません。\n"
                                "入力欄はそのままです。"));
        QCOMPARE(latitudeFields(*form), (QStringList{"南緯", "1", "2", "3"}));
        QCOMPARE(longitudeFields(*form), (QStringList{"西経", "4", "5", "6"}));
        QCOMPARE(form->LabelURL->text(), shown);
    }

    void aLongMapAddressNeverWidensTheWindow() {
        ConfigHome home;
        auto form = newWindow();
        form->show();
        form->PageControl1->setCurrentWidget(form->TabSheetGPS);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const int width = form->width();
        form->OSM = QStringLiteral("http://127.0.0.1:9/") + QString(257, u'a') +
                    QStringLiteral("?mlat=%1&mlon=%2&zoom=%3"); // 300 characters
        QTest::mouseClick(form->ButtonFindPlace, Qt::LeftButton);
        QTest::qWait(200); // the layout's turn
        QCOMPARE(form->width(), width);
        QVERIFY(form->LabelURL->text().startsWith(form->OSM.left(276)));
        QVERIFY(form->LabelURL->width() < form->TabSheetGPS->width());
    }

    void onlyDigitsAndThePointCanBeTyped() {
        ConfigHome home;
        auto form = newWindow();
        form->show();
        for (QLineEdit* field : {form->EditLat1, form->EditLon3}) {
            field->clear();
            QTest::keyClicks(field, "a-,1+.5e");
            QCOMPARE(field->text(), QStringLiteral("1.5"));
            QTest::keyClick(field, Qt::Key_Backspace);
            QCOMPARE(field->text(), QStringLiteral("1."));
        }
        form->EditAlt->clear();
        QTest::keyClicks(form->EditAlt, "-12.5");
        QCOMPARE(form->EditAlt->text(), QStringLiteral("-12.5")); // not filtered
    }

    void anUpdateWritesThePositionShownAndRemoveTakesItAway() {
        ConfigHome home;
        QTemporaryDir dir;
        const QString photo = copyOf(dir, "canon-eos40d-gimp-le-gps-versiononly.jpg");
        auto form = newWindow();
        form->FileOpen(photo);
        setFields(*form, 1, {"33", "51", "24.48"}, 1, {"70", "40.5", "0"});
        form->ComboBoxAltitude->setCurrentIndex(1);
        form->EditAlt->setText("12.5");
        form->EditArea->setText("  港  ");
        QTest::mouseClick(form->BitBtnUpdateGPS, Qt::LeftButton);
        QCOMPARE(form->SoundNo, QStringLiteral("#3"));
        QCOMPARE(NewTag1C, std::u16string(u"港"));
        save(photo);
        QCOMPARE(peerPosition(photo), QStringLiteral("-33.8568 -70.675 -12.5"));

        // The fields still show the file's values after a reset.
        QTest::mouseClick(form->ButtonResetLatLon, Qt::LeftButton);
        QCOMPARE(form->EditLat1->text(), numberText(Tag02A));

        QTest::mouseClick(form->BitBtnRemove, Qt::LeftButton);
        QCOMPARE(form->SoundNo, QStringLiteral("#2"));
        QCOMPARE(form->EditLat1->text(), numberText(Tag02A)); // the fields keep their contents
        save(photo);
        QCOMPARE(peerPosition(photo), QString());
    }

    void aFieldWithoutANumberStopsTheUpdateThere() {
        ConfigHome home;
        auto form = newWindow();
        form->FileOpen(fixture("canon-eos40d-gimp-le-gps-versiononly.jpg"));
        form->show();
        NewTag02A = NewTag02B = -1;
        form->SoundNo.clear();
        setFields(*form, 1, {"35", "1.2.3", "0"}, 0, {"139", "0", "0"});
        QCOMPARE(answerMessageBox([&] { QTest::mouseClick(form->BitBtnUpdateGPS, Qt::LeftButton); }),
                 QStringLiteral("'1.2.3' is not a valid floating point value"));
        QCOMPARE(NewTag01, -1);
        QCOMPARE(NewTag02A, 35.0);
        QCOMPARE(NewTag02B, -1.0); // not reached
        QVERIFY(form->SoundNo.isEmpty());
        QVERIFY(form->isVisible());
    }

    void aFilesDirectionIsShownAndKeptByAnUpdate() {
        ConfigHome home;
        QTemporaryDir dir;
        const QString photo = copyOf(dir, "nikon-d800-be-gps-xmp-mpf-app1-full.jpg");
        auto form = newWindow();
        form->FileOpen(photo);
        QVERIFY(form->CB_Compass->isChecked());
        QCOMPARE(NewTag10, 1);
        QCOMPARE(NewTag11, 100.53);
        form->EditLat1->setText("10");
        form->BitBtnUpdateGPSClick();
        save(photo);
        QCOMPARE(peer(photo, {"-GPSImgDirection"}), QStringLiteral("100.53"));
    }

    void backupAndRestoreFollowTheFlags() {
        ConfigHome home;
        auto form = newWindow();
        QVERIFY(!form->PMGPS_Restore->isEnabled());
        setFields(*form, 1, {" 35 ", "40", "53.1"}, 1, {"139", "45", "57.2"});
        form->ComboBoxAltitude->setCurrentIndex(1);
        form->EditAlt->setText("7");
        form->EditArea->setText(" 東京 ");
        form->CB_Compass->setChecked(true);
        form->ImageCompassMouseUp(Qt::LeftButton, {}, 100, 32); // 45°
        form->PMGPS_Backup->trigger();
        QVERIFY(form->PMGPS_Restore->isEnabled());
        QCOMPARE(form->Bak02A, QStringLiteral("35"));
        QCOMPARE(form->Bak1C, QStringLiteral("東京"));
        QCOMPARE(form->Bak01, 1);
        QCOMPARE(form->Bak10, 1);
        QCOMPARE(form->Bak11, 45.0);

        setFields(*form, 0, {"1", "2", "3"}, 0, {"4", "5", "6"});
        form->ComboBoxAltitude->setCurrentIndex(0);
        form->EditAlt->setText("0");
        form->EditArea->setText("x");
        form->CB_Compass->setChecked(false);

        form->Flag01 = form->Flag1C = form->Flag10 = false;
        form->Flag05 = true;
        form->PMGPS_Restore->trigger();
        QCOMPARE(latitudeFields(*form), (QStringList{"北緯", "1", "2", "3"}));
        QCOMPARE(form->EditAlt->text() + form->ComboBoxAltitude->currentText(),
                 QStringLiteral("7海抜基準(負値)"));
        QCOMPARE(form->EditArea->text(), QStringLiteral("x"));
        QVERIFY(!form->CB_Compass->isChecked());
        QVERIFY(form->LabelURL->text().contains("mlat=1.03416666666667")); // the fields' place

        form->Flag01 = form->Flag1C = form->Flag10 = true;
        form->PMGPS_Restore->trigger();
        QCOMPARE(latitudeFields(*form), (QStringList{"南緯", "35", "40", "53.1"}));
        QCOMPARE(longitudeFields(*form), (QStringList{"西経", "139", "45", "57.2"}));
        QCOMPARE(form->EditArea->text(), QStringLiteral("東京"));
        QVERIFY(form->CB_Compass->isChecked());
        QCOMPARE(NewTag10, 1);
        QCOMPARE(NewTag11, 45.0);
    }

private:
    static double numberOf(const QLineEdit* field) { return field->text().toDouble(); }
    static QString numberText(double v) {
        return QString::fromStdU16String(NumberText::FormatGeneral(v));
    }
};

QObject* newGpsTest() {
    return new GpsTest;
}

#include "GpsTest.moc"
