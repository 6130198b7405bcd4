// What a Japanese user sees: Qt's own texts in Japanese, the listing's font, the window's size
// and place, a preview as sharp as its page, and the open dialog.

#include <QAbstractButton>
#include <QComboBox>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QRawFont>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeView>

#include "Exif.h"
#include "WindowTest.h"

using namespace windowtest;

namespace {

// A caption without its accelerator "(&U)" and its shortcut after a tab.
QString wording(const QString& caption) {
    QString text = caption.section(u'\t', 0, 0);
    text.remove(QRegularExpression(QStringLiteral("\\(&.\\)")));
    return text.remove(u'&');
}

bool hasLatinLetters(const QString& text) {
    return text.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

// The texts of a file dialog that come from Qt rather than from the file system.
QStringList qtTextsOf(QFileDialog& dialog) {
    QStringList texts{dialog.windowTitle()};
    for (QLabel* label : dialog.findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << wording(label->text());
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>())
        if (!button->text().isEmpty())
            texts << wording(button->text());
    if (auto* list = dialog.findChild<QTreeView*>(QStringLiteral("treeView"))) {
        QAbstractItemModel* model = list->header()->model();
        for (int i = 0; i < model->columnCount(); ++i)
            texts << model->headerData(i, Qt::Horizontal).toString();
    }
    return texts;
}

// A picture of upright black and white stripes 8 pixels wide, aligned with the JPEG blocks, so
// that every decoded size is exact.
QImage stripes() {
    QImage picture(1600, 1200, QImage::Format_Grayscale8);
    for (int x = 0; x < picture.width(); ++x)
        for (int y = 0; y < picture.height(); ++y)
            picture.scanLine(y)[x] = (x / 8) % 2 ? 255 : 0;
    return picture;
}

// How far the shown preview is from the picture scaled from its full size: 0 to 255.
double blur(const QLabel& preview, const QImage& full) {
    const QImage shown = preview.pixmap().toImage().convertToFormat(QImage::Format_Grayscale8);
    const QImage ideal = full.scaled(shown.size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    double sum = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            sum += qAbs(int(shown.constScanLine(y)[x]) - int(ideal.constScanLine(y)[x]));
    return sum / (double(shown.width()) * shown.height());
}

} // namespace

class AppearanceTest : public QObject {
    Q_OBJECT

private slots:
    void qtsOwnTextsAreJapanese() {
        ConfigHome home;
        auto form = newWindow();
        // The fields' edit menu.
        std::unique_ptr<QMenu> menu(form->EditArea->createStandardContextMenu());
        QStringList items;
        for (QAction* a : menu->actions())
            if (!a->isSeparator())
                items << wording(a->text());
        for (const QString& item : items)
            QVERIFY2(!hasLatinLetters(item), qPrintable(item));

        // Message-box buttons: the settings folder cannot be made at exit.
        const QString blocked = home.path() + QStringLiteral("/blocked");
        writeText(blocked, QStringLiteral("not a folder"));
        qputenv("XDG_CONFIG_HOME", blocked.toUtf8());
        auto blockedForm = newWindow();
        QStringList buttons;
        withDialog([&] { blockedForm.reset(); }, [&](QWidget* box) {
            for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
                buttons << b->text();
            qobject_cast<QDialog*>(box)->done(0);
        });
        QCOMPARE(buttons, QStringList{QStringLiteral("中止")});

        // The open and save dialogs.
        form->OpenDialogFolder = QStringLiteral(GEODOT_FIXTURES);
        for (QAction* command : {form->MM_FO, form->MM_FN}) {
            command->setEnabled(true);
            QStringList texts;
            withDialog([&] { command->trigger(); }, [&](QWidget* dialog) {
                texts = qtTextsOf(*qobject_cast<QFileDialog*>(dialog));
                qobject_cast<QDialog*>(dialog)->reject();
            });
            QCOMPARE(texts.value(0), command == form->MM_FO ? QStringLiteral("開く")
                                                            : QStringLiteral("名前を付けて保存"));
            for (const QString& text : texts)
                QVERIFY2(!hasLatinLetters(text), qPrintable(text));
        }
    }

    void theListingShowsLatinAndJapaneseInOneFont() {
        ConfigHome home;
        auto form = newWindow();
        const QRawFont font = QRawFont::fromFont(form->MemoInfo->font());
        for (QChar c : QStringLiteral("Exifバージョン=0210"))
            QVERIFY2(font.supportsCharacter(c), qPrintable(QString(c)));
        // Monospace: a digit as wide as a letter.
        QCOMPARE(font.advancesForGlyphIndexes(font.glyphIndexesForString("0"))[0].x(),
                 font.advancesForGlyphIndexes(font.glyphIndexesForString("W"))[0].x());
    }

    void theClientAreaIs706By719AndTheWindowOpensCentred() {
        ConfigHome home;
        auto form = newWindow();
        // A map address longer than the window is wide, as a local map page's can be.
        form->LabelURL->setText(QStringLiteral("file:///") + QString(300, u'x'));
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QCOMPARE(form->centralWidget()->size(), QSize(706, 719));
        QCOMPARE(form->centralWidget()->y(), form->menuBar()->height());
        const QRect free = form->screen()->availableGeometry();
        const QRect frame = form->frameGeometry();
        QVERIFY(qAbs(frame.center().x() - free.center().x()) <= 1);
        // Centred, or at the top when the screen is lower than the window.
        const int top = std::max(free.top(), free.center().y() - frame.height() / 2);
        QVERIFY2(qAbs(frame.top() - top) <= 1, qPrintable(QString::number(frame.top())));
    }

    void thePreviewIsDecodedAgainWhenItsPageGrows() {
        ConfigHome home;
        QTemporaryDir dir;
        const QString photo = dir.filePath(QStringLiteral("stripes.jpg"));
        const QImage picture = stripes();
        QVERIFY(picture.save(photo, "JPG", 95));
        auto form = newWindow();
        form->resize(form->minimumSizeHint());
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->FileOpen(photo);
        form->PageControl1->setCurrentWidget(form->TabSheetPic);
        QVERIFY(blur(*form->Image1, picture) < 1);
        form->resize(1500, 1100);
        QTRY_VERIFY_WITH_TIMEOUT(blur(*form->Image1, picture) < 1, 5000);
    }

    void theOpenDialogNamesEachFilterOnceAndPreviewsTheSelectedFile() {
        ConfigHome home;
        auto form = newWindow();
        form->OpenDialogFolder = QStringLiteral(GEODOT_FIXTURES);
        form->OpenDialogFileName = QStringLiteral("google-pixel-le-gps.jpg");
        QStringList filters;
        bool previewed = false;
        QString title;
        withDialog([&] { form->MM_FO->trigger(); }, [&](QWidget* dialog) {
            auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
            for (int i = 0; types && i < types->count(); ++i)
                filters << types->itemText(i);
            auto* preview = dialog->findChild<QLabel*>(QStringLiteral("PicturePreview"));
            previewed = preview && !preview->pixmap().isNull();
            title = dialog->windowTitle();
            qobject_cast<QDialog*>(dialog)->reject();
        });
        QCOMPARE(filters, (QStringList{"JPEG イメージファイル (*.jpg, *.jpeg)", "すべて (*.*)"}));
        QVERIFY(previewed);
        QCOMPARE(title, QStringLiteral("開く"));
    }
};

QObject* newAppearanceTest() {
    return new AppearanceTest;
}

#include "AppearanceTest.moc"
