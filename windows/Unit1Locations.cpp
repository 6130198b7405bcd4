// Remembered places and the default location.

#include "Unit1.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>

#include <map>
#include <stdexcept>

#include "DelimitedText.h"
#include "FieldValues.h"
#include "GeodotApplication.h"
#include "NumberText.h"

ExifDetails::Location DefaultLocationFor(const QString& key) {
    static const std::map<QString, ExifDetails::Location> places = {
        {QStringLiteral("Sapporo"), {1, 43, 4, 8.9f, 1, 141, 21, 2.6f}},
        {QStringLiteral("Sendai"), {1, 38, 14, 38.8f, 1, 140, 52, 54.2f}},
        {QStringLiteral("Tokyo"), {1, 35, 40, 53.1f, 1, 139, 45, 57.2f}},
        {QStringLiteral("Kyoto"), {1, 34, 59, 11, 1, 135, 45, 35}},
        {QStringLiteral("Honolulu"), {1, 21, 16, 49, -1, 157, 49, 43}},
        {QStringLiteral("Paris"), {1, 48, 52, 25.6f, 1, 2, 17, 42.1f}},
    };
    if (key == QStringLiteral("User"))
        return ArrayUser;
    const auto it = places.find(key);
    return it != places.end() ? it->second : ExifDetails::Location{1, 0, 0, 0, 1, 0, 0, 0};
}

QString LocationName(const QString& entry) {
    const qsizetype eq = entry.indexOf(u'=');
    QString name = eq < 0 ? QString() : entry.left(eq);
    return name.replace(u'\t', u'=');
}

void TForm1::addLocationMenuItem(const QString& caption, int tag) {
    auto* item = new QAction(caption, PMGPS);
    item->setData(tag);
    connect(item, &QAction::triggered, this, Guarded([this, item] { PMGPSLocationClick(item); }));
    PMGPS->addAction(item);
}

void TForm1::PMGPSLocationClick(QObject* Sender) {
    auto* item = qobject_cast<QAction*>(Sender);
    if (!item)
        return;
    const QString entry = LocationRemember.value(item->data().toInt() - 1);
    EditArea->setText(LocationName(entry));
    const QStringList fields = SplitDelimited(entry.mid(entry.indexOf(u'=') + 1));
    if (fields.size() < 8)
        throw std::runtime_error("List index out of bounds (" + std::to_string(fields.size()) +
                                 ")");
    auto index = [](const QString& field) {
        return int(NumberText::ParseInt32(field.toStdU16String()));
    };
    ComboBoxLatitude->setCurrentIndex(index(fields[0]));
    EditLat1->setText(fields[1]);
    EditLat2->setText(fields[2]);
    EditLat3->setText(fields[3]);
    ComboBoxLongitude->setCurrentIndex(index(fields[4]));
    EditLon1->setText(fields[5]);
    EditLon2->setText(fields[6]);
    EditLon3->setText(fields[7]);
    ButtonFindPlaceClick();
}

void TForm1::PMGPS_RememberClick() {
    const QString name = trimmed(EditArea->text());
    if (name.isEmpty()) {
        QMessageBox::question(this, ExeName, QStringLiteral("[測位地点の名称]を入力して下さい"),
                              QMessageBox::StandardButtons(QMessageBox::Ok));
        return;
    }
    QString stored = name;
    stored.replace(u'=', u'\t');
    // The field texts go in as typed.
    const QString entry = stored + u'=' +
                          QStringList{QString::number(ComboBoxLatitude->currentIndex()),
                                      EditLat1->text(), EditLat2->text(), EditLat3->text(),
                                      QString::number(ComboBoxLongitude->currentIndex()),
                                      EditLon1->text(), EditLon2->text(), EditLon3->text()}
                              .join(u',');
    LocationRemember.append(entry);
    addLocationMenuItem(name, int(LocationRemember.size()));
    Beep();
}

void TForm1::PMGPS_ArUserClick() {
    // Element by element: a field without a number stops here, the ones before it changed.
    ArrayUser[0] = signOf(ComboBoxLatitude);
    ArrayUser[1] = float(numberIn(EditLat1));
    ArrayUser[2] = float(numberIn(EditLat2));
    ArrayUser[3] = float(numberIn(EditLat3));
    ArrayUser[4] = signOf(ComboBoxLongitude);
    ArrayUser[5] = float(numberIn(EditLon1));
    ArrayUser[6] = float(numberIn(EditLon2));
    ArrayUser[7] = float(numberIn(EditLon3));
    DefPos = QStringLiteral("User");
    Beep();
}

void TForm1::PMGPSPopup() {
    // Remembering is offered while there is room, also again after places were deleted.
    PMGPS_Remember->setEnabled(LocationRemember.size() < LocationMax);
}
