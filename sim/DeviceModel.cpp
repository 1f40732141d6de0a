#include "DeviceModel.h"

#include "parameters/ParameterDescription.h"

#include "parameters/ParamValue.h"

#include <algorithm>
#include <cmath>

namespace quirel::sim {

namespace {

using Wave = Plant::Wave;

// Measured quantities that have a waveform: in a trace they are sampled as instantaneous values.
bool waveOf(int id, Wave& wave, int& phase) {
    auto in = [id](int first) { return id >= first && id < first + 3; };
    if (in(120) || in(180)) {
        wave = Wave::MainsCurrent;
        phase = id % 10 % 3;
    } else if (in(130)) {
        wave = Wave::LoadCurrent;
        phase = id - 130;
    } else if (in(140)) {
        wave = Wave::FilterCurrent;
        phase = id - 140;
    } else if (in(186)) {
        wave = Wave::FilterCurrent;
        phase = id - 186;
    } else if (in(110)) {
        wave = Wave::MainsVoltage;
        phase = id - 110;
    } else if (in(183)) {
        wave = Wave::MainsVoltage;
        phase = id - 183;
    } else if (in(113)) {
        wave = Wave::LineVoltage;
        phase = id - 113;
    } else if (id == 103 || id == 189) {
        wave = Wave::DcLink;
        phase = 0;
    } else {
        return false;
    }
    return true;
}

constexpr int kHarmonicIds[] = {161, 162, 163, 164, 165, 166, 167, 168, 169};
constexpr int kHarmonicOrders[] = {3, 5, 7, 11, 13, 17, 19, 23, 25};

bool isSixteenBit(int dataType) {
    const auto kind = PARAMVALUE::KindOf(static_cast<std::uint32_t>(dataType));
    return kind == PARAMVALUE::Kind::Int16 || kind == PARAMVALUE::Kind::UInt16;
}

} // namespace

DeviceModel::DeviceModel(SimCatalogue catalogue, DeviceIdentity identity, std::uint32_t seed)
    : m_catalogue(std::move(catalogue)), m_identity(std::move(identity)), m_plant(seed),
      m_eventLog(seed, 420), m_start(std::chrono::steady_clock::now()), m_slots(65536), m_seed(seed) {
    m_clock = [this] {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    };
    m_catalogueFile = m_identity.revision == m_catalogue.revision
                          ? m_catalogue.fileBytes
                          : withDeviceIdRevision(m_catalogue.fileBytes, m_identity.revision);
    // The download reads up to the first zero byte, so the text must not hold one and must end with one.
    m_catalogueFile = m_catalogueFile.substr(0, m_catalogueFile.find('\0'));
    const std::size_t capacity = kCatalogueFileBytes * (kLastCatalogueFile - kFirstCatalogueFile + 1);
    if (m_catalogueFile.size() >= capacity)
        m_catalogueFile.resize(capacity - 1);
    m_catalogueFile.push_back('\0');

    for (std::size_t i = 0; i < m_catalogue.parameters.size(); ++i) {
        const SimParameter& p = m_catalogue.parameters[i];
        m_byId.emplace(p.id, i);
        const int n = PARAMVALUE::RegisterCount(static_cast<std::uint32_t>(p.dataType));
        for (int w = 0; w < n; ++w) {
            const long address = static_cast<long>(p.address) - 1 + w;
            if (address < 0 || address > 65535 || m_slots[static_cast<std::size_t>(address)].parameter >= 0)
                continue;
            m_slots[static_cast<std::size_t>(address)] = Slot{static_cast<int>(i), w};
        }
    }
    setDefaults();
    m_captureRegs[kTriggerDividerRef - kTriggerChannelRef] = 1;
    m_captureRegs[kChannelCountRef - kTriggerChannelRef] = 1;
}

const SimParameter* DeviceModel::findParameter(int id) const {
    auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : &m_catalogue.parameters[it->second];
}

void DeviceModel::setStoredValue(int id, std::uint32_t raw) {
    m_values[id] = raw;
}

void DeviceModel::setDefaults() {
    // Settings of a 100 A filter as commissioned; anything the catalogue adds later starts at 0.
    static const std::map<int, std::uint32_t> kDefaults = {
        {32, 3},           {33, 1683849600}, {34, 105},   {36, 1287},        {200, 0},   {201, 1},
        {202, 3},          {205, 10},        {544, 0},    {210, 2},          {220, 100}, {230, 1},
        {231, 1},          {232, 0},         {233, 1000}, {240, 0xC0A80064}, {241, 1},   {242, 0xFFFFFF00},
        {243, 0xC0A80001}, {244, 502},       {300, 0},    {310, 500},        {311, 1},   {540, 0},
        {312, 0},          {410, 0},         {535, 0},    {400, 100},        {403, 0},   {405, 1},
        {407, 1},          {411, 100},       {538, 0},    {546, 0},          {547, 0},   {510, 70},
        {511, 85},         {520, 85},        {521, 110},  {525, 7200},
    };
    m_values.clear();
    m_history.clear();
    for (const auto& p : m_catalogue.parameters) {
        if (p.dataType == 9)
            continue;
        auto it = kDefaults.find(p.id);
        if (p.access == 0 && it == kDefaults.end())
            continue; // measured: driven by the plant, not stored
        std::uint32_t raw = it != kDefaults.end() ? it->second : 0;
        if (p.id == 401)
            raw = encode(8, 0.95);
        else if (p.id == 402)
            raw = encode(8, 1.0);
        m_values[p.id] = raw;
    }
    m_texts[30] = "AHF100-2611-04217";
    m_texts[31] = m_identity.revision;
    applyOperatingPoint();
}

void DeviceModel::applyOperatingPoint() {
    auto stored = [this](int id, std::uint32_t def) {
        auto it = m_values.find(id);
        return it == m_values.end() ? def : it->second;
    };
    m_plant.setRunning(stored(202, 3) != 1 && m_faultDetail == 0);
    m_plant.setHarmonicCompensation(stored(410, 0) == 0);
    const double reactive = std::clamp(static_cast<double>(stored(400, 100)), 0.0, 100.0) / 100.0;
    m_plant.setReactiveShare(1.0 - 0.9 * reactive);
}

double DeviceModel::liveValue(int id, double t) const {
    const Plant& pl = m_plant;
    switch (id) {
    case 20:
        return m_faultDetail != 0 ? 4 : pl.running() ? 3 : 1; // Fault / Running / Ready
    case 21:
        return m_faultDetail;
    case 35:
        return m_eventLog.startHours() + t / 3600.0;
    case 37: {
        int errors = 0;
        for (const auto& line : m_eventLog.lines())
            errors += line.find(";Error", 1) != std::string::npos ? 1 : 0;
        return errors;
    }
    case 38:
        return 3 * 3600 + 1234 + t;
    case 40:
        return static_cast<double>(m_eventLog.startEpoch()) + t + m_clockOffset;
    case 100:
        return pl.frequency(t);
    case 102: {
        const double p = pl.activePower(t);
        return p / std::hypot(p, pl.reactivePower(t));
    }
    case 104:
        return 100.0 * pl.filterLoad(t);
    case 106:
        return 1000.0 * pl.activePower(t);
    case 107:
        return 1000.0 * pl.reactivePower(t);
    case 108:
        return 1000.0 * std::hypot(pl.activePower(t), pl.reactivePower(t));
    case 109:
        return 0;
    case 126:
        return 0.02 * pl.rms(Wave::MainsCurrent, 0, t) + 0.3 * pl.noise(111, t);
    case 133:
        return 0.03 * pl.rms(Wave::LoadCurrent, 0, t) + 0.3 * pl.noise(112, t);
    case 143:
        return 0.4 + 0.2 * pl.noise(113, t);
    case 145:
    case 146:
        return pl.rms(Wave::DcLink, 0, t) / 2.0 + 1.5 * pl.noise(114 + static_cast<std::uint32_t>(id), t);
    case 150:
        return pl.heatsinkTemperature(t);
    case 151:
        return 29.0 + 4.0 * pl.filterLoad(t) + 0.5 * pl.noise(115, t / 30.0);
    case 152:
        return pl.running() ? 1800.0 + 900.0 * pl.filterLoad(t) : 600.0;
    case 153:
        return 45.0 + 25.0 * pl.filterLoad(t) + 0.5 * pl.noise(116, t / 30.0);
    case 170:
    case 171:
    case 172:
        return pl.thd(Wave::MainsCurrent, id - 170, t);
    case 173:
    case 174:
    case 175:
        return pl.thd(Wave::MainsVoltage, id - 173, t);
    default:
        break;
    }
    if (id >= 123 && id <= 125)
        return pl.loadCurrent(id - 123, t);
    for (std::size_t i = 0; i < std::size(kHarmonicIds); ++i)
        if (kHarmonicIds[i] == id)
            return pl.harmonicCurrent(Wave::MainsCurrent, 0, kHarmonicOrders[i], t);
    Wave wave;
    int phase = 0;
    if (waveOf(id, wave, phase)) {
        if (id >= 180 && id <= 189) // the instantaneous values of the live view
            return pl.instantaneous(wave, phase, t);
        return pl.rms(wave, phase, t);
    }
    // A measured value this model does not know: a slow wander around a level of its own.
    return 50.0 + 10.0 * pl.noise(1000 + static_cast<std::uint32_t>(id), t / 10.0);
}

double DeviceModel::traceValue(int id, double t) const {
    Wave wave;
    int phase = 0;
    if (waveOf(id, wave, phase))
        return m_plant.instantaneous(wave, phase, t);
    if (id == 126 || id == 133 || id == 143) {
        const Wave w = id == 126 ? Wave::MainsCurrent : id == 133 ? Wave::LoadCurrent : Wave::FilterCurrent;
        return m_plant.instantaneous(w, 0, t) + m_plant.instantaneous(w, 1, t) +
               m_plant.instantaneous(w, 2, t);
    }
    if (id == 145 || id == 146)
        return m_plant.instantaneous(Wave::DcLink, 0, t) / 2.0;
    return liveValue(id, t);
}

std::uint32_t DeviceModel::encode(int dataType, double value) const {
    PARAMVALUE v(static_cast<std::uint32_t>(dataType));
    if (dataType == 8)
        v.SetFromDouble(value);
    else
        v.SetFromDouble(std::round(value));
    return v.raw;
}

std::uint32_t DeviceModel::storedValue(int id) const {
    auto it = m_values.find(id);
    return it == m_values.end() ? 0 : it->second;
}

std::uint32_t DeviceModel::storedAt(int id, double t) const {
    auto h = m_history.find(id);
    if (h != m_history.end()) {
        // The value a setting had at time t: before its first recorded write it held the write's old value.
        for (auto it = h->second.rbegin(); it != h->second.rend(); ++it)
            if (it->time < t) // a sample taken at the instant of a write still sees the old value
                return it->raw;
        return h->second.front().previous;
    }
    auto it = m_values.find(id);
    return it == m_values.end() ? 0 : it->second;
}

std::uint32_t DeviceModel::rawValue(const SimParameter& p, double t) const {
    if (p.id == 40 || (p.access == 0 && isLive(p.id)))
        return encode(p.dataType, liveValue(p.id, t));
    // Settings, constants, counters with a stored value, and enumerations this model does not drive.
    if (p.access != 0 || m_values.count(p.id) != 0 || !p.valueTexts.empty())
        return storedValue(p.id);
    // A measured value this model does not know: the slow wander of liveValue's fallback.
    return encode(p.dataType, liveValue(p.id, t));
}

bool DeviceModel::isLive(int id) const {
    // Read-only parameters whose value comes from the plant rather than from storage.
    return id == 20 || id == 21 || id == 35 || id == 37 || id == 38 || (id >= 100 && id < 200);
}

std::vector<std::uint16_t> DeviceModel::registerImage(const SimParameter& p) const {
    std::vector<std::uint16_t> image;
    if (p.dataType == 9) {
        std::uint16_t regs[10] = {};
        auto it = m_texts.find(p.id);
        TextValueTable::EncodeRegisters(it == m_texts.end() ? std::string() : it->second, regs);
        image.assign(regs, regs + 10);
        return image;
    }
    std::uint16_t regs[2] = {};
    const int n = PARAMVALUE(static_cast<std::uint32_t>(p.dataType), rawValue(p, now())).ToRegisters(regs);
    image.assign(regs, regs + n);
    return image;
}

Exception DeviceModel::readHolding(std::uint16_t address, std::uint16_t count,
                                   std::vector<std::uint16_t>& out) {
    advance();
    out.assign(count, 0);
    std::map<int, std::vector<std::uint16_t>> images; // one consistent image per parameter and request
    for (std::uint16_t i = 0; i < count; ++i) {
        const long wire = static_cast<long>(address) + i;
        if (wire > 65535)
            return Exception::IllegalDataAddress;
        const int ref = static_cast<int>(wire) + 1;
        if (isCaptureSettingsAddress(ref)) {
            out[i] = readCaptureRegister(ref);
            continue;
        }
        std::uint16_t traceWord = 0;
        if (readTraceRegister(ref, traceWord)) {
            out[i] = traceWord;
            continue;
        }
        const Slot slot = m_slots[static_cast<std::size_t>(wire)];
        if (slot.parameter < 0)
            return Exception::IllegalDataAddress;
        const SimParameter& p = m_catalogue.parameters[static_cast<std::size_t>(slot.parameter)];
        if (!IsReadable(p.access))
            return Exception::IllegalDataAddress;
        auto it = images.find(slot.parameter);
        if (it == images.end())
            it = images.emplace(slot.parameter, registerImage(p)).first;
        out[i] = it->second[static_cast<std::size_t>(slot.word)];
    }
    return Exception::None;
}

Exception DeviceModel::readInput(std::uint16_t address, std::uint16_t count,
                                 std::vector<std::uint16_t>& out) {
    out.assign(count, 0);
    for (std::uint16_t i = 0; i < count; ++i) {
        const long ref = static_cast<long>(address) + i + 1;
        // The probe answers the product's rating as one 32-bit value, low word first.
        if (ref == kProbeRef)
            out[i] = 100;
        else if (ref == kProbeRef + 1)
            out[i] = 0;
        else
            return Exception::IllegalDataAddress;
    }
    return Exception::None;
}

Exception DeviceModel::checkParameterValue(const SimParameter& p, std::uint32_t raw) const {
    if (!p.valueTexts.empty()) {
        const auto index = PARAMVALUE(static_cast<std::uint32_t>(p.dataType), raw).GetAsInt64().value_or(-1);
        if (index < 0 || index >= static_cast<std::int64_t>(p.valueTexts.size()))
            return Exception::IllegalDataValue;
    }
    if (p.dataType == 8 && !std::isfinite(PARAMVALUE(8, raw).GetFloat()))
        return Exception::IllegalDataValue;
    return Exception::None;
}

Exception DeviceModel::writeHolding(std::uint16_t address, const std::vector<std::uint16_t>& values) {
    advance();
    // Check everything first, so a refused request changes nothing.
    std::map<int, std::vector<std::uint16_t>> images;
    for (std::size_t i = 0; i < values.size(); ++i) {
        const long wire = static_cast<long>(address) + static_cast<long>(i);
        if (wire > 65535)
            return Exception::IllegalDataAddress;
        const int ref = static_cast<int>(wire) + 1;
        if (isCaptureSettingsAddress(ref)) {
            if (Exception e = validateCaptureWrite(ref, values[i]); e != Exception::None)
                return e;
            continue;
        }
        std::uint16_t unused = 0;
        if (readTraceRegister(ref, unused))
            return Exception::IllegalDataAddress;
        const Slot slot = m_slots[static_cast<std::size_t>(wire)];
        if (slot.parameter < 0)
            return Exception::IllegalDataAddress;
        const SimParameter& p = m_catalogue.parameters[static_cast<std::size_t>(slot.parameter)];
        if (!IsWritable(p.access))
            return Exception::IllegalDataAddress;
        auto it = images.find(slot.parameter);
        if (it == images.end()) {
            std::vector<std::uint16_t> image(static_cast<std::size_t>(
                std::max(1, PARAMVALUE::RegisterCount(static_cast<std::uint32_t>(p.dataType)))));
            std::uint16_t regs[2] = {};
            const int n =
                PARAMVALUE(static_cast<std::uint32_t>(p.dataType), storedValue(p.id)).ToRegisters(regs);
            std::copy(regs, regs + n, image.begin());
            it = images.emplace(slot.parameter, image).first;
        }
        it->second[static_cast<std::size_t>(slot.word)] = values[i];
    }
    for (const auto& [index, image] : images) {
        const SimParameter& p = m_catalogue.parameters[static_cast<std::size_t>(index)];
        if (p.dataType == 9)
            continue;
        const auto raw = PARAMVALUE::FromRegisters(static_cast<std::uint32_t>(p.dataType), image.data()).raw;
        if (Exception e = checkParameterValue(p, raw); e != Exception::None)
            return e;
    }
    for (const auto& [index, image] : images) {
        const SimParameter& p = m_catalogue.parameters[static_cast<std::size_t>(index)];
        if (p.dataType == 9) {
            m_texts[p.id] = TextValueTable::DecodeRegisters(image.data());
            continue;
        }
        storeParameter(p,
                       PARAMVALUE::FromRegisters(static_cast<std::uint32_t>(p.dataType), image.data()).raw);
    }
    for (std::size_t i = 0; i < values.size(); ++i) {
        const int ref = static_cast<int>(address + i) + 1;
        if (isCaptureSettingsAddress(ref))
            if (Exception e = writeCaptureRegister(ref, values[i]); e != Exception::None)
                return e;
    }
    return Exception::None;
}

void DeviceModel::storeParameter(const SimParameter& p, std::uint32_t raw) {
    const double t = now();
    if (p.id == 40) {
        m_clockOffset = static_cast<double>(raw) - (static_cast<double>(m_eventLog.startEpoch()) + t);
        m_eventLog.append(t + m_clockOffset, t, "Date and time set", EventLog::Kind::Info);
        return;
    }
    if (p.access == 3) { // commands: act, then read back as "no action"
        if (raw != 0)
            runCommand(p.id, t);
        return;
    }
    const std::uint32_t previous = storedValue(p.id);
    auto& history = m_history[p.id];
    history.push_back(Change{t, raw, previous});
    if (history.size() > 64)
        history.erase(history.begin());
    const bool changed = m_values[p.id] != raw;
    m_values[p.id] = raw;
    applyOperatingPoint();
    if (changed)
        m_eventLog.append(t + m_clockOffset, t, "Parameter " + std::to_string(p.id) + " changed",
                          EventLog::Kind::Info);
}

void DeviceModel::runCommand(int id, double t) {
    const double clock = t + m_clockOffset;
    switch (id) {
    case 600:
        m_eventLog.append(clock, t, "Fault acknowledged", EventLog::Kind::Status);
        if (m_faultDetail != 0) {
            m_faultDetail = 0;
            applyOperatingPoint();
            m_eventLog.append(clock, t, "Filter started", EventLog::Kind::Status);
        }
        break;
    case 601:
        m_eventLog.clear();
        m_eventLog.append(clock, t, "Event log cleared", EventLog::Kind::Info);
        break;
    case 602: {
        const auto slave = m_values[230];
        setDefaults();
        m_values[230] = slave;
        m_eventLog.append(clock, t, "Factory settings loaded", EventLog::Kind::Info);
        break;
    }
    case 603:
        m_eventLog.append(clock, t, "Filter stopped", EventLog::Kind::Status);
        m_eventLog.append(clock, t, "Filter started", EventLog::Kind::Status);
        break;
    default:
        break;
    }
}

bool DeviceModel::trip(int detail, const std::string& description) {
    const SimParameter* p = findParameter(21);
    const int details = p != nullptr && !p->valueTexts.empty() ? static_cast<int>(p->valueTexts.size()) : 12;
    if (detail < 1 || detail >= details)
        return false;
    const double t = now();
    m_faultDetail = detail;
    applyOperatingPoint();
    std::string text = description;
    if (text.empty())
        text = p != nullptr && !p->valueTexts.empty() ? p->valueTexts[static_cast<std::size_t>(detail)]
                                                      : "Fault";
    m_eventLog.append(t + m_clockOffset, t, text, EventLog::Kind::Error);
    m_eventLog.append(t + m_clockOffset, t, "Filter stopped", EventLog::Kind::Status);
    return true;
}

Exception DeviceModel::writeCoil(std::uint16_t address, bool on) {
    const Slot slot = m_slots[address];
    if (slot.parameter < 0)
        return Exception::IllegalDataAddress;
    const SimParameter& p = m_catalogue.parameters[static_cast<std::size_t>(slot.parameter)];
    if (!IsWritable(p.access) || !isSixteenBit(p.dataType))
        return Exception::IllegalDataAddress;
    return writeHolding(address, {static_cast<std::uint16_t>(on ? 1 : 0)});
}

Exception DeviceModel::readCoils(std::uint16_t address, std::uint16_t count, std::vector<bool>& out) {
    out.assign(count, false);
    for (std::uint16_t i = 0; i < count; ++i) {
        const long wire = static_cast<long>(address) + i;
        if (wire > 65535)
            return Exception::IllegalDataAddress;
        const Slot slot = m_slots[static_cast<std::size_t>(wire)];
        if (slot.parameter < 0)
            return Exception::IllegalDataAddress;
        const SimParameter& p = m_catalogue.parameters[static_cast<std::size_t>(slot.parameter)];
        if (!IsReadable(p.access) || !isSixteenBit(p.dataType))
            return Exception::IllegalDataAddress;
        out[i] = (rawValue(p, now()) & 0xFFFFU) != 0;
    }
    return Exception::None;
}

Exception DeviceModel::readFileRecord(int fileNumber, int recordNumber, int recordLength,
                                      std::string& bytes) {
    bytes.clear();
    if (recordNumber < 0 || recordLength < 0 || recordNumber + recordLength > kFileRegisters)
        return Exception::IllegalDataAddress;
    std::string file;
    if (fileNumber >= kFirstCatalogueFile && fileNumber <= kLastCatalogueFile) {
        const std::size_t first =
            static_cast<std::size_t>(fileNumber - kFirstCatalogueFile) * kCatalogueFileBytes;
        if (first < m_catalogueFile.size())
            file = m_catalogueFile.substr(first, kCatalogueFileBytes);
    } else if (EventLog::isLogFile(fileNumber)) {
        file = m_eventLog.fileBytes(fileNumber);
    } else {
        return Exception::IllegalDataAddress;
    }
    const std::size_t from = static_cast<std::size_t>(recordNumber) * 2;
    const std::size_t length = static_cast<std::size_t>(recordLength) * 2;
    bytes.assign(length, '\0');
    if (from < file.size())
        file.copy(bytes.data(), std::min(length, file.size() - from), from);
    return Exception::None;
}

} // namespace quirel::sim
