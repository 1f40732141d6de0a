#include "eventlog/EventLogReader.h"

#include "base/StringTable.h"
#include "base/TextEncoding.h"
#include "base/UiPort.h"
#include "comm/ControllerModbus.h"
#include "comm/ModbusException.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace {

constexpr unsigned kIdsNoConnection = 135; // "No connection to device!"
constexpr unsigned kIdsReading = 210;      // "Eventlog is being read ..."
constexpr int kProgressMax = 100;

void SleepMs(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

std::string CEventLogReader::ProgressCaption() {
    return quirel::uiLanguage() == quirel::kLanguageEnglish ? "Please Wait ..." : "Bitte warten ...";
}

bool CEventLogReader::CheckConnected() {
    if (m_controller.IsConnected())
        return true;
    const std::string& text = quirel::loadString(kIdsNoConnection);
    m_ui.MessageBox(text, text, MbIcon::Error);
    return false;
}

void CEventLogReader::StopWorker() {
    m_controller.ClearQueues();
    m_controller.StopThread();
    m_controller.ClearQueues();
    SleepMs(kStopSettleMs);
    m_controller.StopThread();
    m_controller.ClearQueues();
}

void CEventLogReader::ShowProgress(int pos) {
    m_ui.Progress(ProgressCaption(), quirel::loadString(kIdsReading), std::min(pos, kProgressMax),
                  kProgressMax);
}

bool CEventLogReader::ReadFile(int fileNumber, bool progressPerBlock, std::string& text) {
    std::string bytes;
    bytes.reserve(kBlocksPerFile * kBlockBytes);
    uint8_t block[kBlockBytes];
    for (int i = 0; i < kBlocksPerFile; ++i) {
        if (m_ui.ProgressCancelled()) {
            m_cancelled = true;
            return false;
        }
        if (progressPerBlock)
            ShowProgress(i + 1);
        while (int rc = m_controller.ReadFileRecordNoCheck(fileNumber, i * kBlockRegisters, kBlockRegisters,
                                                           block)) {
            m_lastCode = rc;
            if (--m_budget <= 0)
                return false;
        }
        const size_t before = bytes.size();
        bytes.append(reinterpret_cast<const char*>(block), kBlockBytes);
        // The pair may straddle two blocks: look from the last byte of the previous one.
        const size_t end = bytes.find(std::string_view("\0\0", 2), before == 0 ? 0 : before - 1);
        if (end != std::string::npos) {
            bytes.resize(end);
            break;
        }
    }
    // A single zero byte does not end the text; kept as a zero it would cut every later use of it short.
    std::replace(bytes.begin(), bytes.end(), '\0', ' ');
    text = std::move(bytes);
    return true;
}

CEventLogReader::Result CEventLogReader::ReadAndRestart(EventLogScope scope) {
    m_budget = kRetryBudget;
    m_lastCode = 0;
    m_cancelled = false;
    std::string whole;
    bool ok = true;
    if (scope == EventLogScope::Latest) {
        ok = ReadFile(kLatestFile, true, whole);
    } else {
        SleepMs(kAllRecordsWaitMs);
        uint8_t discarded[kBlockBytes];
        try {
            m_controller.ReadFileRecord(kFirstAllFile, 0, kBlockRegisters, discarded);
        } catch (const CModbusException& e) {
            m_lastCode = e.GetCode();
            ok = false; // reported as any failed read below, with the worker started again
        }
        int progress = 4;
        if (ok)
            ShowProgress(progress);
        for (int file = kFirstAllFile; ok && file <= kLastAllFile; ++file) {
            std::string text;
            ok = ReadFile(file, false, text);
            whole.append(text, 0, kMaxText - std::min(kMaxText, whole.size()));
            if (progress > 92)
                progress = 91;
            progress += 9;
            if (ok)
                ShowProgress(progress);
        }
    }
    m_ui.EndProgress();
    Result result;
    result.lastCode = m_lastCode;
    if (m_cancelled) {
        m_controller.StartThread();
        result.status = Status::Cancelled;
        return result;
    }
    if (!ok) {
        m_ui.MessageBox("Please check connection!", std::string(), MbIcon::Error);
        m_controller.StartThread();
        return result;
    }
    m_controller.StartThread();
    result.status = Status::Ok;
    result.text = quirel::decodeText(whole);
    return result;
}

CEventLogReader::Result CEventLogReader::Run(EventLogScope scope) {
    if (!CheckConnected())
        return {Status::NotConnected, {}};
    StopWorker();
    return ReadAndRestart(scope);
}
