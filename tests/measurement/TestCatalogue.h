#pragma once

#include "parameters/ParameterManager.h"

// The demo catalogue, loaded once, in English.
inline const CParameterManager& Catalogue() {
    static CParameterManager* catalogue = [] {
        auto* c = new CParameterManager;
        c->Load(QUIREL_RESOURCES_DIR "/Parameters.ini");
        return c;
    }();
    return *catalogue;
}
