#include "GeodotApplication.h"

#include <QMessageBox>

#include <exception>
#include <new>

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
