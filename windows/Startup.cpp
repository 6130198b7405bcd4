#include "Startup.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <unistd.h>

#include "MapPage.h"
#include "Unit1.h"
#include "UnitConfig.h"
#include "UnitLocations.h"

std::unique_ptr<TForm1> CreateWindows(const QStringList& arguments) {
    auto form = std::make_unique<TForm1>(arguments);
    Form1 = form.get();
    FormConfig = new TFormConfig(form.get());
    FormLocations = new TFormLocations(form.get());
    return form;
}

void PrepareBrowser() {
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    RegisterMapScheme();
    // The browser's start-up report is for its developers, not for our users' terminals.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.webenginecontext.info=false"));
    if (geteuid() == 0 && qEnvironmentVariableIsEmpty("QTWEBENGINE_DISABLE_SANDBOX"))
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}
