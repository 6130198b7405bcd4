#include "Startup.h"

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
