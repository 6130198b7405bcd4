// The GPS fields' position through the clipboard: pasted in whatever form it was copied from a
// map or a text, and copied as signed decimal degrees.

#include "Unit1.h"

#include <QAction>
#include <QClipboard>
#include <QComboBox>
#include <QGuiApplication>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QTabWidget>

#include <cmath>
#include <cstdint>

#include "FieldValues.h"
#include "GeodotApplication.h"
#include "Named.h"
#include "PositionText.h"

namespace {

// A signed decimal angle as the fields hold it: whole degrees, whole minutes and seconds to a
// millionth (a few micrometres on the ground), so a pasted 35.681236 shows as 35° 40′ 52.4496″
// rather than with the binary fraction's tail.
struct Sexagesimal {
    int sign;
    double degrees, minutes, seconds;
};

Sexagesimal sexagesimal(double value) {
    constexpr std::int64_t perSecond = 1'000'000;
    const std::int64_t total = std::llround(std::abs(value) * 3600 * perSecond);
    return {value < 0 ? -1 : 1, double(total / (3600 * perSecond)),
            double(total / (60 * perSecond) % 60), double(total % (60 * perSecond)) / perSecond};
}

// The angle in the fields, signed; a field that holds no number ends the action naming it.
double signedDegrees(const QComboBox* hemisphere, const QLineEdit* degrees,
                     const QLineEdit* minutes, const QLineEdit* seconds) {
    const double value = numberIn(degrees) + numberIn(minutes) / 60 + numberIn(seconds) / 3600;
    // Six decimals, and no "-0.000000" for a position on the equator or the prime meridian.
    const double rounded = std::round(value * 1e6) / 1e6;
    return rounded == 0 ? 0.0 : signOf(hemisphere) * rounded;
}

} // namespace

void TForm1::buildPositionClipboard() {
    PMGPS_Paste = named(new QAction(QStringLiteral("座標を貼り付け"), this), "PMGPS_Paste");
    PMGPS_Paste->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_V));
    PMGPS_Copy = named(new QAction(QStringLiteral("座標をコピー"), this), "PMGPS_Copy");
    PMGPS_Copy->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_C));
    // Between the backup items and the place items of the pop-up menu; the shortcuts work on
    // every page, so the actions belong to the window as well.
    PMGPS->insertActions(PMGPS_ArUser, {PMGPS_Paste, PMGPS_Copy});
    N6 = named(PMGPS->insertSeparator(PMGPS_ArUser), "N6");
    addActions({PMGPS_Paste, PMGPS_Copy});
    connect(PMGPS_Paste, &QAction::triggered, this, Guarded([this] { PMGPS_PasteClick(); }));
    connect(PMGPS_Copy, &QAction::triggered, this, Guarded([this] { PMGPS_CopyClick(); }));
}

void TForm1::PMGPS_PasteClick() {
    const QString text = QGuiApplication::clipboard()->text();
    const PositionText::Result position = PositionText::Parse(text.toStdU16String());
    if (!position.ok()) {
        QMessageBox::warning(this, ExeName,
                             QStringLiteral("クリップボードの内容を位置として読み取れません。\n") +
                                 QString::fromStdString(position.reason),
                             QMessageBox::Ok);
        return;
    }
    const Sexagesimal lat = sexagesimal(position.latitude);
    const Sexagesimal lon = sexagesimal(position.longitude);
    ComboBoxLatitude->setCurrentIndex(lat.sign > 0 ? 0 : 1);
    EditLat1->setText(numberText(lat.degrees));
    EditLat2->setText(numberText(lat.minutes));
    EditLat3->setText(numberText(lat.seconds));
    ComboBoxLongitude->setCurrentIndex(lon.sign > 0 ? 0 : 1);
    EditLon1->setText(numberText(lon.degrees));
    EditLon2->setText(numberText(lon.minutes));
    EditLon3->setText(numberText(lon.seconds));
    PageControl1->setCurrentWidget(TabSheetGPS);
    ButtonFindPlaceClick();
}

void TForm1::PMGPS_CopyClick() {
    const double lat = signedDegrees(ComboBoxLatitude, EditLat1, EditLat2, EditLat3);
    const double lon = signedDegrees(ComboBoxLongitude, EditLon1, EditLon2, EditLon3);
    QGuiApplication::clipboard()->setText(QString::asprintf("%.6f, %.6f", lat, lon));
}
