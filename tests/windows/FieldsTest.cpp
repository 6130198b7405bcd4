// The fields as a user works in them: lists that take no typed items, the keys and the clipboard
// in the coordinate fields, long values, and the pages' pop-up menus inside the fields and from
// the keyboard.

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QWindow>

#include "Exif.h"
#include "UnitConfig.h"
#include "WindowTest.h"

using namespace windowtest;
using namespace ExifDetails;

namespace {

// A key as X11 delivers it: Delete carries U+007F, Backspace U+0008, Ctrl with a letter the
// letter's control character, arrows and Home/End no text.
void x11Key(QWidget* field, const QKeySequence& keys) {
    for (int i = 0; i < keys.count(); ++i) {
        const Qt::Key key = keys[i].key();
        const Qt::KeyboardModifiers modifiers = keys[i].keyboardModifiers();
        QString text;
        if (key == Qt::Key_Delete)
            text = QChar(0x7F);
        else if (key == Qt::Key_Backspace)
            text = QChar(0x08);
        else if (modifiers & Qt::ControlModifier && key >= Qt::Key_A && key <= Qt::Key_Z)
            text = QChar(key - Qt::Key_A + 1);
        else if (key < 0x80 && QChar(key).isPrint())
            text = QChar(key);
        QTest::sendKeyEvent(QTest::Click, field, key, text, modifiers);
    }
}

// The pop-up menu open now, as "caption" items with "-" for a separator; closes it.
QStringList takePopupMenu() {
    QStringList items;
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu)
        return items;
    for (QAction* a : menu->actions())
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    menu->close();
    return items;
}

QStringList captions(const QList<QAction*>& actions) {
    QStringList items;
    for (QAction* a : actions)
        items << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return items;
}

void rightClick(QWidget* field) {
    auto* area = qobject_cast<QAbstractScrollArea*>(field);
    QWidget* target = area ? area->viewport() : field;
    const QPoint at(5, 5);
    QContextMenuEvent click(QContextMenuEvent::Mouse, at, target->mapToGlobal(at));
    QApplication::sendEvent(target, &click);
}

// The position of the first character the field shows, as it is painted now.
int firstCharacterShown(QLineEdit* field) {
    field->grab(); // the scrolling follows the cursor when the field is painted
    return field->cursorPositionAt(QPoint(field->contentsRect().left() + 4, field->height() / 2));
}

// The Menu key: the platform gives the window a context-menu request from the keyboard.
void menuKey(QWidget* window) {
    QContextMenuEvent key(QContextMenuEvent::Keyboard, QPoint(), QPoint());
    QApplication::sendEvent(window->windowHandle(), &key);
}

// A new window, shown and active, at the page `page` names.
std::unique_ptr<TForm1> activeWindowAt(QWidget* TForm1::*page) {
    auto form = newWindow();
    form->show();
    if (!QTest::qWaitForWindowActive(form.get()))
        return nullptr;
    form->PageControl1->setCurrentWidget(form.get()->*page);
    return form;
}

} // namespace

class FieldsTest : public QObject {
    Q_OBJECT

private slots:
    void theGpsListsTakeNoTypedItems() {
        ConfigHome home;
        auto form = newWindow();
        form->show();
        form->PageControl1->setCurrentWidget(form->TabSheetGPS);
        for (QComboBox* list : {form->ComboBoxLatitude, form->ComboBoxLongitude,
                                form->ComboBoxAltitude}) {
            list->setCurrentIndex(1);
            list->setFocus();
            QTest::keyClicks(list, "abc");
            QTest::keyClick(list, Qt::Key_Return);
            QCOMPARE(list->count(), 2);
            QCOMPARE(list->currentIndex(), 1);
        }
        QCOMPARE(form->ComboBoxLatitude->currentText(), QStringLiteral("南緯"));
    }

    void theDefaultLocationListTakesNoTypedItemsAndEnterSavesTheChoiceShown() {
        ConfigHome home;
        auto form = newWindow();
        form->DefPos = QStringLiteral("Kyoto");
        FormConfig->show();
        QComboBox* places = FormConfig->ComboBoxLocation;
        places->setFocus();
        QTest::keyClicks(places, "Nagoya");
        QTest::keyClick(places, Qt::Key_Return); // presses 保存
        QVERIFY(!FormConfig->isVisible());
        QCOMPARE(places->count(), 8);
        QCOMPARE(form->DefPos, QStringLiteral("Kyoto"));
    }

    void aTypedCodeIsStoredButNeverBecomesAnItem() {
        ConfigHome home;
        auto form = newWindow();
        FormConfig->show();
        QVERIFY(QTest::qWaitForWindowActive(FormConfig));
        QComboBox* codes = FormConfig->ComboBoxTranscodeTo;
        codes->setFocus();
        codes->lineEdit()->selectAll();
        QTest::keyClicks(codes->lineEdit(), "CP932");
        QTest::keyClick(codes->lineEdit(), Qt::Key_Return);
        QCOMPARE(codes->count(), 4);
        QCOMPARE(Exif::TranscodeTo, std::string("CP932"));
    }

    void editingKeysWorkInTheCoordinateFields_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::newRow("Delete") << "Del" << "3.0999984741211";
        QTest::newRow("End, Backspace") << "End, Backspace" << "53.099998474121";
        QTest::newRow("Right, Delete") << "Right, Right, Del" << "530999984741211";
        QTest::newRow("Home after moving") << "End, Home, Del" << "3.0999984741211";
        QTest::newRow("Ctrl+A, Delete") << "Ctrl+A, Del" << "";
        QTest::newRow("Ctrl+X, Ctrl+V twice") << "Ctrl+A, Ctrl+X, Ctrl+V, Ctrl+V"
                                               << "53.099998474121153.0999984741211";
        QTest::newRow("Ctrl+C, End, Ctrl+V") << "Ctrl+A, Ctrl+C, End, Ctrl+V"
                                              << "53.099998474121153.0999984741211";
        QTest::newRow("Ctrl+Z takes a typed digit back") << "End, 7, Ctrl+Z" << "53.0999984741211";
        QTest::newRow("letters stay refused") << "End, A, -, Space" << "53.0999984741211";
        QTest::newRow("a letter with Alt is refused too") << "End, Alt+Q" << "53.0999984741211";
    }
    void editingKeysWorkInTheCoordinateFields() {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        ConfigHome home;
        auto form = activeWindowAt(&TForm1::TabSheetGPS);
        QVERIFY(form);
        for (QLineEdit* field : {form->EditLat3, form->EditLon1}) {
            field->setText(QStringLiteral("53.0999984741211"));
            field->setFocus();
            field->setCursorPosition(0);
            x11Key(field, QKeySequence(keys));
            QCOMPARE(field->text(), text);
        }
    }

    void pastedTextKeepsOnlyWhatCanBeTyped_data() {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("clipboard");
        QTest::addColumn<QString>("text");
        for (const char* how : {"Ctrl+V", "Shift+Ins", "edit menu"}) {
            QTest::addRow("%s, blanks and a line break", how) << how << " 53.1 \n" << "12.53.1";
            QTest::addRow("%s, degree sign and comma", how) << how << "-35°4,5" << "12.3545";
            QTest::addRow("%s, full-width digits", how) << how << "５３．１" << "12.53.1";
            QTest::addRow("%s, nothing that can be typed", how) << how << "北緯" << "12.";
        }
    }
    void pastedTextKeepsOnlyWhatCanBeTyped() {
        QFETCH(QString, how);
        QFETCH(QString, clipboard);
        QFETCH(QString, text);
        ConfigHome home;
        auto form = activeWindowAt(&TForm1::TabSheetGPS);
        QVERIFY(form);
        QLineEdit* field = form->EditLat2;
        field->setText(QStringLiteral("12."));
        field->setFocus();
        field->end(false);
        QGuiApplication::clipboard()->setText(clipboard);
        if (how == QStringLiteral("edit menu")) {
            rightClick(field);
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            QVERIFY(menu);
            QAction* paste = menu->findChild<QAction*>(QStringLiteral("edit-paste"));
            QVERIFY(paste);
            paste->trigger();
            menu->close();
        } else {
            x11Key(field, QKeySequence(how));
        }
        QCOMPARE(field->text(), text);
        x11Key(field, QKeySequence(QStringLiteral("Ctrl+Z"))); // one step back
        QCOMPARE(field->text(), QStringLiteral("12."));
    }

    void anInputMethodsDigitsArriveAsDigits() {
        ConfigHome home;
        auto form = newWindow();
        form->show();
        form->PageControl1->setCurrentWidget(form->TabSheetGPS);
        form->EditLat1->clear();
        form->EditLat1->setFocus();
        QInputMethodEvent commit;
        commit.setCommitString(QStringLiteral("３５度"));
        QApplication::sendEvent(form->EditLat1, &commit);
        QCOMPARE(form->EditLat1->text(), QStringLiteral("35"));
        // Fields without a filter take the text as it is.
        form->EditArea->clear();
        QInputMethodEvent name;
        name.setCommitString(QStringLiteral("東京駅"));
        QApplication::sendEvent(form->EditArea, &name);
        QCOMPARE(form->EditArea->text(), QStringLiteral("東京駅"));
    }

    void longNumbersShowFromTheirStartAndFit() {
        ConfigHome home;
        auto form = activeWindowAt(&TForm1::TabSheetGPS);
        QVERIFY(form);
        // Seconds with 15 significant digits (a default location, a position picked on the
        // map), degrees and minutes as files hold them.
        Tag01 = Tag03 = Tag05 = -1;
        Tag02A = 135.681234;
        Tag02B = 40.885123;
        Tag02C = 53.0999984741211;
        Tag04A = 139.765889;
        Tag04B = 45.123456;
        Tag04C = 57.2000007629395;
        Tag06 = 1234.56789;
        form->ButtonResetLatLonClick();
        for (QLineEdit* field : {form->EditLat1, form->EditLat2, form->EditLat3, form->EditLon1,
                                 form->EditLon2, form->EditLon3, form->EditAlt}) {
            QCOMPARE(firstCharacterShown(field), 0);
            field->setFocus();
            field->end(false); // where a click behind the text puts the cursor
            QVERIFY2(firstCharacterShown(field) == 0, qPrintable(field->text()));
        }
        // A value longer than its field shows its start.
        Tag02A = 35.6814166666667;
        form->ButtonResetLatLonClick();
        QCOMPARE(form->EditLat1->text(), QStringLiteral("35.6814166666667"));
        QCOMPARE(firstCharacterShown(form->EditLat1), 0);
        form->EditLat1->setFocus();
        form->EditLat1->end(false);
        QVERIFY(firstCharacterShown(form->EditLat1) > 0); // only its end is hidden
    }

    void longTextsSetByTheProgramShowTheirStart() {
        ConfigHome home;
        auto form = newWindow();
        form->show();
        form->PageControl1->setCurrentWidget(form->TabSheetExif);
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const QString title = QStringLiteral("始まり") + QString(200, u'x');
        form->Bak010E = title;
        form->Edit010E->setFocus();
        form->PMX_Restore->setEnabled(true);
        form->PMX_Restore->trigger();
        QCOMPARE(form->Edit010E->text(), title);
        QCOMPARE(form->Edit010E->cursorPosition(), 0);

        form->OSM = QStringLiteral("https://maps.example.org/") + QString(200, u'x');
        FormConfig->show();
        QCOMPARE(FormConfig->EditOSMURL->lineEdit()->cursorPosition(), 0);
    }

    void thePagesMenuItemsComeBeforeTheEditItems_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("page");
        for (const char* name : {"Edit010E", "Edit8298B", "RichEdit9286", "EditA430"})
            QTest::newRow(name) << name << "PMX";
        for (const char* name : {"EditLat1", "EditLon3", "EditAlt", "EditArea"})
            QTest::newRow(name) << name << "PMGPS";
    }
    void thePagesMenuItemsComeBeforeTheEditItems() {
        QFETCH(QString, field);
        QFETCH(QString, page);
        ConfigHome home;
        writeText(home.settingsFile(), "[GPS]\nLocationMax=1\n[Location]\n0=駅=0,35,40,53,0,139,45,57\n");
        auto form = newWindow();
        form->show();
        auto* control = form->findChild<QWidget*>(field);
        form->PageControl1->setCurrentWidget(page == "PMX" ? form->TabSheetExif : form->TabSheetGPS);
        auto* pageMenu = form->findChild<QMenu*>(page);
        const QStringList pageItems = captions(pageMenu->actions());

        rightClick(control);
        const QStringList items = takePopupMenu();
        QCOMPARE(items.mid(0, pageItems.size()), pageItems);
        QCOMPARE(items.value(pageItems.size()), QStringLiteral("-"));
        QVERIFY2(items.size() > pageItems.size() + 5, qPrintable(items.join("|"))); // Undo … Select All
        // The page menu's own preparation ran: no room is left for another place.
        if (page == "PMGPS")
            QVERIFY(!form->PMGPS_Remember->isEnabled());
    }

    void thePopupMenusOpenFromTheKeyboard_data() {
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("first");
        QTest::newRow("Menu key in an Exif field") << "Edit013B" << "Menu" << "Exifデータ待避";
        QTest::newRow("Shift+F10 in the comment") << "RichEdit9286" << "Shift+F10" << "Exifデータ待避";
        QTest::newRow("Shift+F10 in a coordinate") << "EditLon2" << "Shift+F10" << "GPSデータ待避";
        QTest::newRow("Shift+F10 on a button") << "ButtonGetPos" << "Shift+F10" << "GPSデータ待避";
        QTest::newRow("Menu key on a list") << "ComboBoxAltitude" << "Menu" << "GPSデータ待避";
    }
    void thePopupMenusOpenFromTheKeyboard() {
        QFETCH(QString, focus);
        QFETCH(QString, key);
        QFETCH(QString, first);
        ConfigHome home;
        auto form = activeWindowAt(first.startsWith("Exif") ? &TForm1::TabSheetExif
                                                            : &TForm1::TabSheetGPS);
        QVERIFY(form);
        auto* control = form->findChild<QWidget*>(focus);
        control->setFocus();
        QCOMPARE(QApplication::focusWidget(), control);
        if (key == QStringLiteral("Menu"))
            menuKey(form.get());
        else
            QTest::keyClick(control, Qt::Key_F10, Qt::ShiftModifier);
        QCOMPARE(takePopupMenu().value(0), first);
    }
};

QObject* newFieldsTest() {
    return new FieldsTest;
}

#include "FieldsTest.moc"
