// Remembered places, the default location, the configuration and locations dialogs, and one
// whole session of a user from a fresh start to a second start.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QWebEngineView>

#include "CompassImage.h"
#include "Exif.h"
#include "UnitConfig.h"
#include "UnitLocations.h"
#include "WindowTest.h"

using namespace windowtest;
using namespace ExifDetails;

namespace {


QAction* placeItem(const TForm1& form, int position) {
    return form.PMGPS->actions().at(form.PMGPSCount + position);
}

void remember(TForm1& form, const QString& name, const QString& lat1) {
    form.EditArea->setText(name);
    form.EditLat1->setText(lat1);
    form.PMGPS_Remember->trigger();
}

void selectPlaces(TFormLocations& dialog, const QStringList& names) {
    for (int i = 0; i < dialog.ListBoxLocations->count(); ++i)
        dialog.ListBoxLocations->item(i)->setSelected(names.contains(dialog.ListBoxLocations->item(i)->text()));
}

} // namespace

class PlacesTest : public QObject {
    Q_OBJECT

private slots:
    void aPlaceIsRememberedAndRecalledWithItsName() {
        ConfigHome home;
        auto form = newWindow();
        form->ComboBoxLatitude->setCurrentIndex(0);
        form->EditLat1->setText("35");
        form->EditLat2->setText("40");
        form->EditLat3->setText("53.1");
        form->EditLon1->setText("139");
        form->EditLon2->setText("45");
        form->EditLon3->setText("57.2");
        form->EditArea->setText(" A=B ");
        form->PMGPS_Remember->trigger();
        QCOMPARE(form->LocationRemember, QStringList{"A\tB=0,35,40,53.1,0,139,45,57.2"});
        QCOMPARE(placeItems(*form), QStringList{"A=B#1"});

        form->EditArea->clear();
        form->EditLat1->setText("1");
        form->ComboBoxLatitude->setCurrentIndex(1);
        placeItem(*form, 0)->trigger();
        QCOMPARE(form->EditArea->text(), QStringLiteral("A=B"));
        QCOMPARE(form->EditLat1->text(), QStringLiteral("35"));
        QCOMPARE(form->ComboBoxLatitude->currentIndex(), 0);
        QVERIFY(form->LabelURL->text().contains("mlat=35.6814166666667&mlon=139.765888888889&zoom=15"));
    }

    void anEmptyNameIsAskedForAndNothingIsRemembered() {
        ConfigHome home;
        auto form = newWindow();
        form->EditArea->setText("   ");
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QCOMPARE(answerMessageBox([&] { form->PMGPS_Remember->trigger(); }, &icon),
                 QStringLiteral("[測位地点の名称]を入力して下さい"));
        QCOMPARE(icon, QMessageBox::Question);
        QVERIFY(form->LocationRemember.isEmpty());
    }

    void rememberingIsOfferedWhileThereIsRoom() {
        ConfigHome home;
        auto form = newWindow();
        form->LocationMax = 2;
        remember(*form, "a", "1");
        emit form->PMGPS->aboutToShow();
        QVERIFY(form->PMGPS_Remember->isEnabled());
        remember(*form, "b", "2");
        emit form->PMGPS->aboutToShow();
        QVERIFY(!form->PMGPS_Remember->isEnabled());
        form->LocationMax = 3;
        emit form->PMGPS->aboutToShow();
        QVERIFY(form->PMGPS_Remember->isEnabled());
        form->LocationMax = 0;
        emit form->PMGPS->aboutToShow();
        QVERIFY(!form->PMGPS_Remember->isEnabled());
    }

    void theDefaultLocationFillsFilesWithoutAPosition_data() {
        QTest::addColumn<QString>("defPos");
        QTest::addColumn<QStringList>("latitude");
        QTest::addColumn<QStringList>("longitude");
        QTest::newRow("Tokyo") << "Tokyo" << QStringList{"北緯", "35", "40", "53.0999984741211"}
                               << QStringList{"東経", "139", "45", "57.2000007629395"};
        QTest::newRow("Honolulu") << "Honolulu" << QStringList{"北緯", "21", "16", "49"}
                                  << QStringList{"西経", "157", "49", "43"};
        QTest::newRow("lower-case t is none") << "tokyo" << QStringList{"北緯", "0", "0", "0"}
                                              << QStringList{"東経", "0", "0", "0"};
        QTest::newRow("User with nothing stored") << "User" << QStringList{"北緯", "0", "0", "0"}
                                                  << QStringList{"東経", "0", "0", "0"};
    }
    void theDefaultLocationFillsFilesWithoutAPosition() {
        QFETCH(QString, defPos);
        QFETCH(QStringList, latitude);
        QFETCH(QStringList, longitude);
        ConfigHome home;
        ArrayUser = {};
        auto form = newWindow();
        form->DefPos = defPos;
        form->FileOpen(fixture("no-exif-jfif.jpg"));
        QCOMPARE((QStringList{form->ComboBoxLatitude->currentText(), form->EditLat1->text(),
                              form->EditLat2->text(), form->EditLat3->text()}),
                 latitude);
        QCOMPARE((QStringList{form->ComboBoxLongitude->currentText(), form->EditLon1->text(),
                              form->EditLon2->text(), form->EditLon3->text()}),
                 longitude);
        QVERIFY(form->LabelURL->text().endsWith("&zoom=8"));
    }

    void theConfigurationDialogShowsAndStoresEveryValue() {
        ConfigHome home;
        auto form = newWindow();
        form->DefPos = "User";
        Exif::Ambiguous = false;
        withDialog([&] { form->MM_CC->trigger(); }, [&](QWidget*) {
            TFormConfig& d = *FormConfig;
            QCOMPARE(d.ComboBoxLocation->currentText(), QStringLiteral("ユーザー定義"));
            QVERIFY(!d.ComboBoxTranscodeFm->isEnabled());
            QTest::mouseClick(d.CB_Ambiguous, Qt::LeftButton);
            QVERIFY(d.ComboBoxTranscodeFm->isEnabled());
            d.ComboBoxTranscodeTo->setEditText("EUC-JP-MS");
            d.EditOSMURL->setEditText("http://localhost/?a=%1&b=%2&c=%3");
            d.CB_BakCompass->setChecked(true);
            d.CB_Bak8298->setChecked(false);
            d.ComboBoxLocation->setCurrentIndex(5);
            QTest::mouseClick(d.ButtonUpdate, Qt::LeftButton);
        });
        QVERIFY(Exif::Ambiguous);
        QCOMPARE(Exif::TranscodeTo, std::string("EUC-JP-MS"));
        QCOMPARE(form->OSM, QStringLiteral("http://localhost/?a=%1&b=%2&c=%3"));
        QVERIFY(form->Flag10 && !form->Flag8298);
        QCOMPARE(form->DefPos, QStringLiteral("Honolulu"));

        withDialog([&] { form->MM_CC->trigger(); }, [&](QWidget*) {
            TFormConfig& d = *FormConfig;
            d.ComboBoxLocation->setCurrentIndex(0);
            d.CB_Timestamp->setChecked(true);
            QTest::keyClick(&d, Qt::Key_Escape);
        });
        QCOMPARE(form->DefPos, QStringLiteral("Honolulu")); // cancelled: nothing stored
        QVERIFY(!form->TimestampOriginal);

        withDialog([&] { form->MM_CC->trigger(); }, [&](QWidget*) {
            FormConfig->ComboBoxLocation->setCurrentIndex(0);
            QTest::mouseClick(FormConfig->ButtonUpdate, Qt::LeftButton);
        });
        QCOMPARE(form->DefPos, QString());
        Exif::Ambiguous = false;
        Exif::TranscodeTo = "UNICODE";
    }

    void theLocationsDialogDeletesExactlyThePlacesRemoved_data() {
        QTest::addColumn<bool>("oneClick");
        QTest::newRow("B and D in one click") << true;
        QTest::newRow("B, then D") << false;
    }
    void theLocationsDialogDeletesExactlyThePlacesRemoved() {
        QFETCH(bool, oneClick);
        ConfigHome home;
        auto form = newWindow();
        for (const char* name : {"A", "B", "C", "D"})
            remember(*form, name, "1");
        withDialog([&] { form->MM_CL->trigger(); }, [&](QWidget*) {
            TFormLocations& d = *FormLocations;
            QCOMPARE(d.ListBoxLocations->count(), 4);
            if (oneClick) {
                selectPlaces(d, {"B", "D"});
                QTest::mouseClick(d.ButtonLocationDel, Qt::LeftButton);
            } else {
                selectPlaces(d, {"B"});
                QTest::mouseClick(d.ButtonLocationDel, Qt::LeftButton);
                selectPlaces(d, {"D"});
                QTest::mouseClick(d.ButtonLocationDel, Qt::LeftButton);
            }
            QTest::mouseClick(d.ButtonUpdate, Qt::LeftButton);
        });
        QCOMPARE(placeItems(*form), (QStringList{"A#1", "C#2"}));
        placeItem(*form, 1)->trigger();
        QCOMPARE(form->EditArea->text(), QStringLiteral("C"));
    }

    void cancellingKeepsThePlacesButNotTheLimit() {
        ConfigHome home;
        auto form = newWindow();
        for (const char* name : {"A", "B"})
            remember(*form, name, "1");
        withDialog([&] { form->MM_CL->trigger(); }, [&](QWidget*) {
            TFormLocations& d = *FormLocations;
            selectPlaces(d, {"A", "B"});
            QTest::mouseClick(d.ButtonLocationDel, Qt::LeftButton);
            QCOMPARE(d.ListBoxLocations->count(), 0);
            d.SpinEditLocationMax->setValue(3);
            QTest::mouseClick(d.ButtonCancel, Qt::LeftButton);
        });
        QCOMPARE(form->LocationRemember.size(), 2);
        QCOMPARE(form->LocationMax, 3);
        form->LocationMax = 40; // from an edited settings file
        withDialog([&] { form->MM_CL->trigger(); }, [&](QWidget*) {
            QCOMPARE(FormLocations->ListBoxLocations->count(), 2);
            QTest::mouseClick(FormLocations->ButtonCancel, Qt::LeftButton);
        });
        QCOMPARE(form->LocationMax, 15);
    }

    void aWholeSessionSurvivesARestart() {
        ConfigHome home;
        QTemporaryDir dir;
        const QString first = copyOf(dir, "canon-powershot-s40-le-thumb.jpg", "first.jpg");
        const QString second = copyOf(dir, "olympus-pen-ep3-le-thumb.jpg", "second.jpg");
        QVERIFY(QFile::exists(first) && QFile::exists(second));
        const QString mapPage = QStringLiteral("file://" GEODOT_TEST_MAP_PAGE);
        {
            auto form = newWindow();
            form->OSM = mapPage + "?mlat=%1&mlon=%2&zoom=%3";
            form->show();
            QTRY_VERIFY_WITH_TIMEOUT(form->WebBrowser1 != nullptr, 10000);
            form->FileOpen(first);
            QVERIFY(form->MM_FS->isEnabled());
            // Navigate on the map, then take the position from it.
            QSignalSpy loaded(form->WebBrowser1, &QWebEngineView::loadFinished);
            form->WebBrowser1->setUrl(QUrl(mapPage + "#map=16/-33.8568/151.2153"));
            QVERIFY(loaded.wait(20000));
            QTest::mouseClick(form->ButtonGetPos, Qt::LeftButton);
            form->ComboBoxAltitude->setCurrentIndex(0);
            form->EditAlt->setText("39");
            form->EditArea->setText("Opera House");
            form->CB_Compass->setChecked(true);
            form->ImageCompassMouseUp(Qt::LeftButton, {}, 100, 32);
            QTest::mouseClick(form->BitBtnUpdateGPS, Qt::LeftButton);
            form->PMGPS_Remember->trigger();
            form->PMGPS_ArUser->trigger();
            QCOMPARE(answerMessageBox([&] { form->MM_FS->trigger(); }), QString());
            QCOMPARE(form->SoundNo, QStringLiteral("#1"));
        } // quit: the settings are written

        auto form = newWindow();
        form->FileOpen(second);
        QCOMPARE(form->ComboBoxLatitude->currentText(), QStringLiteral("南緯"));
        QCOMPARE(form->EditLat1->text() + "/" + form->EditLat2->text(), QStringLiteral("33/51"));
        QCOMPARE(form->EditLon1->text() + "/" + form->EditLon2->text(), QStringLiteral("151/12"));
        QCOMPARE(placeItems(*form), QStringList{"Opera House#1"});
        form->EditArea->clear();
        placeItem(*form, 0)->trigger();
        QCOMPARE(form->EditArea->text(), QStringLiteral("Opera House"));

        QProcess exiftool;
        exiftool.start("exiftool", {"-n", "-s3", "-GPSLatitude", "-GPSLongitude", "-GPSAltitude",
                                    "-GPSImgDirection", "-GPSAreaInformation", first});
        exiftool.waitForFinished(30000);
        QCOMPARE(QString::fromUtf8(exiftool.readAllStandardOutput()).simplified(),
                 QStringLiteral("-33.8568 151.2153 39 45 Opera House"));
    }
};

QObject* newPlacesTest() {
    return new PlacesTest;
}

#include "PlacesTest.moc"
