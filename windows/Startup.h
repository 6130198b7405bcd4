#pragma once

#include <QStringList>

#include <memory>

class TForm1;

// What the embedded browser needs before the application object exists: shared graphics
// contexts, the built-in map page's scheme, and (run as root, where its sandbox cannot start)
// no sandbox.
void PrepareBrowser();

// Creates the main window and the two dialogs (hidden), as the program starts them.
std::unique_ptr<TForm1> CreateWindows(const QStringList& arguments);
