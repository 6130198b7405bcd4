#pragma once

#include <QString>
#include <QStringList>

// Lists stored as one text: items separated by commas, or by blanks outside double quotes; an
// item in double quotes may hold commas and blanks, a doubled quote stands for one.
QStringList SplitDelimited(const QString& text);
// The inverse: items joined by commas, quoted where they hold a comma, a blank, a control
// character or a double quote.
QString JoinDelimited(const QStringList& items);
