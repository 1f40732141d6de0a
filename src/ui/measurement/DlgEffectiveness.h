#pragma once

#include "report/ServiceReport.h"

#include <QDialog>

class QCPBars;
class QComboBox;
class QCustomPlot;
class QLabel;
class QPrinter;
class QTableWidget;

// "Filter effectiveness": per phase the load current (without the filter; derived as the mains current
// less the filter current where it is not captured) beside the mains current (with the filter): THD and
// RMS before and after, how much of the harmonic current the filter keeps from the mains, both spectra as
// bars per harmonic order with each order's reduction, and the same as a table. The figures are the
// report's (report/ReportAnalysis.h), so the window and the report show one result.
class CDlgEffectiveness : public QDialog {
    Q_OBJECT
public:
    explicit CDlgEffectiveness(quirel::report::ReportMeasurement measurement, QWidget* parent = nullptr);

    // Shows the phase at `index` of the measurement's comparisons.
    void ShowPhase(int index);

    QComboBox* Phase() const { return m_phase; }
    QCustomPlot* Chart() const { return m_chart; }
    QTableWidget* Table() const { return m_table; }
    QLabel* Before() const { return m_before; }
    QLabel* After() const { return m_after; }
    QLabel* Removed() const { return m_removed; }
    // The view on the printer's page, as shown.
    void PrintTo(QPrinter& printer);

private:
    QString ChannelName(uint32_t id) const;

    quirel::report::ReportMeasurement m_measurement;
    QComboBox* m_phase = nullptr;
    QLabel* m_sources = nullptr;
    QLabel* m_before = nullptr;
    QLabel* m_after = nullptr;
    QLabel* m_removed = nullptr;
    QLabel* m_beforeRms = nullptr;
    QLabel* m_afterRms = nullptr;
    QCustomPlot* m_chart = nullptr;
    QCPBars* m_barsBefore = nullptr;
    QCPBars* m_barsAfter = nullptr;
    QTableWidget* m_table = nullptr;
    QWidget* m_page = nullptr; // what Print and Save take
};
