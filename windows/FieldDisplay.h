#pragma once

#include <QString>

class QLineEdit;
class QWidget;

// Every one-line field of `window` shows a value the program puts into it from its first
// character; the user's own typing keeps its cursor where it is.
void ShowValuesFromTheirStart(QWidget* window);

// Makes a field exactly wide enough to show `widest` whole.
void FitWidthTo(QLineEdit* field, const QString& widest);
