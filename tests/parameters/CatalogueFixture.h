#pragma once

#include "TempFolder.h"
#include "parameters/ParameterManager.h"

#include <fstream>
#include <string>

// A catalogue of the given text, loaded in one language from a private temporary folder that lives as long.
class LoadedCatalogue : public CParameterManager {
public:
    LoadedCatalogue(const std::string& text, int language) {
        std::ofstream(m_folder.File("Parameters.ini"), std::ios::binary) << text;
        SetLanguage(language);
        Load(m_folder.File("Parameters.ini"));
    }

private:
    TempFolder m_folder;
};
