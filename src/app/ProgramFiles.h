#pragma once

#include <string>
#include <vector>

// Where the program's own files live. The files a desktop program keeps "next to the program" (the last
// measurements, the downloaded catalogue) go to the program folder when it is writable, as on a portable
// installation, and otherwise to the user's data folder, which is where an installed program's folder
// (read-only under /usr) sends them.
namespace quirel::app {

// The folder of the running program.
std::string ProgramFolder();
// Whether a program in `programFolder` lies in the build tree it was built in. Only such a program takes
// files from the source tree (the demo catalogue, the manual); an installed one has its own.
bool RunsFromBuildTree(const std::string& programFolder);
// $XDG_DATA_HOME (else ~/.local/share) / company / application: the folder Qt names AppDataLocation for
// this program, so the viewer and the CLI agree on it.
std::string UserDataFolder();
// Where the program file `name` is read and written: the program folder when writable, else the user
// data folder (created when missing).
std::string ProgramFilePath(const std::string& name);
// The same rule for the program whose folder is `programFolder`.
std::string ProgramFilePathIn(const std::string& programFolder, const std::string& name);

// The candidates that are folders, in their order, each once.
std::vector<std::string> ExistingFolders(const std::vector<std::string>& candidates);
// The folders a catalogue named without a folder is looked for in, after the name as given (absolute, or
// relative to the current folder): the program folder, the user data folder, the installed share folder
// (beside the program and where it was configured to install) and, for a program of the build tree, the
// source's resources. Duplicates and missing folders are left out.
std::vector<std::string> CatalogueFolders();
// The catalogue file to load: the first of `name` and the folders above that holds it; empty when none
// does. A name with a folder of its own is only taken as given. `firstFolder`, when given, is looked in
// before the folders above.
std::string FindCatalogue(const std::string& name, const std::string& firstFolder = std::string());
// What a user reads when FindCatalogue found nothing: the name and every place it was looked for.
std::string CatalogueNotFoundText(const std::string& name);

} // namespace quirel::app
