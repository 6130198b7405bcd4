#pragma once

#include <QApplication>

// The application object. An error that escapes an event handler is shown in an error message
// box; the handler's work up to the error keeps its effect and the window stays usable.
class GeodotApplication : public QApplication {
    Q_OBJECT

public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override;
    // Shows an error that ended an action.
    static void ShowError(const QString& message);
};
