#pragma once

#include <QApplication>

#include <functional>
#include <type_traits>

// The application object. Qt's own texts (file dialogs, the fields' edit menus, message-box
// buttons) are Japanese like the rest of the interface, whatever the user's language settings.
// An error that ends a user's action is shown in an error message box; the action's work up to
// the error keeps its effect and the window stays usable.
class GeodotApplication : public QApplication {
    Q_OBJECT

public:
    GeodotApplication(int& argc, char** argv);

    bool notify(QObject* receiver, QEvent* event) override;
    // Runs one user action: an error that ends it is shown, and goes no further.
    static void Guard(const std::function<void()>& action);
    // Shows an error that ended an action.
    static void ShowError(const QString& message);
};

// A slot for a handler, with the action's exception boundary around it: errors are shown before
// they could unwind through the toolkit. The signal's arguments reach the handler when it takes
// them.
template <typename Handler>
auto Guarded(Handler handler) {
    return [handler](auto&&... arguments) {
        GeodotApplication::Guard([&] {
            if constexpr (std::is_invocable_v<Handler, decltype(arguments)...>)
                handler(arguments...);
            else
                handler();
        });
    };
}
