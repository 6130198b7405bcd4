// Working through a series of photos: the next and previous photo of the folder, the question
// before unsaved changes are left behind, and positions through the clipboard.

#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "ExifDetails.h"
#include "PhotoFolder.h"
#include "WindowTest.h"

using namespace windowtest;

namespace {

const char kPhoto[] = "canon-eos40d-gimp-le-gps-versiononly.jpg";
const QString kMapPage = QStringLiteral("file://" GEODOT_TEST_MAP_PAGE);

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A folder holding a copy of the test photo under each name.
struct Folder {
    explicit Folder(const QStringList& names) {
        for (const QString& name : names)
            copyOf(dir, QString::fromLatin1(kPhoto), name);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    QTemporaryDir dir;
};

QString openedName(const TForm1& form) {
    return QFileInfo(form.CurrentFileName).fileName();
}

// A shown and active window whose map is the local test page, so keys reach its shortcuts and
// nothing is fetched from the network.
std::unique_ptr<TForm1> activeWindow() {
    auto form = newWindow();
    form->OSM = kMapPage + QStringLiteral("?mlat=%1&mlon=%2&zoom=%3");
    form->show();
    form->activateWindow();
    (void)QTest::qWaitForWindowActive(form.get());
    return form;
}

QStringList position(const TForm1& form) {
    return latitudeFields(form) + longitudeFields(form);
}

} // namespace

class SeriesTest : public QObject {
    Q_OBJECT

private slots:
    void namesSortByTheirNumbers_data() {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::newRow("2 before 10") << "img2.jpg" << "img10.jpg";
        QTest::newRow("leading zeros") << "img02.jpg" << "img10.jpg";
        QTest::newRow("letter case ignored") << "IMG_9.jpg" << "img_10.JPG";
        QTest::newRow("letters before numbers") << "a10.jpg" << "b2.jpg";
        QTest::newRow("shorter name first") << "img.jpg" << "img1.jpg";
        QTest::newRow("numbers beyond 64 bits")
            << "p99999999999999999999.jpg" << "p100000000000000000000.jpg";
        QTest::newRow("second number decides") << "2024-3-9.jpg" << "2024-3-10.jpg";
        // Names equal but for zeros or letter case still have one order.
        QTest::newRow("tie by text") << "img01.jpg" << "img1.jpg";
    }
    void namesSortByTheirNumbers() {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QVERIFY(NaturalLess(first, second));
        QVERIFY(!NaturalLess(second, first));
        QVERIFY(!NaturalLess(first, first));
    }

    void altArrowsMoveThroughTheFolderAndStopAtItsEnds() {
        ConfigHome home;
        Folder folder({"img01.jpg", "img02.jpg", "img10.jpg"});
        auto form = activeWindow();
        form->FileOpen(folder.path("img02.jpg"));
        form->PageControl1->setCurrentWidget(form->TabSheetGPS);

        QTest::keyClick(form.get(), Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(openedName(*form), QStringLiteral("img10.jpg"));
        QVERIFY(form->windowTitle().endsWith("[img10.jpg]"));
        QCOMPARE(form->PageControl1->currentWidget(), form->TabSheetGPS);
        // The last photo: it stays.
        QTest::keyClick(form.get(), Qt::Key_Right, Qt::AltModifier);
        QCOMPARE(openedName(*form), QStringLiteral("img10.jpg"));

        for (const char* name : {"img02.jpg", "img01.jpg", "img01.jpg"}) {
            QTest::keyClick(form.get(), Qt::Key_Left, Qt::AltModifier);
            QCOMPARE(openedName(*form), QString::fromLatin1(name));
        }
        QCOMPARE(form->PageControl1->currentWidget(), form->TabSheetGPS);
    }

    void onlyJpegsOfAnyCaseAreVisited() {
        ConfigHome home;
        Folder folder({"a.JPG", "b10.Jpg", "b2.jpeg", "c.png", "d.txt", "e.JPEG", ".f.jpg"});
        QDir(folder.dir.path()).mkdir(QStringLiteral("d1.jpg")); // a folder, not a photo
        auto form = newWindow();
        form->FileOpen(folder.path("a.JPG"));
        QStringList visited;
        for (int i = 0; i < 5; ++i) {
            form->MM_FNext->trigger();
            visited << openedName(*form);
        }
        QCOMPARE(visited, (QStringList{"b2.jpeg", "b10.Jpg", "e.JPEG", "e.JPEG", "e.JPEG"}));

        // From a photo that is gone meanwhile, its neighbours by name.
        QFile::remove(folder.path("b10.Jpg"));
        form->FileOpen(folder.path("b10.Jpg"));
        form->MM_FPrev->trigger();
        QCOMPARE(openedName(*form), QStringLiteral("b2.jpeg"));
    }

    void leavingUnsavedChangesAsksFirst_data() {
        QTest::addColumn<QString>("route");
        QTest::addColumn<QString>("answer");
        for (const char* route : {"next", "reload", "drop", "close"})
            for (const char* answer : {"保存", "保存しない", "キャンセル"})
                QTest::addRow("%s %s", route, answer) << route << QString::fromUtf8(answer);
    }
    void leavingUnsavedChangesAsksFirst() {
        QFETCH(QString, route);
        QFETCH(QString, answer);
        ConfigHome home;
        Folder folder({"img1.jpg", "img2.jpg"});
        const QString photo = folder.path("img1.jpg");
        const QByteArray original = bytesOf(photo);
        auto form = activeWindow();
        form->FileOpen(photo);
        QVERIFY(!form->windowTitle().endsWith('*'));
        form->Edit010E->setText("Harbour at dusk");
        QVERIFY(form->windowTitle().endsWith("[img1.jpg]*"));

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(folder.path("img2.jpg"))});
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
        const std::map<QString, std::function<void()>> routes = {
            {"next", [&] { form->MM_FNext->trigger(); }},
            {"reload", [&] { form->SB_FR->click(); }},
            {"drop", [&] {
                 QApplication::sendEvent(form.get(), &enter);
                 QApplication::sendEvent(form.get(), &drop);
             }},
            {"close", [&] { form->MM_FX->trigger(); }},
        };
        Boxes boxes = answering(answer, routes.at(route));
        boxes.questionButtons.sort(); // in the order the desktop's guidelines lay them out
        QCOMPARE(boxes.questionButtons, (QStringList{"キャンセル", "保存", "保存しない"}));
        QCOMPARE(boxes.texts,
                 QStringList{"「img1.jpg」への変更は保存されていません。保存しますか？"});

        const bool saved = answer == "保存", stayed = answer == "キャンセル";
        QCOMPARE(bytesOf(photo) != original, saved);
        if (stayed) {
            QCOMPARE(form->CurrentFileName, photo);
            QCOMPARE(form->Edit010E->text(), QStringLiteral("Harbour at dusk"));
            QVERIFY(form->windowTitle().endsWith('*'));
            QVERIFY(form->isVisible());
        } else if (route == "close") {
            QVERIFY(!form->isVisible());
        } else {
            QCOMPARE(openedName(*form), route == "reload" ? "img1.jpg" : "img2.jpg");
            QVERIFY(!form->windowTitle().endsWith('*'));
        }
        if (saved) {
            form->FileOpen(photo);
            QCOMPARE(form->Edit010E->text(), QStringLiteral("Harbour at dusk"));
        }
    }

    void aSaveThatFailsKeepsThePhotoAndItsChanges() {
        ConfigHome home;
        Folder folder({"img1.jpg", "img2.jpg"});
        auto form = newWindow();
        form->FileOpen(folder.path("img1.jpg"));
        form->Edit013B->setText("Hanako");
        // Another program takes the file away: saving over it is refused.
        QFile::remove(folder.path("img1.jpg"));
        const Boxes boxes = answering("保存", [&] { form->MM_FNext->trigger(); });
        QCOMPARE(boxes.texts.size(), 2);
        QVERIFY2(boxes.texts[1].startsWith("保存できませんでした。"), qPrintable(boxes.texts[1]));
        QCOMPARE(openedName(*form), QStringLiteral("img1.jpg"));
        QCOMPARE(form->Edit013B->text(), QStringLiteral("Hanako"));
        QVERIFY(form->HasUnsavedChanges());
    }

    void theTitleMarksWhatIsNotSaved() {
        ConfigHome home;
        Folder folder({"img1.jpg"});
        auto form = newWindow();
        form->FileOpen(folder.path("img1.jpg"));
        const QString clean = form->windowTitle();
        QVERIFY(clean.endsWith("[img1.jpg]"));

        // A text changed and changed back is no change.
        const QString artist = form->Edit013B->text();
        form->Edit013B->setText(artist + "x");
        QCOMPARE(form->windowTitle(), clean + "*");
        form->Edit013B->setText(artist);
        QCOMPARE(form->windowTitle(), clean);
        form->RichEdit9286->setPlainText("コメント");
        QCOMPARE(form->windowTitle(), clean + "*");
        form->MM_FS->trigger();
        QCOMPARE(form->windowTitle(), clean);

        // A position applied with 更新 or removed with 消去, until it is saved.
        for (QPushButton* button : {form->BitBtnUpdateGPS, form->BitBtnRemove}) {
            button->click();
            QCOMPARE(form->windowTitle(), clean + "*");
            QVERIFY(answering("保存しない", [&] { form->SB_FR->click(); }).texts.size() == 1);
            QCOMPARE(form->windowTitle(), clean);
        }

        // A file that could not be opened has nothing to save, and leaving it asks nothing.
        writeText(folder.path("img1.jpg"), "no picture");
        form->FileOpen(folder.path("img1.jpg"));
        form->Edit010E->setText("typed");
        QVERIFY(!form->windowTitle().endsWith('*'));
        QVERIFY(answering("キャンセル", [&] { form->SB_FR->click(); }).texts.isEmpty());
    }

    void aPastedPositionFillsTheFieldsAndShowsThePlace_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("fields");
        QTest::newRow("decimal") << "35.681236, 139.767125"
                                 << QStringList{"北緯", "35", "40", "52.4496",
                                                "東経", "139", "46", "1.65"};
        QTest::newRow("south and west")
            << "-33.856784 -70.654321"
            << QStringList{"南緯", "33", "51", "24.4224", "西経", "70", "39", "15.5556"};
        QTest::newRow("japanese") << "北緯35度40分52秒 東経139度46分1秒"
                                  << QStringList{"北緯", "35", "40", "52",
                                                 "東経", "139", "46", "1"};
        QTest::newRow("map address")
            << "https://www.openstreetmap.org/#map=17/-33.856784/151.215297"
            << QStringList{"南緯", "33", "51", "24.4224", "東経", "151", "12", "55.0692"};
    }
    void aPastedPositionFillsTheFieldsAndShowsThePlace() {
        QFETCH(QString, text);
        QFETCH(QStringList, fields);
        ConfigHome home;
        auto form = newWindow();
        QGuiApplication::clipboard()->setText(text);
        QCOMPARE(answering("", [&] { form->PMGPS_Paste->trigger(); }).texts, QStringList());
        QCOMPARE(position(*form), fields);
        QCOMPARE(form->PageControl1->currentWidget(), form->TabSheetGPS);
        // Shown as 場所を表示 shows it.
        const QString shown = form->LabelURL->text();
        form->ButtonFindPlace->click();
        QCOMPARE(shown, form->LabelURL->text());
        QVERIFY(shown.contains("&zoom=15"));
    }

    void aRefusedPasteSaysWhyAndChangesNothing() {
        ConfigHome home;
        auto form = newWindow();
        setFields(*form, 0, {"43", "3", "43.56"}, 0, {"141", "21", "15.84"});
        const QStringList before = position(*form);
        const QString map = form->LabelURL->text();
        const std::pair<const char*, const char*> refusals[] = {
            {"hello", "位置として読み取れません"},
            {"95, 10", "緯度 95 は -90 から 90 の範囲外です"},
            {"35.6", "緯度と経度の両方が必要です"},
        };
        for (const auto& [text, reason] : refusals) {
            QGuiApplication::clipboard()->setText(QString::fromUtf8(text));
            const Boxes boxes = answering("", [&] { form->PMGPS_Paste->trigger(); });
            QCOMPARE(boxes.texts.size(), 1);
            QVERIFY2(boxes.texts[0].contains(QString::fromUtf8(reason)), qPrintable(boxes.texts[0]));
            QCOMPARE(position(*form), before);
            QCOMPARE(form->LabelURL->text(), map);
        }
    }

    void copyGivesSignedDecimalDegrees_data() {
        QTest::addColumn<int>("ns");
        QTest::addColumn<QStringList>("lat");
        QTest::addColumn<int>("ew");
        QTest::addColumn<QStringList>("lon");
        QTest::addColumn<QString>("copied");
        QTest::newRow("north east") << 0 << QStringList{"35", "40", "52.4496"} << 0
                                    << QStringList{"139", "46", "1.65"}
                                    << "35.681236, 139.767125";
        QTest::newRow("south west") << 1 << QStringList{"33", "51", "24.4224"} << 1
                                    << QStringList{"70", "39", "15.5556"}
                                    << "-33.856784, -70.654321";
        QTest::newRow("minutes over 60 still add up")
            << 0 << QStringList{"10", "90", "0"} << 0 << QStringList{"0", "0", "36"}
            << "11.500000, 0.010000";
        QTest::newRow("no minus zero") << 1 << QStringList{"0", "0", "0"} << 1
                                       << QStringList{"0", "0", "0"} << "0.000000, 0.000000";
    }
    void copyGivesSignedDecimalDegrees() {
        QFETCH(int, ns);
        QFETCH(QStringList, lat);
        QFETCH(int, ew);
        QFETCH(QStringList, lon);
        QFETCH(QString, copied);
        ConfigHome home;
        auto form = newWindow();
        setFields(*form, ns, lat, ew, lon);
        form->PMGPS_Copy->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(), copied);
    }

    void shortcutsPasteAndCopyAndThePastedPlaceIsSaved() {
        ConfigHome home;
        Folder folder({"img1.jpg"});
        auto form = activeWindow();
        form->FileOpen(folder.path("img1.jpg"));
        QGuiApplication::clipboard()->setText("geo:-33.856784,151.215297;u=10");
        QTest::keyClick(form.get(), Qt::Key_V, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(form->EditLat1->text(), QStringLiteral("33"));
        form->BitBtnUpdateGPS->click();
        form->MM_FS->trigger();
        form->FileOpen(folder.path("img1.jpg"));
        using namespace ExifDetails;
        QCOMPARE(Tag01, -1);
        QCOMPARE(Tag03, 1);
        QVERIFY(std::abs(Tag02A + Tag02B / 60 + Tag02C / 3600 - 33.856784) < 2e-6);
        QVERIFY(std::abs(Tag04A + Tag04B / 60 + Tag04C / 3600 - 151.215297) < 2e-6);

        QGuiApplication::clipboard()->clear();
        QTest::keyClick(form.get(), Qt::Key_C, Qt::ControlModifier | Qt::ShiftModifier);
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("-33.856784, 151.215297"));
    }
};

QObject* newSeriesTest() {
    return new SeriesTest;
}

#include "SeriesTest.moc"
