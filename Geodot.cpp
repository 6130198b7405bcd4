// Geodot: the program's entry point. One instance runs at a time; a second start ends at once,
// silently.

#include <QIcon>

#include "GeodotApplication.h"
#include "SingleInstance.h"
#include "Startup.h"
#include "Unit1.h"

int main(int argc, char* argv[]) {
    SingleInstance instance;
    if (!instance.claim())
        return 0;

    PrepareBrowser();
    GeodotApplication app(argc, argv);
    app.setApplicationName(QStringLiteral(GEODOT_NAME));
    app.setWindowIcon(QIcon(QStringLiteral(":/icons/geodot.png")));

    std::unique_ptr<TForm1> window = CreateWindows(app.arguments());
    window->show(); // centred on the screen
    const int status = app.exec();
    window.reset(); // the settings are written as the window goes
    return status;
}
