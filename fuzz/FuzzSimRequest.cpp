// The simulator's request processing: any PDU a client may send (every function code, every length), as the
// TCP and RTU front ends hand them over, against the simulated device built from the demo catalogue, with
// fault commands in between and the device's clock moving on. Input: records of one byte (0..239: the
// clock step before a request, whose PDU follows as a length byte and bytes; 240..255: a fault command line
// follows the same way).
#include "FuzzSupport.h"

#include "DeviceModel.h"
#include "Faults.h"
#include "RequestProcessor.h"
#include "RtuFrontEnd.h"
#include "SimCatalogue.h"

#include <QByteArray>

using namespace quirel::sim;

namespace {

double gNow = 0; // the simulated device's clock, seconds

// Built once: the catalogue is read and the registers laid out only here; each run works on a copy.
const DeviceModel& Pristine() {
    static const DeviceModel* model = [] {
        SimCatalogue catalogue;
        std::string error;
        if (!loadSimCatalogue(QUIREL_RESOURCES_DIR "/Parameters.ini", catalogue, error))
            FuzzFail("the demo catalogue cannot be read");
        DeviceIdentity identity{"Tolvane International Ltd", "AHF-100", catalogue.revision};
        auto* m = new DeviceModel(std::move(catalogue), identity, 1);
        m->setStoredValue(230, 1);
        return m;
    }();
    return *model;
}

void CheckReply(std::string_view pdu, const std::string& reply) {
    if (pdu.empty())
        return;
    const auto fc = static_cast<std::uint8_t>(pdu[0]);
    // Every request that names a function is answered by one PDU of that function or its exception.
    if (reply.empty() || reply.size() > 253)
        FuzzFail("a request is answered by no PDU or by one too long");
    const auto answer = static_cast<std::uint8_t>(reply[0]);
    if (answer != fc && answer != (fc | 0x80))
        FuzzFail("a request is answered for another function");
    if ((answer & 0x80) != 0 && answer != fc && reply.size() != 2)
        FuzzFail("an exception reply is not two bytes");
    if ((answer == 3 || answer == 4) &&
        static_cast<std::size_t>(2 + static_cast<std::uint8_t>(reply[1])) != reply.size())
        FuzzFail("a register reply's byte count is not its length");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    // Assigned rather than copied anew: its register table is reused, not allocated for every run.
    static DeviceModel model = Pristine();
    model = Pristine();
    gNow = 0;
    model.setClock([] { return gNow; });
    Faults faults;
    RequestProcessor processor(model, faults);
    while (!in.empty()) {
        const std::uint8_t record = in.u8();
        const std::string_view piece = in.piece();
        if (record >= 240) {
            std::string reply;
            faults.apply(std::string(piece), reply);
            continue;
        }
        gNow += record * 0.004;
        const std::string pdu(piece);
        CheckReply(pdu, processor.process(pdu));
        QByteArray frame(1, '\x01');
        frame.append(pdu.data(), static_cast<qsizetype>(pdu.size()));
        (void)RtuFrontEnd::expectedRequestLength(frame);
    }
    return 0;
}
