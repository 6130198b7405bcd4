#pragma once

// The JPEG files of a folder, in the order people expect: numbers in names compare by value,
// so img2 comes before img10.

#include <QDir>
#include <QString>
#include <QStringList>

// True when `a` comes before `b`: runs of the digits 0-9 compare by their value, other characters
// without regard to letter case; names that still tie are ordered by their exact text, so the
// order is total.
bool NaturalLess(const QString& a, const QString& b);

// The names of the JPEG files (.jpg or .jpeg, in any letter case, hidden files left out) in
// `folder`, in natural order.
QStringList PhotosOfFolder(const QDir& folder);

// The JPEG (.jpg or .jpeg, in any letter case, hidden files left out) that comes next
// (`step` > 0) or before (`step` < 0) `path` in its folder; `path` itself need not exist any
// more. Empty at either end.
QString NeighbourPhoto(const QString& path, int step);
