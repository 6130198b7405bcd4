#include "UnitConfig.h"

TFormConfig::TFormConfig(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("FormConfig"));
    setWindowTitle(QStringLiteral("Configuration"));
    setFixedSize(466, 520);
}
