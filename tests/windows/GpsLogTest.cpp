// GPS logs in the window: loading them (and saying what was wrong with them), the open photo's
// fields filled from its instant and saved with 更新, the time report, and a folder placed.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <fstream>
#include <map>

#include "Exif.h"
#include "GpsLogTools.h"
#include "WindowTest.h"
#include "support/Files.h"
#include "support/JpegBuilder.h"
#include "support/Walk.h"

using namespace windowtest;
using namespace testsupport;

namespace {

// A photo whose Exif IFD holds the given ASCII tags.
QString photo(const QTemporaryDir& dir, const QString& name,
              const std::map<std::uint16_t, std::string>& tags) {
    TiffBuilder t;
    const int ifd0 = t.addIfd(), exif = t.addIfd();
    t.pointer(ifd0, 0x8769, exif);
    for (const auto& [tag, value] : tags)
        t.entry(exif, tag, 2, static_cast<std::uint32_t>(value.size() + 1), ascii(value));
    const QString path = dir.filePath(name);
    writeBytes(path.toStdString(), jpeg(exifApp1(t.build())));
    return path;
}

QString logFile(const QTemporaryDir& dir, const QString& name, const std::string& text) {
    const QString path = dir.filePath(name);
    std::ofstream(path.toStdString(), std::ios::binary) << text;
    return path;
}

double fieldDegrees(const QLineEdit* d, const QLineEdit* m, const QLineEdit* s) {
    return d->text().toDouble() + m->text().toDouble() / 60 + s->text().toDouble() / 3600;
}

// A window with the walk's log loaded (as a file in `dir`) and photo times taken as UTC.
std::unique_ptr<TForm1> windowWithTheWalk(const QTemporaryDir& dir) {
    auto form = newWindow();
    form->GpsLogs->loadLogs({logFile(dir, QStringLiteral("walk.gpx"), gpxOf(walk()))});
    form->GpsLogs->setTiming(QStringLiteral("UTC"), 0);
    return form;
}

} // namespace

class GpsLogTest : public QObject {
    Q_OBJECT

  private slots:
    void logsAreLoadedAndTheirFaultsTold() {
        ConfigHome home;
        QTemporaryDir dir;
        auto form = newWindow();
        GpsLogTools& logs = *form->GpsLogs;
        const QString gpx = logFile(dir, QStringLiteral("walk.gpx"), gpxOf(walk()));
        const QString broken =
            logFile(dir, QStringLiteral("broken.nmea"),
                    nmeaSentence("GPRMC,120000.00,A,3500.000000,N,13900.000000,"
                                 "E,0.0,0.0,010524,,,A") +
                        "$GPRMC,120010.00,A,3500.1,N,13900.1,E,0,0,010524,,,A*00\r\n");
        const QString empty = logFile(dir, QStringLiteral("empty.gpx"), "<gpx></gpx>");

        const QString problems = logs.loadLogs({gpx, broken, empty, dir.filePath("none.gpx")});
        QCOMPARE(logs.track().points.size(), walk().size() + 1);
        const QStringList lines = problems.split(u'\n');
        QCOMPARE(lines.size(), 3);
        QVERIFY2(lines[0].contains(QStringLiteral("broken.nmea")) &&
                     lines[0].contains(QStringLiteral("1 行")),
                 qPrintable(lines[0]));
        QVERIFY(lines[1].contains(QStringLiteral("「empty.gpx」を読み込めません")));
        QVERIFY(lines[2].contains(QStringLiteral("「none.gpx」を読み込めません")));
        QVERIFY(!logs.MM_FA->isEnabled()); // no photo open

        // Logs that give nothing keep the track that was loaded before.
        QVERIFY(!logs.loadLogs({empty}).isEmpty());
        QCOMPARE(logs.track().points.size(), walk().size() + 1);
    }

    void theOpenPhotosFieldsComeFromTheLogAndAreSaved() {
        ConfigHome home;
        QTemporaryDir dir;
        auto form = newWindow();
        GpsLogTools& logs = *form->GpsLogs;
        const std::vector<Fix> fixes = walk();
        logs.loadLogs({logFile(dir, QStringLiteral("walk.gpx"), gpxOf(fixes))});
        const struct {
            const char* zone;
            double cameraError;
            std::map<std::uint16_t, std::string> tags;
            double second; // after 12:00:00 UTC; negative: no match
        } cases[] = {
            {"Asia/Tokyo", 0, {{0x9003, "2024:05:01 21:00:15"}}, 15},
            {"+09:00", 30, {{0x9003, "2024:05:01 21:05:30"}}, 300},
            {"Asia/Tokyo", 0, {{0x9003, "2024:05:01 14:03:33"}, {0x9011, "+02:00"}}, 213},
            {"Europe/Paris", 0, {{0x9003, "2024:05:01 14:07:00"}}, 420},
            {"UTC", 0, {{0x9003, "2024:05:01 18:00:00"}}, -1},
        };
        for (const auto& c : cases) {
            logs.setTiming(QString::fromLatin1(c.zone), c.cameraError);
            const QString path = photo(dir, QStringLiteral("photo.jpg"), c.tags);
            form->FileOpen(path);
            if (c.second < 0) {
                QVERIFY(logs.LabelGpsLog->text().contains(QStringLiteral("点がありません")));
                // The fields keep what the photo gives (here the default place).
                QCOMPARE(form->EditLat1->text().toDouble(), ExifDetails::Tag02A);
                continue;
            }
            const Fix expected = expectedAt(fixes, c.second);
            QVERIFY(logs.LabelGpsLog->text().startsWith(QStringLiteral("GPSログから (補間")));
            QCOMPARE(form->ComboBoxLatitude->currentIndex(), 0);
            QVERIFY(std::fabs(fieldDegrees(form->EditLat1, form->EditLat2, form->EditLat3) -
                              expected.lat) < 2e-6);
            QVERIFY(std::fabs(fieldDegrees(form->EditLon1, form->EditLon2, form->EditLon3) -
                              expected.lon) < 2e-6);
            QCOMPARE(form->ComboBoxAltitude->currentIndex(), expected.alt < 0 ? 1 : 0);
            QVERIFY(std::fabs(form->EditAlt->text().toDouble() - std::fabs(expected.alt)) < 0.05);
            QVERIFY(
                logs.timeReport(logs.timing()).contains(QStringLiteral("ログの最も近い点との差")));

            // 更新 and save, then what the file holds.
            form->BitBtnUpdateGPS->click();
            form->MM_FS->trigger();
            const GpsRead got = gpsOf({path.toStdString()}).at(0);
            if (std::isnan(got.lat))
                QSKIP("exiftool is not installed");
            QVERIFY(std::fabs(got.lat - expected.lat) < 2e-6);
            QVERIFY(std::fabs(got.lon - expected.lon) < 2e-6);
            QVERIFY(std::fabs(got.alt - expected.alt) < 0.05);
            QCOMPARE(got.date, std::string("2024:05:01"));
        }
    }

    void theLogsArePutIntoEveryPhotoOfTheFolder() {
        ConfigHome home;
        QTemporaryDir dir;
        auto form = windowWithTheWalk(dir);
        GpsLogTools& logs = *form->GpsLogs;
        const QString a = photo(dir, QStringLiteral("a.jpg"), {{0x9003, "2024:05:01 12:00:15"}});
        const QString b = photo(dir, QStringLiteral("b.JPG"), {{0x9003, "2024:05:01 12:09:00"}});
        const QString far =
            photo(dir, QStringLiteral("far.jpg"), {{0x9003, "2024:05:01 18:00:00"}});
        const QString noDate = photo(dir, QStringLiteral("nodate.jpeg"), {{0x010E, "x"}});
        const QString notJpeg = logFile(dir, QStringLiteral("text.jpg"), "not a picture");
        const auto farBefore = readBytes(far.toStdString());
        form->FileOpen(a);
        QVERIFY(logs.MM_FA->isEnabled());

        const QString summary = logs.applyToFolder();
        QVERIFY2(summary.contains(QStringLiteral("位置を書き込みました: 2 枚\n  a.jpg\n  b.JPG\n"
                                                 "一致なし: 1 枚\n  far.jpg\n失敗: 2 枚")),
                 qPrintable(summary));
        QVERIFY(summary.contains(QStringLiteral("nodate.jpeg (撮影日時がありません)")));
        QVERIFY(summary.contains(QStringLiteral("text.jpg (")));
        QCOMPARE(readBytes(far.toStdString()), farBefore);
        // The open photo was read again: its fields are those of the saved file.
        QCOMPARE(form->CurrentFileName, a);
        QVERIFY(std::fabs(ExifDetails::Tag02A + ExifDetails::Tag02B / 60 +
                          ExifDetails::Tag02C / 3600 - expectedAt(walk(), 15).lat) < 2e-6);
        const GpsRead got = gpsOf({b.toStdString()}).at(0);
        if (!std::isnan(got.lat))
            QCOMPARE(got.time, std::string("12:09:00"));
    }

    void unsavedChangesOfTheOpenPhotoAreAskedAboutBeforeTheFolderIsPlaced() {
        ConfigHome home;
        QTemporaryDir dir;
        auto form = windowWithTheWalk(dir);
        GpsLogTools& logs = *form->GpsLogs;
        const QString a = photo(dir, QStringLiteral("a.jpg"), {{0x9003, "2024:05:01 12:00:15"}});
        const QString b = photo(dir, QStringLiteral("b.jpg"), {{0x9003, "2024:05:01 12:09:00"}});
        const auto bBefore = readBytes(b.toStdString());
        form->FileOpen(a);
        form->Edit010E->setText(QStringLiteral("まだ保存していない題名"));
        QVERIFY(form->HasUnsavedChanges());

        // Yes to placing the folder, キャンセル to the unsaved changes.
        const QStringList boxes =
            answering(QStringLiteral("キャンセル"), [&] { logs.MM_FA->trigger(); }, true).texts;
        QCOMPARE(boxes.size(), 2);
        QVERIFY2(boxes[1].contains(QStringLiteral("保存されていません")), qPrintable(boxes[1]));
        QCOMPARE(readBytes(b.toStdString()), bBefore);
        QCOMPARE(form->Edit010E->text(), QStringLiteral("まだ保存していない題名"));
    }
};

QObject* newGpsLogTest() {
    return new GpsLogTest;
}

#include "GpsLogTest.moc"
