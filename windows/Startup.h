#pragma once

#include <QStringList>

#include <memory>

class TForm1;

// Creates the main window and the two dialogs (hidden), as the program starts them.
std::unique_ptr<TForm1> CreateWindows(const QStringList& arguments);
