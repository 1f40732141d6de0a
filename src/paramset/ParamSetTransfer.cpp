#include "paramset/ParamSetTransfer.h"

#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "base/UiPort.h"
#include "comm/ControllerModbus.h"
#include "comm/JobUpdateVisibleParameter.h"
#include "comm/JobWriteParameter.h"
#include "parameters/ParameterManager.h"
#include "parameters/document/DocParameters.h"
#include "paramset/ParamSetWriter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

namespace quirel::paramset {
namespace {

constexpr unsigned kIdsPleaseWait = 1100;
constexpr unsigned kIdsReading = 1101;
constexpr unsigned kIdsSending = 1102;
constexpr unsigned kIdsLostWhileReading = 1103;
constexpr unsigned kIdsLostWhileSending = 1104;
constexpr unsigned kIdsFileNotWritten = 1105;
constexpr unsigned kIdsReadingDeviceValues = 1112;
constexpr unsigned kIdsLostBeforeSending = 1113;

// The waits of the transfers, in milliseconds.
constexpr int kQueueBeforeReadMs = 500; // until the transfer queue is empty before a read
constexpr int kPerValueMs = 20;         // before each value
constexpr int kSectionReadMs = 100;     // checks while a section's reads run
constexpr int kSendCheckMs = 200;       // checks and offers while sending
constexpr int kAfterReadMs = 500;       // progress 100 shown before the window goes
constexpr int kAfterSendMs = 100;

void Sleep(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

// The jobs of one step of a transfer: how many have run, how many failed, and whether the procedure that
// offered them still waits for them.
class TransferBatch {
public:
    void Finish(bool ok) {
        std::lock_guard lock(m_mutex);
        ++m_finished;
        m_failed += ok ? 0 : 1;
        m_cv.notify_all();
    }
    bool WaitFinished(int count, int timeoutMs) {
        std::unique_lock lock(m_mutex);
        return m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_finished >= count; });
    }
    int Failed() const {
        std::lock_guard lock(m_mutex);
        return m_failed;
    }
    void Disown() { m_disowned = true; }
    bool Disowned() const { return m_disowned; }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_cv;
    int m_finished = 0;
    int m_failed = 0;
    std::atomic<bool> m_disowned{false};
};

namespace {

// Runs one step of a transfer on the worker and tells the batch. The transfer queue outlives a
// connection (its jobs run after the next connect), so a step whose procedure has ended does nothing.
class CJobTransferStep : public CJobAbstract {
public:
    using Step = std::function<bool(CControllerModbus&)>;
    CJobTransferStep(std::shared_ptr<TransferBatch> batch, Step step)
        : m_batch(std::move(batch)), m_step(std::move(step)) {}
    void Execute(CControllerModbus& controller) override {
        if (!m_batch->Disowned())
            m_batch->Finish(m_step(controller));
    }

private:
    std::shared_ptr<TransferBatch> m_batch;
    Step m_step;
};

} // namespace

std::string TraceRunningReadText(int language) {
    return language == kLanguageGerman
               ? "Bitte keine Parameter von Ger\xC3\xA4t lesen wenn Trace l\xC3\xA4uft "
               : "Do not read parameter set when trace is running ";
}

std::string TraceRunningWriteText(int language) {
    return language == kLanguageGerman
               ? "Bitte keine Parameter in Ger\xC3\xA4t senden wenn Trace l\xC3\xA4uft "
               : "Do not write parameter set when trace is running ";
}

CParamSetTransfer::CParamSetTransfer(CDocParameters& doc, IUiPort& ui)
    : m_doc(doc), m_ui(ui), m_caption(loadString(kIdsPleaseWait)) {}

void CParamSetTransfer::ShowProgress(int pos, const std::string& text) {
    m_ui.Progress(m_caption, text, std::clamp(pos, 0, 100), 100);
}

TransferResult CParamSetTransfer::End(TransferResult result, unsigned lostMessage) {
    m_ui.EndProgress();
    if (result == TransferResult::ConnectionLost)
        m_ui.MessageBox(loadString(lostMessage), std::string(), MbIcon::Error);
    return result;
}

TransferResult CParamSetTransfer::WaitForEmptyQueue(int periodMs) {
    CControllerModbus& controller = m_doc.GetController();
    while (!controller.IsTransferQueueEmpty()) {
        if (!controller.IsConnected())
            return TransferResult::ConnectionLost;
        if (m_ui.ProgressCancelled())
            return TransferResult::Cancelled;
        Sleep(periodMs);
    }
    return controller.IsConnected() ? TransferResult::Done : TransferResult::ConnectionLost;
}

TransferResult CParamSetTransfer::WaitForBatch(TransferBatch& batch, int count, int periodMs,
                                               bool cancellable) {
    CControllerModbus& controller = m_doc.GetController();
    while (!batch.WaitFinished(count, periodMs)) {
        // A lost connection leaves the remaining jobs queued: they would run only after a reconnect.
        if (!controller.IsConnected() && !batch.WaitFinished(count, 0)) {
            batch.Disown();
            return TransferResult::ConnectionLost;
        }
        if (cancellable && m_ui.ProgressCancelled()) {
            batch.Disown();
            return TransferResult::Cancelled;
        }
    }
    return TransferResult::Done;
}

TransferResult CParamSetTransfer::OfferStep(const std::shared_ptr<TransferBatch>& batch,
                                            std::function<bool(CControllerModbus&)> step, int retryMs) {
    CControllerModbus& controller = m_doc.GetController();
    // A full queue refuses the job (and deletes it): offer a fresh one until there is room.
    while (!controller.AddTransferJob(std::make_unique<CJobTransferStep>(batch, step))) {
        if (!controller.IsConnected())
            return TransferResult::ConnectionLost;
        if (m_ui.ProgressCancelled())
            return TransferResult::Cancelled;
        Sleep(retryMs);
    }
    return TransferResult::Done;
}

TransferResult CParamSetTransfer::OfferRead(const std::shared_ptr<TransferBatch>& batch, int32_t id,
                                            int retryMs) {
    CDocParameters& doc = m_doc;
    const CParameterValue value = doc.HasValue(id) ? doc.GetValue(id) : CParameterValue();
    auto step = [&doc, id, value](CControllerModbus& c) {
        // What counts is what this read delivers, not a value an earlier read left in the document.
        doc.ForgetValue(id);
        CJobUpdateVisibleParameter(&doc, id, value).Execute(c);
        return doc.IsKnown(id);
    };
    return OfferStep(batch, std::move(step), retryMs);
}

TransferResult CParamSetTransfer::ReadAndSave(const std::string& path, int* unread) {
    const CParameterManager& catalogue = m_doc.GetCatalogue();
    ShowProgress(2, loadString(kIdsReading));
    if (TransferResult r = WaitForEmptyQueue(kQueueBeforeReadMs); r != TransferResult::Done)
        return End(r, kIdsLostWhileReading);

    CParamSetWriter writer;
    int progress = 2;
    int missing = 0;
    for (const char* section : kSections) {
        const std::vector<CParameterDescription> parameters = SectionParameters(catalogue, section);
        const bool commissioning = std::string_view(section) == kCommissioning;
        const std::string text = loadString(kIdsReading) + ": " + section;
        auto batch = std::make_shared<TransferBatch>();
        int offered = 0;
        for (size_t i = 0; i < parameters.size(); ++i) {
            Sleep(kPerValueMs);
            if (i % 4 == 0) {
                progress = !commissioning ? progress + 3 : progress < 93 ? progress + 3 : 95;
                ShowProgress(progress, text);
            }
            // A write-only parameter has no value to read: asking would only bring the device's refusal.
            if (!IsReadable(parameters[i].GetAccessType()))
                continue;
            if (TransferResult r = OfferRead(batch, parameters[i].GetId(), kPerValueMs);
                r != TransferResult::Done) {
                batch->Disown();
                return End(r, kIdsLostWhileReading);
            }
            ++offered;
        }
        if (TransferResult r = WaitForBatch(*batch, offered, kSectionReadMs); r != TransferResult::Done)
            return End(r, kIdsLostWhileReading);
        writer.BeginSection(section);
        for (const CParameterDescription& d : parameters) {
            std::optional<PARAMVALUE> value;
            if (m_doc.IsKnown(d.GetId()) && m_doc.HasValue(d.GetId()))
                value = m_doc.GetValue(d.GetId()).GetValue();
            else
                ++missing;
            writer.AddEntry(d, value);
        }
    }
    ShowProgress(100, loadString(kIdsReading));
    Sleep(kAfterReadMs);
    m_ui.EndProgress();
    if (unread)
        *unread = missing;
    if (!writeFileAtomically(path, writer.Bytes())) {
        m_ui.MessageBox(loadString(kIdsFileNotWritten) + path, std::string(), MbIcon::Error);
        return TransferResult::FileNotWritten;
    }
    return TransferResult::Done;
}

TransferResult CParamSetTransfer::ReadCurrentValues(const SendList& list) {
    const CParameterManager& catalogue = m_doc.GetCatalogue();
    const std::string text = loadString(kIdsReadingDeviceValues);
    ShowProgress(0, text);
    auto batch = std::make_shared<TransferBatch>();
    int offered = 0;
    for (size_t i = 0; i < list.items.size(); ++i) {
        const CParameterDescription* d = catalogue.FindDescription(list.items[i].number);
        if (!d || !IsReadable(d->GetAccessType()))
            continue;
        if (TransferResult r = OfferRead(batch, d->GetId(), kPerValueMs); r != TransferResult::Done) {
            batch->Disown();
            return End(r, kIdsLostBeforeSending);
        }
        ++offered;
        ShowProgress(static_cast<int>(100 * (i + 1) / list.items.size()), text);
    }
    const TransferResult r = WaitForBatch(*batch, offered, kSectionReadMs);
    return End(r, kIdsLostBeforeSending);
}

TransferResult CParamSetTransfer::Send(SendList& list) {
    CDocParameters& doc = m_doc;
    int progress = 3;
    ShowProgress(progress, loadString(kIdsSending));
    TransferResult result = WaitForEmptyQueue(kSendCheckMs);
    for (SendItem& item : list.items) {
        if (result != TransferResult::Done)
            break;
        Sleep(kPerValueMs);
        ShowProgress(++progress,
                     loadString(kIdsSending) + ": " + std::to_string(item.number) + " " + item.name);
        if (m_ui.ProgressCancelled()) {
            result = TransferResult::Cancelled;
            break;
        }
        if (item.marked)
            continue;
        auto batch = std::make_shared<TransferBatch>();
        const CParameterValue value = item.value;
        auto step = [&doc, value](CControllerModbus& c) {
            CJobWriteParameter job(value);
            job.Execute(c);
            if (job.Written()) {
                // The displays show what the device now holds.
                doc.SetValue(static_cast<int32_t>(value.GetId()), value.GetValue());
                c.PostDocumentUpdate(&doc, value.GetId());
            }
            return job.Written();
        };
        result = OfferStep(batch, std::move(step), kSendCheckMs);
        if (result != TransferResult::Done)
            break;
        // The value under way is waited for even when the user cancels, so that it is known to be written
        // or not; only a lost connection leaves it queued, and disowned.
        result = WaitForBatch(*batch, 1, kSendCheckMs, false);
        if (result != TransferResult::Done)
            break;
        item.state = batch->Failed() == 0 ? SendItem::State::Sent : SendItem::State::Failed;
    }
    for (SendItem& item : list.items)
        if (item.state == SendItem::State::Pending)
            item.state = SendItem::State::NotReached;
    if (result == TransferResult::Done) {
        ShowProgress(100, loadString(kIdsSending));
        Sleep(kAfterSendMs);
    }
    return End(result, kIdsLostWhileSending);
}

} // namespace quirel::paramset
