#include "GeodotApplication.h"

#include <QMessageBox>

#include <exception>
#include <new>

bool GeodotApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
        ShowError(QStringLiteral("メモリが足りません"));
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
    return false;
}

void GeodotApplication::ShowError(const QString& message) {
    QMessageBox::critical(activeWindow(), applicationName(), message, QMessageBox::Ok);
}
