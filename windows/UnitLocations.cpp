#include "UnitLocations.h"

TFormLocations::TFormLocations(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormLocations"));
    setWindowTitle(QStringLiteral("Locations"));
    resize(297, 318);
}
