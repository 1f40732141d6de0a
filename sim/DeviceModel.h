#pragma once

#include "EventLog.h"
#include "Plant.h"
#include "SimCatalogue.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

namespace quirel::sim {

// Modbus exception codes the device answers with.
enum class Exception : std::uint8_t {
    None = 0,
    IllegalFunction = 1,
    IllegalDataAddress = 2,
    IllegalDataValue = 3,
    DeviceFailure = 4,
};

struct DeviceIdentity {
    std::string vendorName;
    std::string productCode;
    std::string revision;
};

// The simulated filter behind every transport: the catalogue's registers with live measured values,
// stored settings, the trigger and trace capture, the event log and catalogue files, and the identification.
// Not thread-safe: the simulator drives it from one thread.
class DeviceModel {
public:
    // References (counted from 1) of the capture block.
    static constexpr int kTriggerChannelRef = 60000;
    static constexpr int kTriggerLevelRef = 60001;
    static constexpr int kTriggerModeRef = 60003;
    static constexpr int kTriggerDelayRef = 60004;
    static constexpr int kTriggerDividerRef = 60005;
    static constexpr int kChannelCountRef = 60006;
    static constexpr int kChannelListRef = 60010;
    static constexpr int kTriggerStateRef = 60030;
    static constexpr int kTraceBaseRef = 10000;
    static constexpr int kTraceStride = 5000;
    static constexpr int kMaxChannels = 10;
    static constexpr int kMaxSamples = 512;
    static constexpr double kBaseSampleRate = 32000.0;
    // Input register reference answered for the connect probe.
    static constexpr int kProbeRef = 10;
    // Catalogue files 2..12, 100 blocks of 100 registers each.
    static constexpr int kFirstCatalogueFile = 2;
    static constexpr int kLastCatalogueFile = 12;
    static constexpr std::size_t kCatalogueFileBytes = 100 * 200;
    static constexpr int kFileRegisters = 10000; // record numbers 0..9999

    DeviceModel(SimCatalogue catalogue, DeviceIdentity identity, std::uint32_t seed);

    // Simulated time in seconds since start; replaceable so tests can step time.
    void setClock(std::function<double()> clock) { m_clock = std::move(clock); }
    double now() const { return m_clock(); }

    // Register access by wire address (reference - 1). Exception::None on success.
    Exception readHolding(std::uint16_t address, std::uint16_t count, std::vector<std::uint16_t>& out);
    Exception writeHolding(std::uint16_t address, const std::vector<std::uint16_t>& values);
    Exception readInput(std::uint16_t address, std::uint16_t count, std::vector<std::uint16_t>& out);
    // Coils mirror the writable 16-bit parameters: on writes 1, off writes 0 to the register of that address.
    Exception writeCoil(std::uint16_t address, bool on);
    Exception readCoils(std::uint16_t address, std::uint16_t count, std::vector<bool>& out);
    // File record read (reference type 6): recordLength registers from recordNumber, in wire byte order.
    Exception readFileRecord(int fileNumber, int recordNumber, int recordLength, std::string& bytes);

    const DeviceIdentity& identity() const { return m_identity; }
    const std::string& catalogueFileBytes() const { return m_catalogueFile; }
    EventLog& eventLog() { return m_eventLog; }
    const Plant& plant() const { return m_plant; }

    // Runs the trigger up to the present; called by reads and by the simulator's timer.
    void advance();
    // The state the capture has actually reached (0..3), whatever has been reported.
    int captureState() const { return m_capture.state; }

    // The value a parameter shows at time t (physical units; index for enumerations), and the value a trace
    // records for it (instantaneous for quantities with a waveform).
    double liveValue(int id, double t) const;
    double traceValue(int id, double t) const;
    const SimParameter* findParameter(int id) const;
    // Trips the filter with a state detail (1..11 of parameter 21): state "Fault", filter stopped, an Error
    // event logged. Writing "acknowledge" to parameter 600 clears it. False for a detail out of range.
    bool trip(int detail, const std::string& description);
    int faultDetail() const { return m_faultDetail; }
    // Device clock adjustment (seconds) made by writes of the clock parameter.
    double clockOffset() const { return m_clockOffset; }
    // Sets a stored value directly (for example the Modbus address setting to the served slave id).
    void setStoredValue(int id, std::uint32_t raw);

private:
    struct Slot {
        int parameter = -1; // index into m_catalogue.parameters
        int word = 0;
    };
    struct Capture {
        int state = 0;         // actual state
        int reportedState = 0; // last state read from the control register
        double armTime = 0;
        double period = 1.0 / kBaseSampleRate;
        long nextSample = 0; // next sample index to test for the trigger
        long fireSample = -1;
        double lastValue = 0;
        bool haveLast = false;
        std::array<std::uint16_t, 31> latched{}; // the settings block as it was at arming
        std::array<std::vector<std::uint32_t>, kMaxChannels> traces;
        std::array<int, kMaxChannels> traceTypes{};
    };

    struct Change {
        double time;
        std::uint32_t raw;
        std::uint32_t previous;
    };

    std::vector<std::uint16_t> registerImage(const SimParameter& p) const;
    std::uint32_t rawValue(const SimParameter& p, double t) const;
    std::uint32_t storedValue(int id) const;
    std::uint32_t storedAt(int id, double t) const; // as sampled by the capture at time t
    bool isLive(int id) const;
    std::uint32_t encode(int dataType, double value) const;
    bool readTraceRegister(int ref, std::uint16_t& value) const;
    Exception checkParameterValue(const SimParameter& p, std::uint32_t raw) const;
    void storeParameter(const SimParameter& p, std::uint32_t raw);
    void runCommand(int id, double t);
    void setDefaults();
    void applyOperatingPoint();

    bool isCaptureSettingsAddress(int ref) const {
        return ref >= kTriggerChannelRef && ref <= kTriggerStateRef;
    }
    Exception writeCaptureRegister(int ref, std::uint16_t value);
    Exception validateCaptureWrite(int ref, std::uint16_t value) const;
    std::uint16_t readCaptureRegister(int ref);
    std::uint16_t captureReg(int ref) const;
    std::uint16_t latched(int ref) const;
    bool sampleable(int id) const;
    Exception arm();
    double triggerLevel(int dataType) const;
    double channelSample(int id, double t) const;
    void completeCapture();

    SimCatalogue m_catalogue;
    DeviceIdentity m_identity;
    Plant m_plant;
    EventLog m_eventLog;
    std::string m_catalogueFile;
    std::function<double()> m_clock;
    std::chrono::steady_clock::time_point m_start;

    std::vector<Slot> m_slots;                   // by wire address
    std::unordered_map<int, std::size_t> m_byId; // parameter index by identifier
    std::map<int, std::uint32_t> m_values;       // stored raw values of settings and constants
    std::map<int, std::string> m_texts;          // stored texts of data type 9
    std::map<int, std::vector<Change>>
        m_history; // recent writes, so traces of settings see when they changed
    double m_clockOffset = 0;
    int m_faultDetail = 0; // device clock adjustment from writes of the clock
    std::array<std::uint16_t, 31> m_captureRegs{};
    Capture m_capture;
    std::uint32_t m_seed;
};

} // namespace quirel::sim
