#include "DelimitedText.h"

namespace {

bool separatorBlank(QChar c) {
    return c.unicode() > 0 && c.unicode() <= ' ';
}

} // namespace

QStringList SplitDelimited(const QString& text) {
    QStringList items;
    qsizetype i = 0;
    const qsizetype n = text.size();
    auto skipBlanks = [&] {
        while (i < n && separatorBlank(text[i]))
            ++i;
    };
    skipBlanks();
    while (i < n) {
        QString item;
        if (text[i] == u'"') {
            ++i;
            while (i < n) {
                if (text[i] == u'"') {
                    if (i + 1 < n && text[i + 1] == u'"') {
                        item += u'"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                item += text[i++];
            }
            // What follows the closing quote up to the separator belongs to the item.
            while (i < n && text[i] != u',' && !separatorBlank(text[i]))
                item += text[i++];
        } else {
            while (i < n && text[i] != u',' && !separatorBlank(text[i]))
                item += text[i++];
        }
        items.append(item);
        skipBlanks();
        if (i < n && text[i] == u',') {
            ++i;
            skipBlanks();
            if (i == n) // a trailing comma ends with an empty item
                items.append(QString());
        }
    }
    return items;
}

QString JoinDelimited(const QStringList& items) {
    QStringList out;
    for (const QString& item : items) {
        bool quote = false;
        for (QChar c : item)
            quote = quote || c == u',' || c == u'"' || c.unicode() <= ' ';
        if (!quote) {
            out.append(item);
            continue;
        }
        QString quoted = item;
        quoted.replace(QStringLiteral("\""), QStringLiteral("\"\""));
        out.append(u'"' + quoted + u'"');
    }
    return out.join(u',');
}
