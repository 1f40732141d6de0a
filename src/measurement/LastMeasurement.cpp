#include "measurement/LastMeasurement.h"

#include <cstdio>

std::string DamagedLastFileName(const CDocMeasurementBase& doc) {
    return std::string("last-damaged.") + doc.GetFileExtension();
}

MeasurementFileResult ExchangeLastMeasurement(CDocMeasurementBase& doc, const std::string& folder,
                                              bool store) {
    const std::string path = folder + "/" + doc.GetLastFileName();
    const MeasurementFileResult result = store ? doc.WriteFile(path, true) : doc.ReadFile(path, true);
    if (result == MeasurementFileResult::kCannotOpen)
        return result;
    if (result == MeasurementFileResult::kDamaged || result == MeasurementFileResult::kForeign) {
        doc.DeleteContents();
        std::rename(path.c_str(), (folder + "/" + DamagedLastFileName(doc)).c_str());
        return result;
    }
    doc.SetWithMeasStart(true);
    doc.SetTitle(doc.GetDefaultTitle() + " - [" + doc.GetLastFileName() + "] ");
    return result;
}
