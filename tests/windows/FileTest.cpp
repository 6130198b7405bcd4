// Opening and saving through the window, and the Exif page's six text values.

#include <QAction>
#include <QDateTime>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "Exif.h"
#include "WindowTest.h"

using namespace windowtest;
using namespace ExifDetails;

namespace {

QByteArray bytesOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The texts another reader finds, one per line.
QStringList peerTexts(const QString& path) {
    QProcess exiftool;
    exiftool.start(QStringLiteral("exiftool"),
                   {"-s3", "-charset", "exif=utf8", "-ImageDescription", "-Artist", "-Copyright",
                    "-UserComment", "-OwnerName", path});
    exiftool.waitForFinished(30000);
    return QString::fromUtf8(exiftool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

// Answers the save dialog the action opens with `path`.
void saveAs(TForm1& form, const QString& path) {
    QTimer::singleShot(0, [path] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        }
    });
    form.MM_FN->trigger();
}

// Saves over the current file; a message box (a refused save) is answered and its text returned.
QString saveOver(TForm1& form) {
    return answerMessageBox([&] { form.MM_FS->trigger(); });
}

class Photo {
public:
    explicit Photo(const QString& fixtureName = "canon-eos40d-gimp-le-gps-versiononly.jpg")
        : path(copyOf(dir, fixtureName)) {}
    QTemporaryDir dir;
    QString path;
};

} // namespace

class FileTest : public QObject {
    Q_OBJECT

private slots:
    void textsAreSavedAndReadBack() {
        ConfigHome home;
        Photo photo;
        auto form = newWindow();
        form->FileOpen(photo.path);
        QVERIFY(form->MM_FS->isEnabled());
        form->Edit010E->setText("  Harbour at dusk  ");
        form->Edit013B->setText("Hanako Yamada");
        form->Edit8298A->setText("Hanako");
        form->Edit8298B->setText("Taro");
        form->RichEdit9286->setPlainText("一行目\n二行目\nthird line");
        form->EditA430->setText("Owner");
        QCOMPARE(saveOver(*form), QString());
        QCOMPARE(form->SoundNo, QStringLiteral("#1"));

        form->SB_FR->click();
        QCOMPARE(form->Edit010E->text(), QStringLiteral("Harbour at dusk"));
        QCOMPARE(form->Edit013B->text(), QStringLiteral("Hanako Yamada"));
        QCOMPARE(form->Edit8298A->text() + "|" + form->Edit8298B->text(),
                 QStringLiteral("Hanako|Taro"));
        QCOMPARE(form->RichEdit9286->toPlainText(), QStringLiteral("一行目\n二行目\nthird line"));
        QCOMPARE(form->EditA430->text(), QStringLiteral("Owner"));
        const QStringList peer = peerTexts(photo.path);
        QVERIFY2(peer.contains("Hanako Yamada") && peer.contains("Owner"),
                 qPrintable(peer.join('/')));
    }

    void theCopyrightTakesItsTwoParts_data() {
        QTest::addColumn<QString>("photographer");
        QTest::addColumn<QString>("editor");
        QTest::addColumn<QString>("value");
        QTest::newRow("neither") << "" << "" << "";
        QTest::newRow("photographer") << "P" << "" << QStringLiteral("P") + QChar(0);
        QTest::newRow("editor") << "" << "E"
                                << QStringLiteral(" ") + QChar(0) + "E" + QChar(0);
        QTest::newRow("both") << "P" << "E" << QStringLiteral("P") + QChar(0) + "E" + QChar(0);
    }
    void theCopyrightTakesItsTwoParts() {
        QFETCH(QString, photographer);
        QFETCH(QString, editor);
        QFETCH(QString, value);
        ConfigHome home;
        auto form = newWindow();
        form->FileOpen(fixture("canon-eos40d-gimp-le-gps-versiononly.jpg"));
        form->Edit8298A->setText(photographer);
        form->Edit8298B->setText(editor);
        form->UpdateExifStrings();
        QCOMPARE(QString::fromStdU16String(NewTag8298), value);
    }

    void backupRestoreAndClearFollowTheFlags() {
        ConfigHome home;
        auto form = newWindow();
        QVERIFY(!form->PMX_Restore->isEnabled());
        form->Edit010E->setText(" title ");
        form->Edit8298A->setText("P");
        form->Edit8298B->setText("E");
        form->RichEdit9286->setPlainText("a\nb\nc");
        form->PMX_Backup->trigger();
        QVERIFY(form->PMX_Restore->isEnabled());
        QCOMPARE(form->Bak010E, QStringLiteral("title"));

        form->PMX_Clear->trigger();
        QVERIFY(form->Edit010E->text().isEmpty() && form->RichEdit9286->toPlainText().isEmpty());
        form->Edit8298A->setText("kept");
        form->Flag8298 = false;
        form->PMX_Restore->trigger();
        QCOMPARE(form->Edit010E->text(), QStringLiteral("title"));
        QCOMPARE(form->RichEdit9286->toPlainText(), QStringLiteral("a\nb\nc"));
        QCOMPARE(form->Edit8298A->text(), QStringLiteral("kept"));
        QVERIFY(form->Edit8298B->text().isEmpty());
    }

    void aPngShowsItsPictureButCannotBeSaved() {
        ConfigHome home;
        QTemporaryDir dir;
        const QString png = dir.filePath("picture.png");
        QImage picture(64, 48, QImage::Format_RGB888);
        picture.fill(Qt::darkGreen);
        QVERIFY(picture.save(png));
        auto form = newWindow();
        form->FileOpen(png);
        QVERIFY(!form->Image1->pixmap().isNull());
        QVERIFY(form->MemoInfo->toPlainText().endsWith("*** ERROR ***"));
        QCOMPARE(form->SoundNo, QStringLiteral("#4"));
        QVERIFY(!form->MM_FS->isEnabled() && !form->SB_FS->isEnabled());
    }

    void aJpegOpensWithItsPictureAndFullSize() {
        ConfigHome home;
        auto form = newWindow();
        form->resize(706, 719);
        form->FileOpen(fixture("google-pixel-le-gps.jpg"));
        QVERIFY(!form->Image1->pixmap().isNull());
        QVERIFY(Exif::MainWidth > 0 && Exif::MainHeight > 0);
        QVERIFY(form->SB_FR->isEnabled());
    }

    void aJpegWhoseImageDataIsBrokenStillOpensForEditing() {
        ConfigHome home;
        Photo photo;
        QByteArray bytes = bytesOf(photo.path);
        const qsizetype scan = bytes.lastIndexOf(QByteArray("\xFF\xDA", 2));
        QVERIFY(scan > 0);
        for (qsizetype i = scan + 40; i < bytes.size() - 2; i += 7)
            bytes[i] = char(0xFF); // markers where entropy-coded data should be
        QFile file(photo.path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        auto form = newWindow();
        form->FileOpen(photo.path);
        QVERIFY(form->MM_FS->isEnabled() && form->SB_FN->isEnabled());
        QVERIFY(form->MemoInfo->toPlainText().contains("Canon EOS 40D"));
    }

    void savingTwiceWritesTheSameFileAndSaveAsMovesTheTarget() {
        ConfigHome home;
        Photo photo;
        auto form = newWindow();
        form->FileOpen(photo.path);
        form->Edit010E->setText("twice");
        QCOMPARE(saveOver(*form), QString());
        const QByteArray first = bytesOf(photo.path);
        QCOMPARE(saveOver(*form), QString());
        QCOMPARE(bytesOf(photo.path), first);

        const QString other = photo.dir.filePath("other.jpg");
        saveAs(*form, other);
        QCOMPARE(bytesOf(other), first);
        form->Edit010E->setText("changed");
        QCOMPARE(saveOver(*form), QString()); // goes to the new name
        QVERIFY(bytesOf(other) != first);
        QCOMPARE(bytesOf(photo.path), first);
        QVERIFY(form->windowTitle().endsWith("[photo.jpg]")); // the title follows opening only
        form->SB_FR->click();
        QVERIFY(form->windowTitle().endsWith("[other.jpg]"));
        QCOMPARE(form->Edit010E->text(), QStringLiteral("changed"));
    }

    void thePicturesDateBecomesTheFilesTime() {
        ConfigHome home;
        Photo photo;
        auto form = newWindow();
        form->TimestampOriginal = true;
        form->FileOpen(photo.path);
        QCOMPARE(saveOver(*form), QString());
        // The file's own date and time (0x0132) comes first.
        QCOMPARE(QFileInfo(photo.path).lastModified(),
                 QDateTime(QDate(2008, 7, 31), QTime(10, 38, 11)));

        Photo plain("no-exif-jfif.jpg");
        const QDateTime before = QDateTime(QDate(2020, 1, 2), QTime(3, 4, 5));
        QFile file(plain.path);
        QVERIFY(file.open(QIODevice::ReadWrite));
        QVERIFY(file.setFileTime(before, QFileDevice::FileModificationTime));
        file.close();
        form->FileOpen(plain.path);
        QCOMPARE(saveOver(*form), QString());
        QCOMPARE(QFileInfo(plain.path).lastModified(), before);
    }

    void aFailedSaveSaysWhyAndLeavesTheFileAsItWas() {
        ConfigHome home;
        Photo photo;
        auto form = newWindow();
        form->show();
        form->FileOpen(photo.path);
        const QByteArray original = bytesOf(photo.path);

        // An EXIF block beyond what a JPEG segment holds.
        form->RichEdit9286->setPlainText(QString(40000, QChar(u'長')));
        QString why = answerMessageBox([&] { form->SB_FS->click(); });
        QVERIFY2(!why.isEmpty(), "no message");
        QCOMPARE(form->SoundNo, QStringLiteral("#4"));
        QCOMPARE(bytesOf(photo.path), original);

        // A folder that has gone away.
        form->RichEdit9286->clear();
        const QString gone = photo.dir.filePath("gone");
        QVERIFY(QDir().mkdir(gone));
        form->CurrentFileName = gone + "/photo.jpg";
        QVERIFY(QDir(gone).removeRecursively());
        why = answerMessageBox([&] { form->SB_FS->click(); });
        QVERIFY2(why.startsWith("保存できませんでした。"), qPrintable(why));
        QCOMPARE(form->SoundNo, QStringLiteral("#4"));
        QVERIFY(form->SB_FR->isEnabled());
    }

    void aPhotoOnlyTouchedIsSavedOverButOneChangedOrRemovedIsNot() {
        ConfigHome home;
        Photo photo;
        auto form = newWindow();
        form->show();
        form->FileOpen(photo.path);
        form->Edit010E->setText("mine");
        QCOMPARE(saveOver(*form), QString()); // the program's own save does not count
        const QByteArray mine = bytesOf(photo.path);

        // A file manager touches it; a backup tool puts an identical copy in its place.
        QCOMPARE(QProcess::execute("touch", {"-d", "2001-02-03 04:05:06", photo.path}), 0);
        QCOMPARE(saveOver(*form), QString());
        QCOMPARE(form->SoundNo, QStringLiteral("#1"));
        QCOMPARE(bytesOf(photo.path), mine);
        QVERIFY(QFile::copy(photo.path, photo.path + ".copy"));
        QVERIFY(QFile::remove(photo.path));
        QVERIFY(QFile::rename(photo.path + ".copy", photo.path));
        QCOMPARE(saveOver(*form), QString());
        QCOMPARE(form->SoundNo, QStringLiteral("#1"));

        const QByteArray theirs("another program's version");
        QFile file(photo.path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(theirs);
        file.close();
        const QString why = saveOver(*form);
        QVERIFY2(why.contains("開いた後でほかのプログラムに変更されています。再読み込みするか、別名で保存してください"),
                 qPrintable(why));
        QCOMPARE(form->SoundNo, QStringLiteral("#4"));
        QCOMPARE(bytesOf(photo.path), theirs);

        QVERIFY(QFile::remove(photo.path));
        QVERIFY2(saveOver(*form).contains("見つかりません"), "no message");
        QVERIFY(!QFile::exists(photo.path));
        QCOMPARE(QDir(photo.dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void aFailedOpenAfterAGoodOneLeavesNothingToSaveOver() {
        ConfigHome home;
        Photo photo;
        auto form = newWindow();
        form->FileOpen(photo.path);
        form->FileOpen(fixture("README.md"));
        QVERIFY(!form->MM_FS->isEnabled() && !form->MM_FN->isEnabled());
        QCOMPARE(form->CurrentFileName, photo.path);
        form->SB_FR->click();
        QVERIFY(form->MM_FS->isEnabled());
    }
};

QObject* newFileTest() {
    return new FileTest;
}

#include "FileTest.moc"
