// Measurement files: .nbts, .nbtc (with the measurement-start record) and the older .bts, .btc (without),
// read from memory and from an open file as the open command reads them, then shown, exported as CSV and
// saved again. Input: one byte that picks the kind, the format and the source, then the file's bytes.
#include "FuzzSupport.h"

#include "base/BinaryArchive.h"
#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/MeasurementCsv.h"
#include "parameters/ParameterManager.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

const CParameterManager& Catalogue() {
    static const auto* catalogue = [] {
        auto* c = new CParameterManager;
        c->Load(QUIREL_RESOURCES_DIR "/Parameters.ini");
        return c;
    }();
    return *catalogue;
}

std::unique_ptr<CDocMeasurementBase> NewDocument(bool single) {
    if (single)
        return std::make_unique<CDocMeasurementSingle>(&Catalogue(), nullptr);
    return std::make_unique<CDocMeasurementContinuous>(&Catalogue(), nullptr);
}

// What the chart, the table and `quirel-cli show` take from the document.
void Show(const CDocMeasurementBase& doc, bool single) {
    const int channels = doc.GetChannelCount();
    for (int i = 0; i < channels; ++i) {
        (void)doc.GetChannelTitle(i);
        const size_t n = doc.GetValueCount(i);
        if (n > 0) {
            double last = 0;
            doc.ReadValues(i, n - 1, 1, &last);
            (void)doc.GetValue(i, 0);
        }
    }
    (void)doc.GetX(doc.GetMaxValueCount());

    char* text = nullptr;
    size_t length = 0;
    std::FILE* out = ::open_memstream(&text, &length);
    WriteMeasurementCsv(doc, out);
    std::fclose(out);
    const std::string_view csv(text, length);
    const std::string_view head = csv.substr(0, csv.find('\n'));
    // The description line is written whole, whatever the numbers in it.
    if (!head.ends_with('\r') || head.find(single ? " state=" : " interval=") == std::string_view::npos)
        FuzzFail("the CSV description line is cut short");
    std::free(text);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const uint8_t mode = in.u8();
    const bool single = mode & 1;
    const bool withMeasStart = mode & 2;
    const bool fromFile = mode & 4;
    const std::string_view bytes = in.rest();

    auto doc = NewDocument(single);
    bool whole = true;
    if (fromFile) {
        const MemoryFile file(bytes);
        const MeasurementFileResult result = doc->ReadFile(file.path(), withMeasStart);
        if (result == MeasurementFileResult::kCannotOpen)
            FuzzFail("a readable file cannot be opened");
        whole = result == MeasurementFileResult::kOk;
    } else {
        doc->SetWithMeasStart(withMeasStart);
        try {
            doc->Deserialize(bytes);
        } catch (const quirel::ArchiveError&) {
            whole = false;
        }
    }
    doc->SetWithMeasStart(withMeasStart);
    Show(*doc, single);

    // A file read whole is saved as bytes that read back as the same document.
    if (whole) {
        const std::string saved = doc->Serialize();
        auto again = NewDocument(single);
        again->SetWithMeasStart(withMeasStart);
        try {
            again->Deserialize(saved);
        } catch (const quirel::ArchiveError&) {
            FuzzFail("a saved measurement does not read back");
        }
        if (again->Serialize() != saved)
            FuzzFail("a saved measurement reads back as another");
    }
    return 0;
}
