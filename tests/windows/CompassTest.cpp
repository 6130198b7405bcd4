// The compass: where the arrow ends, what a click sets, the tick box and the faces.

#include <QCheckBox>
#include <QTest>

#include "CompassImage.h"
#include "WindowTest.h"

using namespace windowtest;

namespace {

// What the arrow layer shows at a point: red where the line is, transparent elsewhere.
bool redAt(const TForm1& form, QPoint p) {
    const QColor c = form.ImageArrow->pixmap().toImage().pixelColor(p);
    return c.alpha() == 255 && c.red() == 255 && c.green() == 0 && c.blue() == 0;
}

int redPixels(const TForm1& form) {
    const QImage layer = form.ImageArrow->pixmap().toImage();
    int n = 0;
    for (int y = 0; y < layer.height(); ++y)
        for (int x = 0; x < layer.width(); ++x)
            n += redAt(form, {x, y});
    return n;
}

QImage face(int number) {
    return QImage(QStringLiteral(":/compass/%1.png").arg(number))
        .convertToFormat(QImage::Format_RGB888);
}

QImage shownFace(const TForm1& form) {
    return form.ImageCompass->pixmap().toImage().convertToFormat(QImage::Format_RGB888);
}

} // namespace

class CompassTest : public QObject {
    Q_OBJECT

private slots:
    void theCompassIsLaidOutAroundItsCentre() {
        ConfigHome home;
        auto form = newWindow();
        QCOMPARE(form->ImageCompass->geometry(), QRect(0, 0, 133, 133));
        QCOMPARE(form->ImageArrow->geometry(), QRect(0, 0, 133, 133));
        QCOMPARE(form->CB_Compass->pos(), QPoint(12, 133));
        QCOMPARE(form->CenterX, 66);
        QCOMPARE(form->CenterY, 66);
        QCOMPARE(form->arrow, 53.2f);
        QCOMPARE(form->CB_Compass->text(), QStringLiteral("方位を有効にする"));
        QCOMPARE(shownFace(*form), face(12));
        QCOMPARE(redPixels(*form), 0);
    }

    void theArrowEndsAtTheRimForEachDirection_data() {
        QTest::addColumn<float>("angle");
        QTest::addColumn<QPoint>("end");
        QTest::addColumn<QPoint>("beyond");
        QTest::newRow("north") << 0.0f << QPoint(66, 13) << QPoint(66, 9);
        QTest::newRow("east") << 90.0f << QPoint(119, 66) << QPoint(123, 66);
        QTest::newRow("south") << 180.0f << QPoint(66, 119) << QPoint(66, 123);
        QTest::newRow("west") << 270.0f << QPoint(13, 66) << QPoint(9, 66);
        QTest::newRow("north-east") << 45.0f << QPoint(104, 28) << QPoint(107, 25);
    }
    void theArrowEndsAtTheRimForEachDirection() {
        QFETCH(float, angle);
        QFETCH(QPoint, end);
        QFETCH(QPoint, beyond);
        ConfigHome home;
        auto form = newWindow();
        form->SetArrow(angle);
        QVERIFY(redAt(*form, {66, 66}));
        QVERIFY(redAt(*form, end));
        QVERIFY(!redAt(*form, beyond));
    }

    void aLeftClickSetsTheBearingOfTheClick_data() {
        QTest::addColumn<QPoint>("click");
        QTest::addColumn<double>("direction");
        QTest::addColumn<QPoint>("end");
        QTest::newRow("34 right, 34 up") << QPoint(100, 32) << 45.0 << QPoint(104, 28);
        QTest::newRow("straight below, far") << QPoint(66, 130) << 180.0 << QPoint(66, 119);
        QTest::newRow("left, near") << QPoint(60, 66) << 270.0 << QPoint(13, 66);
        QTest::newRow("lower left") << QPoint(36, 96) << 225.0 << QPoint(28, 104);
        QTest::newRow("a little west of north") << QPoint(60, 10) << 353.88 << QPoint(60, 13);
    }
    void aLeftClickSetsTheBearingOfTheClick() {
        QFETCH(QPoint, click);
        QFETCH(double, direction);
        QFETCH(QPoint, end);
        ConfigHome home;
        auto form = newWindow();
        form->show();
        QTest::mouseClick(form->CB_Compass, Qt::LeftButton);
        QCOMPARE(ExifDetails::NewTag10, 1);
        QCOMPARE(redPixels(*form), 0); // ticking alone draws nothing
        QTest::mouseClick(form->ImageArrow, Qt::LeftButton, {}, click);
        QCOMPARE(ExifDetails::NewTag11, direction);
        QVERIFY(redAt(*form, end));
    }

    void aClickAtTheCentreSetsNorthAndDrawsNothing() {
        ConfigHome home;
        auto form = newWindow();
        form->CB_Compass->setChecked(true);
        ExifDetails::NewTag11 = 90;
        form->ImageCompassMouseUp(Qt::LeftButton, {}, 66, 66);
        QCOMPARE(ExifDetails::NewTag11, 0.0);
        QCOMPARE(redPixels(*form), 0);
    }

    void clicksThatChangeNothing() {
        ConfigHome home;
        auto form = newWindow();
        form->show();
        ExifDetails::NewTag10 = 0;
        ExifDetails::NewTag11 = 12.5;
        QTest::mouseClick(form->ImageArrow, Qt::LeftButton, {}, {100, 32}); // box unticked
        form->CB_Compass->setChecked(true);
        ExifDetails::NewTag11 = 12.5;
        QTest::mouseClick(form->ImageArrow, Qt::RightButton, {}, {100, 32});
        QCOMPARE(ExifDetails::NewTag11, 12.5);
        QCOMPARE(redPixels(*form), 0);
    }

    void untickingTurnsTheDirectionOffAndClearsTheArrow() {
        ConfigHome home;
        auto form = newWindow();
        form->CB_Compass->setChecked(true);
        form->ImageCompassMouseUp(Qt::LeftButton, {}, 100, 32);
        QVERIFY(redPixels(*form) > 0);
        form->CB_Compass->setChecked(false);
        QCOMPARE(ExifDetails::NewTag10, 0);
        QCOMPARE(ExifDetails::NewTag11, 45.0); // the angle stays for the next time
        QCOMPARE(redPixels(*form), 0);
    }

    void doubleClicksCycleTheFacesOnlyWhileTheDirectionIsOff() {
        ConfigHome home;
        auto form = newWindow();
        form->show();
        QList<int> seen;
        for (int i = 0; i < 5; ++i) {
            QTest::mouseDClick(form->ImageArrow, Qt::LeftButton, {}, {20, 20});
            seen << form->CNo;
            QCOMPARE(shownFace(*form), face(form->CNo));
        }
        QCOMPARE(seen, (QList<int>{13, 14, 15, 11, 12}));
        form->CB_Compass->setChecked(true);
        QTest::mouseDClick(form->ImageArrow, Qt::LeftButton, {}, {20, 20});
        QCOMPARE(form->CNo, 12);
        form.reset();
        QCOMPARE(newWindow()->CNo, 12); // kept in the settings
    }

    void aFaceNumberWithoutAPictureFallsBackToTheDefaultFace() {
        ConfigHome home;
        {
            auto form = newWindow();
            form->CNo = 200;
        }
        auto form = newWindow(); // start-up completes
        QCOMPARE(form->CNo, 12);
        QCOMPARE(shownFace(*form), face(12));
        form->CNo = 3;
        form->ImageArrowDblClick();
        QCOMPARE(form->CNo, 11);
    }
};

QObject* newCompassTest() {
    return new CompassTest;
}

#include "CompassTest.moc"
