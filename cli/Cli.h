#pragma once

#include <string>
#include <vector>

// Shared by the commands of geodot-cli.
namespace cli {

// Reads the engine options from the user's settings file, when there is one.
void loadEngineOptions(bool& keepTime);
// Opens a file as the window does: engine and registers reset, the file loaded and analysed;
// `forSaving` also takes the fingerprint of the whole file that saving it checks against.
// False when the file cannot be read or is not a JPEG; `error` then says why.
bool openFile(const std::string& path, std::string& error, bool forSaving);

int info(const std::vector<std::string>& files);
int set(const std::vector<std::string>& args);

} // namespace cli
