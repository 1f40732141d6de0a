#pragma once

#include <string>
#include <vector>

// Where the user manual is: HTML, one folder per language ("en", "de") with an index.html each, installed
// under share/doc/quirel/manual beside the programs' bin folder.
namespace quirel::app {

// Where an installation keeps the manual, for a program in `programFolder` (whether or not it is there).
std::string ManualInstallFolder(const std::string& programFolder);
// The folders the manual is looked for in, for a program in `programFolder`: beside it as installed, for
// a program of the build tree the source's docs/manual, and where the build was configured to install it.
// Folders that do not exist and duplicates are left out.
std::vector<std::string> ManualFolders(const std::string& programFolder);
// The index.html of the manual in `language` (7 German, else English) from the first folder that has
// it, else the English one; empty when no folder holds either.
std::string FindManual(const std::vector<std::string>& folders, int language);
// The index.html that FindManual looks for first in `folder`.
std::string ManualIndex(const std::string& folder, int language);

} // namespace quirel::app
