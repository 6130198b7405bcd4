// The settings file: defaults, the order it is written in, other programs' sections, values
// that must read back whole, and a folder that cannot be made.

#include <QAction>
#include <QDir>
#include <QFile>
#include <QMenu>
#include <QRegularExpression>
#include <QTest>

#include "Exif.h"
#include "WindowTest.h"

using namespace windowtest;

namespace {

void writeBytes(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        file.write(bytes);
}

QByteArray readBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void closingRightAfterStartWritesEveryKeyWithItsDefault() {
        ConfigHome home;
        newWindow().reset();
        QString text = readText(home.settingsFile());
        text.replace(QRegularExpression("(LEFT|TOP|WIDTH|HEIGHT)=-?\\d+"), "\\1=n");
        QCOMPARE(text, QStringLiteral("[CONFIG]\n"
                                      "OSM_URL=geodot://map/#mlat=%1&mlon=%2&zoom=%3\n"
                                      "TileURL=https://tile.openstreetmap.org/{z}/{x}/{y}.png\n"
                                      "TileAttribution=© OpenStreetMap contributors\n"
                                      "TranscodeTo=UNICODE\nTranscodeFm=SJIS\nAmbiguous=0\n"
                                      "Essential=1\nAfterEOI=1\nTimestampOriginal=0\n"
                                      "\n[PARAMS]\nLEFT=n\nTOP=n\nWIDTH=n\nHEIGHT=n\n"
                                      "\n[GPS]\n01=0\n02A=\n02B=\n02C=\n03=0\n04A=\n04B=\n04C=\n"
                                      "05=0\n06=\n10=0\n11=0\n1C=\nSave01=1\nSave05=1\n"
                                      "Save10=0\nSave1C=1\nLocation=Tokyo\nCompassNo=12\n"
                                      "LocationMax=5\nUserLocation=0,0,0,0,0,0,0,0\n"
                                      "\n[Exif]\n010E=\n013B=\n8298A=\n8298B=\n9286=\nA430=\n"
                                      "Save010E=1\nSave013B=1\nSave8298=1\nSave9286=1\n"
                                      "SaveA430=1\n"));
    }

    void otherSectionsStayInFrontAndUnknownKeysGo() {
        ConfigHome home;
        writeText(home.settingsFile(), QStringLiteral("[CONFIG]\nAfterEOI=0\nMyOwnKey=7\n"
                                                      "[Other Program]\nkeep=これは残る\n"
                                                      "[gps]\n01=257\nCompassNo=0x0D\n"));
        auto form = newWindow();
        QCOMPARE(form->Bak01, 1); // the low 8 bits of 257
        QCOMPARE(form->CNo, 13);  // hexadecimal, section name in another case
        QCOMPARE(Exif::AfterEOI, false); // a file that says 0 keeps saying 0
        QVERIFY(form->PMGPS_Restore->isEnabled());
        form.reset();

        const QString text = readText(home.settingsFile());
        QVERIFY(text.startsWith("[Other Program]\nkeep=これは残る\n\n[CONFIG]\n"));
        QVERIFY(!text.contains("MyOwnKey"));
        QVERIFY(text.contains("AfterEOI=0\n"));
        QVERIFY(text.contains("\n01=1\n"));
        QVERIFY(text.contains("\nCompassNo=13\n"));
        QCOMPARE(text.count("[GPS]", Qt::CaseInsensitive), 1);
        const qsizetype config = text.indexOf("[CONFIG]"), params = text.indexOf("[PARAMS]"),
                        gps = text.indexOf("[GPS]"), exif = text.indexOf("[Exif]");
        QVERIFY(config < params && params < gps && gps < exif);
    }

    void everyValueReadsBackAsItWasWritten() {
        ConfigHome home;
        auto form = newWindow();
        form->Bak9286 = QStringLiteral("一行目\n  二行目 = x\n<<<END_OF_TEXT\nEND_OF_TEXT\n三行目");
        form->Bak010E = QStringLiteral("<<<not a block");
        form->Bak1C = QStringLiteral("東京駅 \"丸の内\" = 北口");
        form->Bak11 = 123.45;
        form->Bak10 = -1;
        form->OSM = QStringLiteral("http://localhost:8080/map.html?lat=%1&lon=%2&z=%3");
        form->DefPos = QStringLiteral("User");
        ArrayUser = {-1, 35.68f, 0.5f, 1e-7f, 1, 139, 45, 57.2f};
        form.reset();

        ArrayUser = {};
        form = newWindow();
        QCOMPARE(form->Bak9286,
                 QStringLiteral("一行目\n  二行目 = x\n<<<END_OF_TEXT\nEND_OF_TEXT\n三行目"));
        QCOMPARE(form->Bak010E, QStringLiteral("<<<not a block"));
        QCOMPARE(form->Bak1C, QStringLiteral("東京駅 \"丸の内\" = 北口"));
        QCOMPARE(form->Bak11, 123.45);
        QCOMPARE(form->Bak10, -1);
        QCOMPARE(form->OSM, QStringLiteral("http://localhost:8080/map.html?lat=%1&lon=%2&z=%3"));
        QCOMPARE(form->DefPos, QStringLiteral("User"));
        const ExifDetails::Location expected{-1, 35.68f, 0.5f, 1e-7f, 1, 139, 45, 57.2f};
        QCOMPARE(ArrayUser, expected);
        QVERIFY(form->PMX_Restore->isEnabled() && form->PMGPS_Restore->isEnabled());
        const QString text = readText(home.settingsFile());
        const QRegularExpressionMatch line =
            QRegularExpression("\nUserLocation=(.*)\n").match(text);
        QCOMPARE(line.captured(1), QStringLiteral("-1,35.6800003051758,0.5,1.0000000116861E-7,1,"
                                                  "139,45,57.2000007629395"));
    }

    void aUserLocationThatIsNotEightNumbersReadsAsZeros_data() {
        QTest::addColumn<QString>("value");
        QTest::newRow("seven numbers") << "1,35,40,53.1,1,139,45";
        QTest::newRow("decimal commas") << "1,35,40,\"53,1\",1,139,45,\"57,2\"";
        QTest::newRow("a word") << "1,35,40,north,1,139,45,57.2";
        QTest::newRow("empty") << "";
    }
    void aUserLocationThatIsNotEightNumbersReadsAsZeros() {
        QFETCH(QString, value);
        ConfigHome home;
        writeText(home.settingsFile(), "[GPS]\nUserLocation=" + value + "\n");
        ArrayUser = {9, 9, 9, 9, 9, 9, 9, 9};
        auto form = newWindow(); // start-up completes
        QCOMPARE(ArrayUser, ExifDetails::Location{});
    }

    void quotedAndBlankSeparatedUserLocationsRead() {
        ConfigHome home;
        writeText(home.settingsFile(),
                  "[GPS]\nUserLocation=\"-1\" 21 16,\"49\",-1  157, 49 ,43\n");
        auto form = newWindow();
        QCOMPARE(ArrayUser, (ExifDetails::Location{-1, 21, 16, 49, -1, 157, 49, 43}));
    }

    void rememberedPlacesAllShowButOnlyLocationMaxAreKept() {
        ConfigHome home;
        QString text = "[GPS]\nLocationMax=5\n[Location]\n";
        const QStringList names = {"A\tB", "b", "c", "d", "e", "f"};
        for (int i = 0; i < names.size(); ++i)
            text += QString::number(i * 10) + "=" + names[i] + "=0,35,40,53.1,0,139,45,57.2\n";
        text += "99=no separator\n";
        writeText(home.settingsFile(), text);

        auto form = newWindow();
        QCOMPARE(form->LocationRemember.size(), 7);
        QCOMPARE(placeItems(*form), (QStringList{"A=B#1", "b#2", "c#3", "d#4", "e#5",
                                                       "f#6", "#7"}));
        form.reset();

        form = newWindow();
        QCOMPARE(form->LocationRemember,
                 (QStringList{"A\tB=0,35,40,53.1,0,139,45,57.2", "b=0,35,40,53.1,0,139,45,57.2",
                              "c=0,35,40,53.1,0,139,45,57.2", "d=0,35,40,53.1,0,139,45,57.2",
                              "e=0,35,40,53.1,0,139,45,57.2"}));
        QVERIFY(readText(home.settingsFile()).contains("[Location]\n0=A\tB=0,35"));
    }

    void restoreIsOfferedOnlyForAStoredBackup_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("gps");
        QTest::addColumn<bool>("exif");
        QTest::newRow("north, altitude index 0, no direction, no name")
            << "[GPS]\n01=0\n02A=35\n05=0\n10=0\n1C=\n" << false << false;
        QTest::newRow("south") << "[GPS]\n01=1\n" << true << false;
        QTest::newRow("below sea level") << "[GPS]\n05=1\n" << true << false;
        QTest::newRow("direction") << "[GPS]\n10=1\n" << true << false;
        QTest::newRow("place name") << "[GPS]\n1C=x\n" << true << false;
        QTest::newRow("owner") << "[Exif]\nA430=x\n" << false << true;
        QTest::newRow("editor's copyright") << "[Exif]\n8298B=x\n" << false << true;
    }
    void restoreIsOfferedOnlyForAStoredBackup() {
        QFETCH(QString, file);
        QFETCH(bool, gps);
        QFETCH(bool, exif);
        ConfigHome home;
        writeText(home.settingsFile(), file);
        auto form = newWindow();
        QCOMPARE(form->PMGPS_Restore->isEnabled(), gps);
        QCOMPARE(form->PMX_Restore->isEnabled(), exif);
    }

    void aFolderThatCannotBeMadeIsReportedAndNothingIsWritten() {
        ConfigHome home;
        // A file where the settings folder's parent should be.
        const QString blocked = home.path() + QStringLiteral("/blocked");
        writeText(blocked, QStringLiteral("not a folder"));
        qputenv("XDG_CONFIG_HOME", blocked.toUtf8());
        auto form = newWindow();
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QCOMPARE(answerMessageBox([&] { form.reset(); }, &icon),
                 QStringLiteral("<") + blocked +
                     QStringLiteral("/NORVANE/> creation error.\r\nConfigurations may not be saved."));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(readText(blocked), QStringLiteral("not a folder"));
    }

    void aNulSpoilsOnlyTheValueItStandsInAndTheFileIsKept() {
        ConfigHome home;
        const char text[] = "[CONFIG]\nOSM_URL=http://maps.example/?a=%1\0&b=%2&z=%3\n[GPS]\n"
                            "CompassNo=13\nLocationMax=7\n[Location]\n"
                            "0=駅=0,35,40,53,0,139,45,57\n[Exif]\n010E=題名\n";
        const QByteArray original(text, sizeof text - 1);
        writeBytes(home.settingsFile(), original);
        auto form = newWindow();
        QCOMPARE(form->OSM, QStringLiteral("http://maps.example/?a=%1&b=%2&z=%3"));
        QCOMPARE(form->CNo, 13);
        QCOMPARE(form->LocationMax, 7);
        QCOMPARE(form->LocationRemember, QStringList{"駅=0,35,40,53,0,139,45,57"});
        QCOMPARE(form->Bak010E, QStringLiteral("題名"));
        form.reset();

        QCOMPARE(readBytes(home.settingsFile() + ".bad"), original);
        const QString rewritten = readText(home.settingsFile());
        QVERIFY(rewritten.contains("\n0=駅=0,35,40,53,0,139,45,57\n"));
        QVERIFY(rewritten.contains("\n010E=題名\n"));
    }

    void aUtf16FileWithAByteOrderMarkIsRead_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("whole");
        const QString text = QStringLiteral("[GPS]\r\n1C=東京駅\r\nCompassNo=14\r\n"
                                            "[Location]\r\n0=皇居=0,35,41,0,0,139,45,0\r\n");
        QByteArray little("\xFF\xFE"), big("\xFE\xFF");
        for (QChar c : text) {
            little += char(c.unicode() & 0xFF);
            little += char(c.unicode() >> 8);
            big += char(c.unicode() >> 8);
            big += char(c.unicode() & 0xFF);
        }
        QTest::newRow("little-endian") << little << true;
        QTest::newRow("big-endian") << big << true;
        QTest::newRow("little-endian, a byte more") << little + "[" << false;
    }
    void aUtf16FileWithAByteOrderMarkIsRead() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, whole);
        ConfigHome home;
        writeBytes(home.settingsFile(), bytes);
        auto form = newWindow();
        QCOMPARE(form->Bak1C, QStringLiteral("東京駅"));
        QCOMPARE(form->CNo, 14);
        QCOMPARE(form->LocationRemember, QStringList{"皇居=0,35,41,0,0,139,45,0"});
        form.reset();
        QVERIFY(readText(home.settingsFile()).contains("\n1C=東京駅\n"));
        QCOMPARE(QFile::exists(home.settingsFile() + ".bad"), !whole);
    }
};

QObject* newSettingsTest() {
    return new SettingsTest;
}

#include "SettingsTest.moc"
