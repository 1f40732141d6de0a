// A parameter-set file (.btp) from any bytes: parsed, reported as "Open parameter set" shows it, and turned
// into the send list in both program languages, with the texts a user confirms and the not-sent report.
#include "FuzzSupport.h"

#include "base/StringTable.h"
#include "parameters/ParameterManager.h"
#include "paramset/ParamSetFile.h"
#include "paramset/ParamSetReport.h"
#include "paramset/SendList.h"

namespace {

const CParameterManager& Catalogue() {
    static CParameterManager* catalogue = [] {
        auto* c = new CParameterManager; // lives as long as the process, like the program's
        c->Load(std::string(QUIREL_RESOURCES_DIR) + "/Parameters.ini");
        return c;
    }();
    return *catalogue;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quirel::paramset::CParamSetFile file;
    file.Parse(std::string_view(reinterpret_cast<const char*>(data), size));
    for (const char* section : quirel::paramset::kSections)
        for (const auto& entry : file.Entries(section))
            if (entry.key < 0 || entry.key > quirel::paramset::kLastKey ||
                entry.stored.size() > 4 * quirel::paramset::kMaxValueCharacters) // characters, not bytes
                FuzzFail("an entry beyond what a reader takes");
    (void)quirel::paramset::BuildReport(file, Catalogue());

    for (int language : {quirel::kLanguageGerman, quirel::kLanguageEnglish}) {
        quirel::paramset::SendList list = quirel::paramset::BuildSendList(file, Catalogue(), language);
        for (const auto& item : list.items) {
            if (quirel::paramset::IsNeverSent(item.number) || !Catalogue().IsSettingId(item.number))
                FuzzFail("a send list offers a value that is never sent");
            if (!item.marked && !item.refusal.empty())
                FuzzFail("a refused text is offered to the device");
        }
        (void)quirel::paramset::ConfirmationText(list);
        for (auto& item : list.items)
            item.state = item.marked ? quirel::paramset::SendItem::State::NotReached
                                     : quirel::paramset::SendItem::State::Sent;
        (void)quirel::paramset::NotSentReport(list, language);
    }
    return 0;
}
