#pragma once

#include "base/CancelSignal.h"
#include "comm/DeviceScan.h"

#include <QDialog>

#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

class QLabel;
class QProgressBar;
class QPushButton;
class QTreeWidget;

// "Search for devices": the device scan with the settings of the connection dialog, on a thread of its own
// while the window keeps painting: the setting being probed and how far the search is, every device in the
// list as it answers, Stop. Choosing a device (OK, or a double click) closes the window with it as Chosen();
// closing the window in any way ends the search.
class DlgDeviceSearch : public QDialog {
    Q_OBJECT
public:
    explicit DlgDeviceSearch(const DeviceScanOptions& options, QWidget* parent = nullptr);
    ~DlgDeviceSearch() override;

    // The device chosen, after the window was accepted.
    const std::optional<ScanAnswer>& Chosen() const { return m_chosen; }
    bool IsRunning() const { return m_running; }
    // Ends the search; what was found stays in the list.
    void Stop();
    void done(int result) override;

private slots:
    void RunPosted();

private:
    class Relay;
    // Runs `call` on the window's thread, after the calls posted before it; any thread.
    void Post(std::function<void()> call);
    void ShowProgress();
    void AddFound(const ScanAnswer& answer);
    void Finished(const DeviceScanSummary& summary);
    void UpdateButtons();

    DeviceScanOptions m_options;
    QLabel* m_status = nullptr;
    QProgressBar* m_progress = nullptr;
    QTreeWidget* m_list = nullptr;
    QPushButton* m_stop = nullptr;
    QPushButton* m_ok = nullptr;
    std::vector<ScanAnswer> m_found;
    std::optional<ScanAnswer> m_chosen;
    bool m_running = true;

    // What the scan's thread hands over: calls to run here, and its progress, shown at most once per turn
    // of the event loop.
    std::mutex m_mutex;
    std::deque<std::function<void()>> m_posted;
    ScanTarget m_next;
    std::size_t m_done = 0, m_total = 0;
    bool m_progressPosted = false;
    int m_refused = 0;
    std::string m_refusal;

    quirel::CancelSignal m_cancel;
    std::thread m_worker;
};
