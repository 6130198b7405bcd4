// The frame of the main window: what a fresh window shows, its controls, the command line and
// dropped files, errors escaping a handler, and the sound clips.

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <QUrl>

#include "CompassImage.h"
#include "GeodotApplication.h"
#include "WindowTest.h"

using namespace windowtest;

class FrameTest : public QObject {
    Q_OBJECT

private slots:
    void aFreshWindowShowsNameAndVersionAndNothingToSave() {
        ConfigHome home;
        auto form = newWindow();
        form->show();
        QCOMPARE(form->windowTitle(), QStringLiteral(GEODOT_TEST_EXE "  v0.2.3a"));
        for (QAction* a : {form->MM_FS, form->MM_FN, form->PMGPS_Restore, form->PMX_Restore})
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        for (QToolButton* b : {form->SB_FS, form->SB_FN, form->SB_FR})
            QVERIFY2(!b->isEnabled(), qPrintable(b->objectName()));
        for (QAction* a : {form->MM_FO, form->MM_FX, form->MM_CC, form->MM_CL, form->MM_CV,
                           form->PMGPS_Remember})
            QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));
        QVERIFY(form->SB_FO->isEnabled() && form->SB_Exit->isEnabled());
        QVERIFY(form->MemoInfo->toPlainText().isEmpty());
        QCOMPARE(form->PageControl1->currentWidget(), form->TabSheetInfo);
        // The pop-up's fixed items: backup and restore, paste and copy, the two place items, and
        // the three separators.
        QCOMPARE(form->PMGPSCount, 9);
        QCOMPARE(form->BeepFreq, 494);
    }

    void captionsAndHintsAreTheProgramsOwn() {
        ConfigHome home;
        auto form = newWindow();
        QStringList tabs;
        for (int i = 0; i < form->PageControl1->count(); ++i)
            tabs << form->PageControl1->tabText(i);
        QCOMPARE(tabs, (QStringList{"Exif情報", "イメージ", "Exif編集", "ＧＰＳ"}));

        QStringList menu;
        for (QAction* top : form->menuBar()->actions()) {
            menu << top->text();
            for (QAction* item : top->menu()->actions())
                menu << (item->isSeparator() ? QStringLiteral("-") : item->text());
        }
        QCOMPARE(menu, (QStringList{"ファイル (&F)", "開く (&O)", "次の写真", "前の写真", "-",
                                    "上書き保存 (&S)",
                                    "名前を付けて保存 (&N)", "GPSログを読み込む… (&G)",
                                    "撮影時刻の補正… (&T)", "フォルダーの写真にログを適用… (&A)",
                                    "-", "終了 (&X)", "設定 (&C)",
                                    "設定 (&C)", "ロケーション記録の削除 (&L)", "-",
                                    "バージョン (&V)"}));

        const std::pair<QToolButton*, const char*> hints[] = {
            {form->SB_FO, "File Open"},
            {form->SB_FR, "Reload"},
            {form->SB_FS, "File Save (Overwrite)"},
            {form->SB_FN, "File Save (New File)"},
            {form->SB_Exit, "Exit"},
        };
        for (const auto& [button, hint] : hints) {
            QCOMPARE(button->toolTip(), QString::fromLatin1(hint));
            QVERIFY2(!button->icon().isNull(), hint);
        }
    }

    void theVersionBoxNamesProgramAndVersion() {
        ConfigHome home;
        auto form = newWindow();
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QCOMPARE(answerMessageBox([&] { form->MM_CV->trigger(); }, &icon),
                 QStringLiteral("<" GEODOT_TEST_EXE ">(64bit) v0.2.3a"));
        QCOMPARE(icon, QMessageBox::Information);
    }

    void everyControlIsThereByName_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("kind");
        const char* const controls[][2] = {
            {"Panel1", "QWidget"}, {"PageControl1", "QTabWidget"},
            {"MemoInfo", "QPlainTextEdit"}, {"Image1", "QLabel"},
            {"Edit010E", "QLineEdit"}, {"Edit013B", "QLineEdit"}, {"Edit8298A", "QLineEdit"},
            {"Edit8298B", "QLineEdit"}, {"RichEdit9286", "QPlainTextEdit"},
            {"EditA430", "QLineEdit"}, {"Shape1", "QFrame"}, {"Shape2", "QFrame"},
            {"Label8", "QLabel"}, {"Label19", "QLabel"},
            {"LabelURL", "QLabel"}, {"ComboBoxLatitude", "QComboBox"},
            {"ComboBoxLongitude", "QComboBox"}, {"ComboBoxAltitude", "QComboBox"},
            {"EditLat1", "QLineEdit"}, {"EditLat3", "QLineEdit"}, {"EditLon1", "QLineEdit"},
            {"EditLon3", "QLineEdit"}, {"EditAlt", "QLineEdit"}, {"EditArea", "QLineEdit"},
            {"BitBtnUpdateGPS", "QPushButton"}, {"BitBtnRemove", "QPushButton"},
            {"ButtonResetLatLon", "QPushButton"}, {"ButtonFindPlace", "QPushButton"},
            {"ButtonGetPos", "QPushButton"}, {"ShapeBrowser", "QFrame"},
            {"PanelCompass", "QWidget"}, {"ImageCompass", "CompassImage"},
            {"ImageArrow", "CompassImage"}, {"CB_Compass", "QCheckBox"},
            {"PMX", "QMenu"}, {"PMGPS", "QMenu"},
            {"PMX_Backup", "QAction"}, {"PMX_Restore", "QAction"}, {"PMX_Clear", "QAction"},
            {"PMGPS_Backup", "QAction"}, {"PMGPS_Restore", "QAction"},
            {"PMGPS_ArUser", "QAction"}, {"PMGPS_Remember", "QAction"},
            {"FormConfig", "TFormConfig"}, {"FormLocations", "TFormLocations"},
        };
        for (const auto& [name, kind] : controls)
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(kind);
    }
    void everyControlIsThereByName() {
        QFETCH(QString, name);
        QFETCH(QString, kind);
        ConfigHome home;
        auto form = newWindow();
        QObject* control = form->findChild<QObject*>(name);
        QVERIFY2(control, qPrintable(name));
        QVERIFY2(control->inherits(kind.toLatin1()), control->metaObject()->className());
    }

    void theCommandLineOpensTheFirstFileOnly() {
        ConfigHome home;
        auto form = newWindow({QStringLiteral(GEODOT_TEST_EXE),
                               fixture("canon-eos40d-gimp-le-gps-versiononly.jpg"),
                               fixture("google-pixel-le-gps.jpg")});
        QVERIFY(form->MemoInfo->toPlainText().isEmpty()); // nothing before the window shows
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY(form->windowTitle().endsWith("  [canon-eos40d-gimp-le-gps-versiononly.jpg]"));
        QVERIFY(form->MemoInfo->toPlainText().contains("Canon EOS 40D"));
        QVERIFY(form->MM_FS->isEnabled() && form->SB_FS->isEnabled() && form->SB_FR->isEnabled());
        QCOMPARE(form->CurrentFileName, fixture("canon-eos40d-gimp-le-gps-versiononly.jpg"));
    }

    void aDropOpensTheFirstFileOnly() {
        ConfigHome home;
        auto form = newWindow();
        form->show();
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(fixture("google-pixel-le-gps.jpg")),
                      QUrl::fromLocalFile(fixture("canon-eos40d-gimp-le-gps-versiononly.jpg")),
                      QUrl::fromLocalFile(fixture("no-exif-jfif.jpg"))});
        QDragEnterEvent enter(QPoint(100, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(form.get(), &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(form.get(), &drop);
        QVERIFY2(form->windowTitle().endsWith("  [google-pixel-le-gps.jpg]"), qPrintable(form->windowTitle()));
        QCOMPARE(form->CurrentFileName, fixture("google-pixel-le-gps.jpg"));
        QVERIFY(!QApplication::overrideCursor()); // the busy cursor is gone again
    }

    void aFileThatIsNoJpegEndsInAnErrorLineAndTheFailureSound() {
        ConfigHome home;
        auto form = newWindow();
        form->FileOpen(fixture("README.md"));
        QVERIFY(form->MemoInfo->toPlainText().endsWith("*** ERROR ***"));
        QCOMPARE(form->SoundNo, QStringLiteral("#4"));
        QVERIFY(!form->MM_FS->isEnabled() && !form->SB_FN->isEnabled());
        QVERIFY(!form->SB_FR->isEnabled()); // nothing was ever open
    }

    void anActionThatFailsShowsWhyAndTheWindowStaysUsable() {
        ConfigHome home;
        // A remembered place cut short in an edited settings file.
        writeText(home.settingsFile(), QStringLiteral("[Location]\n0=Broken=0,35\n"));
        auto form = newWindow();
        form->show();
        QAction* place = form->PMGPS->actions().at(form->PMGPSCount);
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QCOMPARE(answerMessageBox([&] { place->trigger(); }, &icon),
                 QStringLiteral("List index out of bounds (2)"));
        QCOMPARE(icon, QMessageBox::Critical);
        QCOMPARE(form->EditArea->text(), QStringLiteral("Broken")); // done before the error
        QVERIFY(form->isVisible());
        QCOMPARE(answerMessageBox([&] { form->MM_CV->trigger(); }),
                 QStringLiteral("<" GEODOT_TEST_EXE ">(64bit) v0.2.3a"));
    }

    void theSoundClipsAreStereo16BitAt44kHz_data() {
        QTest::addColumn<QString>("clip");
        QTest::addColumn<double>("seconds");
        QTest::newRow("#1 saved") << "1" << 1.41;
        QTest::newRow("#2 erased") << "2" << 1.19;
        QTest::newRow("#3 updated") << "3" << 1.09;
        QTest::newRow("#4 failed") << "4" << 0.62;
    }
    void theSoundClipsAreStereo16BitAt44kHz() {
        QFETCH(QString, clip);
        QFETCH(double, seconds);
        QFile file(QStringLiteral(":/sounds/%1.wav").arg(clip));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray wav = file.readAll();
        auto u16 = [&](int at) { return quint16(uchar(wav[at]) | uchar(wav[at + 1]) << 8); };
        auto u32 = [&](int at) { return quint32(u16(at)) | quint32(u16(at + 2)) << 16; };
        QCOMPARE(wav.left(4), QByteArray("RIFF"));
        QCOMPARE(wav.mid(8, 8), QByteArray("WAVEfmt "));
        QCOMPARE(u16(20), 1);        // PCM
        QCOMPARE(u16(22), 2);        // stereo
        QCOMPARE(u32(24), 44100u);   // samples per second
        QCOMPARE(u16(34), 16);       // bits per sample
        QCOMPARE(wav.mid(36, 4), QByteArray("data"));
        const double length = u32(40) / (44100.0 * 4);
        QVERIFY2(qAbs(length - seconds) < 0.02, qPrintable(QString::number(length)));
    }
};

QObject* newFrameTest() {
    return new FrameTest;
}

#include "FrameTest.moc"
