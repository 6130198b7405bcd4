// The GPS page's position fields: loaded from the registers, typed with a key filter, handed to
// the engine as the new position or as its removal, backed up and restored.

#include "Unit1.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>

#include "Exif.h"
#include "FieldValues.h"
#include "NumberText.h"

using namespace ExifDetails;

namespace {

// Digits, the point and backspace; every other character typed, pasted or dropped is refused.
void filterCoordinateKey(QChar& Key) {
    if (!(Key.isDigit() && Key.unicode() < 128) && Key != u'.' && Key != QChar(8))
        Key = QChar(0);
}

} // namespace

void TForm1::ResetLatLonAlt() {
    ComboBoxLatitude->setCurrentIndex(Tag01 == -1 ? 1 : 0);
    ComboBoxLongitude->setCurrentIndex(Tag03 == -1 ? 1 : 0);
    EditLat1->setText(numberText(Tag02A));
    EditLat2->setText(numberText(Tag02B));
    EditLat3->setText(numberText(Tag02C));
    EditLon1->setText(numberText(Tag04A));
    EditLon2->setText(numberText(Tag04B));
    EditLon3->setText(numberText(Tag04C));
    ComboBoxAltitude->setCurrentIndex(Tag05 == -1 ? 1 : 0);
    EditAlt->setText(numberText(Tag06));
    EditArea->setText(QString::fromStdU16String(Trim(Tag1C)));
    // The file's direction is carried into the new registers, so an update that does not touch
    // the compass keeps it.
    showDirection(Tag10 != 0, Tag11);
    NewTag10 = Tag10 != 0 ? 1 : 0;
    if (Tag10 != 0)
        NewTag11 = Tag11;
}

void TForm1::showDirection(bool on, double angle) {
    CB_Compass->setChecked(on); // runs CB_CompassClick when the tick changes
    if (on)
        SetArrow(float(angle));
    else
        clearArrow();
}

void TForm1::LoadGPS() {
    ResetLatLonAlt();
    DisplayMap(ZoomRatio, Tag01, Tag03, Tag02A, Tag02B, Tag02C, Tag04A, Tag04B, Tag04C);
}

void TForm1::ButtonResetLatLonClick() {
    LoadGPS();
}

void TForm1::EditLat1KeyPress(QChar& Key) { filterCoordinateKey(Key); }
void TForm1::EditLat2KeyPress(QChar& Key) { filterCoordinateKey(Key); }
void TForm1::EditLat3KeyPress(QChar& Key) { filterCoordinateKey(Key); }
void TForm1::EditLon1KeyPress(QChar& Key) { filterCoordinateKey(Key); }
void TForm1::EditLon2KeyPress(QChar& Key) { filterCoordinateKey(Key); }
void TForm1::EditLon3KeyPress(QChar& Key) { filterCoordinateKey(Key); }

void TForm1::BitBtnUpdateGPSClick() {
    // In field order: a field that holds no number stops here, with the registers assigned so
    // far keeping their values.
    NewTag01 = signOf(ComboBoxLatitude);
    NewTag02A = numberIn(EditLat1);
    NewTag02B = numberIn(EditLat2);
    NewTag02C = numberIn(EditLat3);
    NewTag03 = signOf(ComboBoxLongitude);
    NewTag04A = numberIn(EditLon1);
    NewTag04B = numberIn(EditLon2);
    NewTag04C = numberIn(EditLon3);
    NewTag05 = signOf(ComboBoxAltitude);
    NewTag06 = numberIn(EditAlt);
    NewTag1C = Trim(EditArea->text().toStdU16String());
    Exif::UpdateGPS();
    positionApplied();
    SoundNo = QStringLiteral("#3");
    PlaySoundNo();
}

void TForm1::BitBtnRemoveClick() {
    NewTag05 = 9;
    Exif::UpdateGPS();
    positionApplied();
    SoundNo = QStringLiteral("#2");
    PlaySoundNo();
}

void TForm1::PMGPS_BackupClick() {
    Bak01 = std::int8_t(ComboBoxLatitude->currentIndex());
    Bak02A = trimmed(EditLat1->text());
    Bak02B = trimmed(EditLat2->text());
    Bak02C = trimmed(EditLat3->text());
    Bak03 = std::int8_t(ComboBoxLongitude->currentIndex());
    Bak04A = trimmed(EditLon1->text());
    Bak04B = trimmed(EditLon2->text());
    Bak04C = trimmed(EditLon3->text());
    Bak05 = std::int8_t(ComboBoxAltitude->currentIndex());
    Bak06 = trimmed(EditAlt->text());
    Bak1C = trimmed(EditArea->text());
    Bak10 = NewTag10;
    Bak11 = NewTag11;
    PMGPS_Restore->setEnabled(true);
    Beep();
}

void TForm1::PMGPS_RestoreClick() {
    if (Flag01) {
        ComboBoxLatitude->setCurrentIndex(Bak01);
        EditLat1->setText(Bak02A);
        EditLat2->setText(Bak02B);
        EditLat3->setText(Bak02C);
        ComboBoxLongitude->setCurrentIndex(Bak03);
        EditLon1->setText(Bak04A);
        EditLon2->setText(Bak04B);
        EditLon3->setText(Bak04C);
    }
    if (Flag05) {
        ComboBoxAltitude->setCurrentIndex(Bak05);
        EditAlt->setText(Bak06);
    }
    if (Flag1C)
        EditArea->setText(Bak1C);
    if (Flag10) {
        // The tick and the arrow follow the backed-up switch.
        showDirection(Bak10 != 0, Bak11);
        NewTag10 = Bak10;
        NewTag11 = Bak11;
    }
    ButtonFindPlaceClick();
}
