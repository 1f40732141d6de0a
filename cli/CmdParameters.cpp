// ident, read, write, list: the catalogued parameters of the device.
#include "CliSession.h"

#include "base/Document.h"
#include "base/StringTable.h"
#include "comm/DeviceIdentification.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "parameters/ParameterValue.h"

#include <map>
#include <mutex>
#include <optional>

namespace quirel::cli {
namespace {

constexpr unsigned kIdsParameterNotFound = 155;
constexpr unsigned kIdsSectionNotFound = 161;
constexpr unsigned kIdsModbusError = 178;

// The values the read jobs deliver, in place of the parameters document.
class ValueStore : public CDocument {
public:
    void SetValue(int32_t id, const PARAMVALUE& value) {
        std::lock_guard lock(m_mutex);
        m_values[id] = value;
    }
    std::optional<PARAMVALUE> Get(int32_t id) const {
        std::lock_guard lock(m_mutex);
        auto it = m_values.find(id);
        return it == m_values.end() ? std::nullopt : std::optional<PARAMVALUE>(it->second);
    }

private:
    mutable std::mutex m_mutex;
    std::map<int32_t, PARAMVALUE> m_values;
};

void PrintLine(CliSession& s, const CParameterDescription& d, const std::string& value) {
    std::fprintf(s.Out(), "%d %s = %s %s\n", d.GetId(), d.GetName().c_str(), value.c_str(),
                 d.GetUnit().c_str());
}

int ReadAndPrint(CliSession& s, ValueStore& values, const std::vector<const CParameterDescription*>& list,
                 bool dashForUnreadable) {
    for (const CParameterDescription* d : list) {
        if (dashForUnreadable && !IsReadable(d->GetAccessType()))
            continue;
        const int32_t id = d->GetId();
        const CParameterValue value(static_cast<uint32_t>(id), static_cast<uint32_t>(d->GetDataType()), 0);
        if (!s.AddPollJobWaiting(
                [&] { return std::make_unique<CJobUpdateVisibleParameter>(&values, id, value); }))
            break; // the connection is gone: reported by the job that lost it
    }
    s.Drain();
    bool missing = false;
    for (const CParameterDescription* d : list) {
        const auto cell = values.Get(d->GetId());
        if (cell) {
            PrintLine(s, *d,
                      CParameterValue(static_cast<uint32_t>(d->GetId()), cell->dataType, cell->raw)
                          .GetText(s.Catalogue()));
        } else if (dashForUnreadable && !IsReadable(d->GetAccessType())) {
            PrintLine(s, *d, "--");
        } else {
            // Never a line left out in silence: the job's own message (if any) said why, this says which.
            missing = true;
            std::fprintf(s.Err(), "%s%d %s\n", quirel::loadString(kIdsNoValueReceived).c_str(), d->GetId(),
                         d->GetName().c_str());
        }
    }
    std::fflush(s.Out());
    return missing || s.Ui().GetErrorCount() > 0 ? kFailed : kOk;
}

int Ident(CliSession& s, const std::vector<std::string>& args) {
    if (!args.empty())
        return s.Usage("wrong arguments for ident");
    if (int rc = s.Connect(); rc != kOk)
        return rc;
    uint8_t objects[102];
    try {
        s.Controller().ReadDeviceIdentification(sizeof objects, objects);
    } catch (const CModbusException& e) {
        return s.Fail(e.GetMessage());
    }
    const DeviceIdentification id = ParseDeviceIdentification(objects, sizeof objects);
    std::fprintf(s.Out(), "VendorName: %s\nProductCode: %s\nRevision: %s\n", id.vendorName.c_str(),
                 id.productCode.c_str(), id.revision.c_str());
    return kOk;
}

// Every name is checked before any traffic.
bool ResolveAll(CliSession& s, const std::vector<std::string>& keys,
                std::vector<const CParameterDescription*>& list) {
    for (const std::string& key : keys) {
        const CParameterDescription* d = s.Resolve(key);
        if (!d) {
            s.Fail(quirel::loadString(kIdsParameterNotFound) + key);
            return false;
        }
        list.push_back(d);
    }
    return true;
}

int Read(CliSession& s, const std::vector<std::string>& args) {
    if (args.empty())
        return s.Usage("wrong arguments for read");
    std::vector<const CParameterDescription*> list;
    if (!ResolveAll(s, args, list))
        return kFailed;
    if (int rc = s.Connect(); rc != kOk)
        return rc;
    ValueStore values;
    const int rc = ReadAndPrint(s, values, list, false);
    return s.Finish(rc); // before `values` goes: no job may still write into it
}

int Write(CliSession& s, const std::vector<std::string>& args) {
    if (args.size() != 2)
        return s.Usage("wrong arguments for write");
    std::vector<const CParameterDescription*> list;
    if (!ResolveAll(s, {args[0]}, list))
        return kFailed;
    const CParameterDescription& d = *list[0];
    const std::string& text = args[1];
    CParameterValue value(static_cast<uint32_t>(d.GetId()), static_cast<uint32_t>(d.GetDataType()), 0);
    if (const std::string error = value.TakeText(d, text, ValueTextSource::Typed); !error.empty())
        return s.Fail(error);
    if (int rc = s.Connect(); rc != kOk)
        return rc;
    if (!s.Controller().AddUserJob(std::make_unique<CJobWriteParameter>(value)))
        return s.Fail(quirel::loadString(kIdsModbusError));
    s.Drain();
    if (s.Ui().GetErrorCount() > 0)
        return kFailed;
    if (!IsReadable(d.GetAccessType()))
        return kOk;
    ValueStore values;
    const int rc = ReadAndPrint(s, values, list, false);
    return s.Finish(rc);
}

void PrintTree(CliSession& s, const std::vector<FolderTreeEntry>& entries, int depth) {
    for (const FolderTreeEntry& e : entries) {
        std::fprintf(s.Out(), "%*s%s [%s]\n", 2 * depth, "", e.displayName.c_str(), e.sectionName.c_str());
        PrintTree(s, e.children, depth + 1);
    }
}

int List(CliSession& s, const std::vector<std::string>& args) {
    if (args.size() > 1)
        return s.Usage("wrong arguments for list");
    if (args.empty()) {
        PrintTree(s, s.Catalogue().GetFolderTree(), 0);
        return kOk;
    }
    const CTreeItem* item = s.Catalogue().FindItem(args[0]);
    if (!item || item->IsLeaf())
        return s.Fail(quirel::loadString(kIdsSectionNotFound) + args[0]);
    std::vector<CParameterDescription> folder;
    s.Catalogue().GetFolderParameters(args[0], folder);
    std::vector<const CParameterDescription*> list;
    for (const CParameterDescription& d : folder)
        list.push_back(&d);
    if (int rc = s.Connect(); rc != kOk)
        return rc;
    ValueStore values;
    const int rc = ReadAndPrint(s, values, list, true);
    return s.Finish(rc);
}

} // namespace

void AddParameterCommands(std::vector<CommandSpec>& commands) {
    commands.push_back(
        {"ident",
         "  ident                 print the device identification: VendorName, ProductCode, Revision\n",
         false, Ident});
    commands.push_back({"read",
                        "  read ID|NAME...       read parameters by identifier or name; one line each:\n"
                        "                        \"ID NAME = VALUE UNIT\"\n",
                        true, Read});
    commands.push_back(
        {"write",
         "  write ID|NAME VALUE   write VALUE, given as the parameter's text (as a user types it: \"49,5\",\n"
         "                        a value text of the list, \"192.168.1.10\", \"2024-05-01 12:00:00\"), "
         "then\n"
         "                        read it back and print its line when the parameter is readable; a text\n"
         "                        that is not a whole value (\"0.9\", \"12x\", an unknown value text) is "
         "refused\n",
         true, Write});
    commands.push_back(
        {"list",
         "  list [FOLDER]         without FOLDER: the folder tree (section names in brackets); with FOLDER\n"
         "                        (section or display name): its parameters with their current values, "
         "\"--\"\n"
         "                        for write-only ones\n",
         true, List});
}

} // namespace quirel::cli
