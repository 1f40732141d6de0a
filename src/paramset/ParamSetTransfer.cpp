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
#include <utility>

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
constexpr unsigned kIdsValuesOf = 1115; // "%1 of %2 values"
constexpr unsigned kIdsSaved = 1116;

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

// The progress position of `done` of `total` values, from `from` to `to`.
int Scaled(size_t done, size_t total, int from, int to) {
    return total == 0 ? to : from + static_cast<int>(static_cast<size_t>(to - from) * done / total);
}

std::string ValuesOf(size_t done, size_t total) {
    return fillString(kIdsValuesOf, {std::to_string(done), std::to_string(total)});
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
    int Finished() const {
        std::lock_guard lock(m_mutex);
        return m_finished;
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
    if (result == TransferResult::ConnectionLost && lostMessage != 0)
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
                                               bool cancellable, const std::function<void()>& tick) {
    CControllerModbus& controller = m_doc.GetController();
    while (!batch.WaitFinished(count, periodMs)) {
        if (tick)
            tick();
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
    // The target first: a file that cannot be written is said before the device is asked for anything.
    AtomicFileWriter file;
    if (!file.Open(path)) {
        m_ui.MessageBox(loadString(kIdsFileNotWritten) + path, std::string(), MbIcon::Error);
        return TransferResult::FileNotWritten;
    }
    std::vector<std::vector<CParameterDescription>> sections;
    if (TransferResult r = ReadSections(sections, kIdsLostWhileReading); r != TransferResult::Done)
        return r;
    CParamSetWriter writer;
    int missing = 0;
    for (size_t s = 0; s < kSections.size(); ++s) {
        writer.BeginSection(kSections[s]);
        for (const CParameterDescription& d : sections[s]) {
            std::optional<PARAMVALUE> value;
            if (m_doc.IsKnown(d.GetId()) && m_doc.HasValue(d.GetId()))
                value = m_doc.GetValue(d.GetId()).GetValue();
            else
                ++missing;
            writer.AddEntry(d, value);
        }
    }
    if (unread)
        *unread = missing;
    if (!file.Write(writer.Bytes()) || !file.Commit()) {
        m_ui.MessageBox(loadString(kIdsFileNotWritten) + path, std::string(), MbIcon::Error);
        return TransferResult::FileNotWritten;
    }
    return TransferResult::Done;
}

TransferResult CParamSetTransfer::ReadSections(std::vector<std::vector<CParameterDescription>>& sections) {
    return ReadSections(sections, 0);
}

TransferResult CParamSetTransfer::ReadSections(std::vector<std::vector<CParameterDescription>>& sections,
                                               unsigned lostMessage) {
    const CParameterManager& catalogue = m_doc.GetCatalogue();
    sections.clear();
    size_t total = 0;
    for (const char* section : kSections) {
        sections.push_back(SectionParameters(catalogue, section));
        // A write-only parameter has no value to read: asking would only bring the device's refusal.
        total +=
            static_cast<size_t>(std::count_if(sections.back().begin(), sections.back().end(),
                                              [](const auto& d) { return IsReadable(d.GetAccessType()); }));
    }
    size_t before = 0; // values read in the sections before
    const auto show = [&](size_t finished) {
        ShowProgress(Scaled(before + finished, total, 2, 95),
                     loadString(kIdsReading) + ": " + ValuesOf(before + finished, total));
    };
    show(0);
    if (TransferResult r = WaitForEmptyQueue(kQueueBeforeReadMs); r != TransferResult::Done)
        return End(r, lostMessage);

    for (const std::vector<CParameterDescription>& section : sections) {
        auto batch = std::make_shared<TransferBatch>();
        int offered = 0;
        for (const CParameterDescription& d : section) {
            Sleep(kPerValueMs);
            if (!IsReadable(d.GetAccessType()))
                continue;
            if (TransferResult r = OfferRead(batch, d.GetId(), kPerValueMs); r != TransferResult::Done) {
                batch->Disown();
                return End(r, lostMessage);
            }
            ++offered;
            show(static_cast<size_t>(batch->Finished()));
        }
        const auto tick = [&] { show(static_cast<size_t>(batch->Finished())); };
        if (TransferResult r = WaitForBatch(*batch, offered, kSectionReadMs, true, tick);
            r != TransferResult::Done)
            return End(r, lostMessage);
        before += static_cast<size_t>(offered);
        show(0);
    }
    ShowProgress(100, loadString(kIdsReading) + ": " + ValuesOf(total, total));
    Sleep(kAfterReadMs);
    m_ui.EndProgress();
    return TransferResult::Done;
}

std::string SavedText(const std::string& path) {
    return loadString(kIdsSaved) + path;
}

TransferResult CParamSetTransfer::ReadCurrentValues(SendList& list) {
    std::vector<int32_t> ids;
    for (const SendItem& item : list.items)
        ids.push_back(item.number);
    const TransferResult r = ReadValues(ids, loadString(kIdsReadingDeviceValues), kIdsLostBeforeSending);
    for (SendItem& item : list.items)
        if (r == TransferResult::Done && m_doc.IsKnown(item.number) && m_doc.HasValue(item.number))
            item.device = m_doc.GetValue(item.number).GetValue();
    return r;
}

TransferResult CParamSetTransfer::ReadValues(const std::vector<int32_t>& ids, const std::string& text) {
    return ReadValues(ids, text, 0);
}

TransferResult CParamSetTransfer::ReadValues(const std::vector<int32_t>& ids, const std::string& text,
                                             unsigned lostMessage) {
    const CParameterManager& catalogue = m_doc.GetCatalogue();
    ShowProgress(0, text);
    auto batch = std::make_shared<TransferBatch>();
    int offered = 0;
    for (size_t i = 0; i < ids.size(); ++i) {
        const CParameterDescription* d = catalogue.FindDescription(ids[i]);
        if (!d || !IsReadable(d->GetAccessType()))
            continue;
        if (TransferResult r = OfferRead(batch, d->GetId(), kPerValueMs); r != TransferResult::Done) {
            batch->Disown();
            return End(r, lostMessage);
        }
        ++offered;
        ShowProgress(Scaled(i + 1, ids.size(), 0, 100), text);
    }
    return End(WaitForBatch(*batch, offered, kSectionReadMs), lostMessage);
}

TransferResult CParamSetTransfer::Send(SendList& list) {
    CDocParameters& doc = m_doc;
    const size_t count = list.items.size();
    ShowProgress(3, loadString(kIdsSending));
    TransferResult result = WaitForEmptyQueue(kSendCheckMs);
    for (size_t i = 0; i < count; ++i) {
        if (result != TransferResult::Done)
            break;
        SendItem& item = list.items[i];
        Sleep(kPerValueMs);
        ShowProgress(Scaled(i, count, 3, 100), loadString(kIdsSending) + ": " + std::to_string(item.number) +
                                                   " " + item.name + " (" + ValuesOf(i + 1, count) + ")");
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
