#pragma once

#include "report/ReportGather.h"

#include <QDialog>

#include <functional>
#include <optional>
#include <string>

class CLimitChooser;
class QCheckBox;
class QLabel;
class QListWidget;
class QPushButton;

// "Service report": what the report a visit ends with holds besides what is read from the connected
// device (identification, overview values, parameter set, event log): a new capture of the mains
// voltages, mains currents and filter currents, measurement files, and the limits their harmonics are
// held against (one set for voltages, one for currents). OK is refused, with the reason shown, while the
// choice is incomplete or there is nothing to report.
class CDlgServiceReport : public QDialog {
    Q_OBJECT
public:
    CDlgServiceReport(bool connected, QWidget* parent = nullptr);

    // The request as chosen (device: whether connected); nothing, with `why`, while it cannot be gathered.
    std::optional<quirel::report::GatherRequest> Request(std::string* why = nullptr) const;
    void AddFile(const QString& path);

    QCheckBox* Capture() const { return m_capture; }
    QListWidget* Files() const { return m_files; }
    CLimitChooser* VoltageLimits() const { return m_voltageLimits; }
    CLimitChooser* CurrentLimits() const { return m_currentLimits; }
    QLabel* Refusal() const { return m_refusal; }

    void accept() override;

private:
    bool m_connected;
    QCheckBox* m_capture = nullptr;
    QListWidget* m_files = nullptr;
    CLimitChooser* m_voltageLimits = nullptr;
    CLimitChooser* m_currentLimits = nullptr;
    QLabel* m_refusal = nullptr;
};

// After a report was saved: where it is and what could not be read, and what to do with it: open it in
// the browser, print it, or save it as PDF (both through Qt's printing of the same page).
class CDlgReportSaved : public QDialog {
    Q_OBJECT
public:
    CDlgReportSaved(const QString& text, std::function<void()> print, std::function<void()> pdf,
                    std::function<void()> open, QWidget* parent = nullptr);
};
