#include "PhotoFolder.h"

#include <QDir>

#include <algorithm>
#include <QFileInfo>

namespace {

bool isDigit(QChar c) {
    return c >= u'0' && c <= u'9';
}

// The run of digits that starts at `at`, without its leading zeros.
QStringView digitsAt(const QString& text, qsizetype& at) {
    qsizetype start = at;
    while (at < text.size() && isDigit(text[at]))
        ++at;
    qsizetype significant = start;
    while (significant + 1 < at && text[significant] == u'0')
        ++significant;
    return QStringView(text).mid(significant, at - significant);
}

// Negative, zero or positive as `a` sorts before, with or after `b`, ties left to the caller.
int naturalCompare(const QString& a, const QString& b) {
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            const QStringView x = digitsAt(a, i), y = digitsAt(b, j);
            if (x.size() != y.size())
                return x.size() < y.size() ? -1 : 1;
            if (const int c = x.compare(y); c != 0)
                return c;
            continue;
        }
        const char32_t x = QChar::toCaseFolded(a[i].unicode());
        const char32_t y = QChar::toCaseFolded(b[j].unicode());
        if (x != y)
            return x < y ? -1 : 1;
        ++i, ++j;
    }
    return (i < a.size()) - (j < b.size());
}

bool isJpegName(const QString& name) {
    const QString suffix = QFileInfo(name).suffix();
    return suffix.compare(u"jpg", Qt::CaseInsensitive) == 0 ||
           suffix.compare(u"jpeg", Qt::CaseInsensitive) == 0;
}

} // namespace

bool NaturalLess(const QString& a, const QString& b) {
    const int order = naturalCompare(a, b);
    return order != 0 ? order < 0 : a < b;
}

QStringList PhotosOfFolder(const QDir& folder) {
    QStringList names;
    for (const QString& name : folder.entryList(QDir::Files))
        if (isJpegName(name))
            names << name;
    std::sort(names.begin(), names.end(), NaturalLess);
    return names;
}

QString NeighbourPhoto(const QString& path, int step) {
    const QFileInfo current(path);
    const QDir folder = current.absoluteDir();
    const QString name = current.fileName();
    QString found;
    for (const QString& candidate : PhotosOfFolder(folder)) {
        // The nearest name on the asked side of the current one.
        const bool onSide = step > 0 ? NaturalLess(name, candidate) : NaturalLess(candidate, name);
        if (!onSide)
            continue;
        if (found.isEmpty() || (step > 0 ? NaturalLess(candidate, found) : NaturalLess(found, candidate)))
            found = candidate;
    }
    return found.isEmpty() ? QString() : folder.filePath(found);
}
