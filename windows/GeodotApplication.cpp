#include "GeodotApplication.h"

#include <QLibraryInfo>
#include <QLocale>
#include <QMessageBox>
#include <QTranslator>

#include <exception>
#include <new>

GeodotApplication::GeodotApplication(int& argc, char** argv) : QApplication(argc, argv) {
    const QLocale japanese(QLocale::Japanese, QLocale::Japan);
    QLocale::setDefault(japanese);
    // Debian's qt6-translations-l10n; a catalogue that is not installed leaves Qt's English.
    const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    for (const char* catalogue : {"qtbase", "qtwebengine"}) {
        auto* translator = new QTranslator(this);
        if (translator->load(japanese, QString::fromLatin1(catalogue), QStringLiteral("_"), folder))
            installTranslator(translator);
        else
            delete translator;
    }
}

bool GeodotApplication::notify(QObject* receiver, QEvent* event) {
    // The last net, for an error escaping an event handler that has no boundary of its own.
    bool handled = false;
    Guard([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

void GeodotApplication::Guard(const std::function<void()>& action) {
    try {
        action();
    } catch (const std::bad_alloc&) {
        ShowError(QStringLiteral("メモリが足りません"));
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}

void GeodotApplication::ShowError(const QString& message) {
    QMessageBox::critical(activeWindow(), applicationName(), message, QMessageBox::Ok);
}
