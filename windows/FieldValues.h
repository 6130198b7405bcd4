#pragma once

// Texts, numbers and signs as the fields show and hold them.

#include <QComboBox>
#include <QLineEdit>
#include <QString>

#include <cstdint>

#include "ExifDetails.h"
#include "NumberText.h"

// Without leading and trailing characters up to blank (control characters and NUL included).
inline QString trimmed(const QString& text) {
    return QString::fromStdU16String(ExifDetails::Trim(text.toStdU16String()));
}

// The general number format, with a point whatever the locale.
inline QString numberText(double value) {
    return QString::fromStdU16String(NumberText::FormatGeneral(value));
}

// The number a text holds; a text that holds none ends the action with a conversion error
// naming it.
inline double numberIn(const QString& text) {
    return NumberText::ParseFloat(text.toStdU16String());
}

inline double numberIn(const QLineEdit* field) {
    return numberIn(field->text());
}

// 1 when the first item (north, east, above sea level) is selected, else −1: no selection (an
// index out of range from a stored backup or place) counts as the second.
inline std::int8_t signOf(const QComboBox* box) {
    return box->currentIndex() == 0 ? 1 : -1;
}
