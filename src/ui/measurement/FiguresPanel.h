#pragma once

#include "analysis/MeasurementChannels.h"

#include <QColor>
#include <QWidget>

#include <cstdint>
#include <utility>
#include <vector>

class CChartData;
class CDocMeasurementBase;
class QComboBox;
class QLabel;
class QPushButton;
class QTableWidget;

// The figures beside a measurement's chart (a dock of its frame). A single measurement shows per channel
// RMS, peak, mean, fundamental frequency, THD and the whole periods they are taken over, and for the
// voltage/current pairs the user picks the phase angle, DPF, PF, P, Q and S: the analysis' figures of the
// values as stored, as quirel-cli analyse prints them. A continuous measurement shows per channel the
// minimum, mean and maximum of the visible range. A figure that cannot be had shows "--".
class CFiguresPanel : public QWidget {
    Q_OBJECT
public:
    using Pair = std::pair<uint32_t, uint32_t>; // voltage and current channel

    explicit CFiguresPanel(bool single, QWidget* parent = nullptr);

    // Single: the figures of `m` (captured and derived channels), in the chart's colours. A new
    // measurement (`fresh`) proposes the pairs anew: each mains voltage with the mains current of its phase.
    void ShowFigures(quirel::analysis::MeasurementChannels m, const std::vector<QColor>& colours, bool fresh);
    // Continuous: the visible value indices [first, end) of every channel the chart shows.
    void ShowRange(const CDocMeasurementBase& doc, const CChartData& data, size_t first, size_t end,
                   const std::vector<QColor>& colours);

    void AddPair(uint32_t voltageId, uint32_t currentId);
    const std::vector<Pair>& Pairs() const { return m_pairs; }
    QTableWidget* Table() const { return m_table; }
    QTableWidget* PairTable() const { return m_pairTable; }
    QLabel* Caption() const { return m_caption; }
    // The text of a cell of the channel table (row, column), for a reader that wants the figures.
    QString Cell(int row, int column) const;
    // Continuous: as tall as its rows (at least four), so that the chart keeps the height.
    QSize sizeHint() const override;

private:
    void ShowPairs();
    void FillChoices();

    bool m_single;
    QLabel* m_caption = nullptr;
    QTableWidget* m_table = nullptr;
    QTableWidget* m_pairTable = nullptr;
    QComboBox* m_voltage = nullptr;
    QComboBox* m_current = nullptr;
    QPushButton* m_add = nullptr;
    QPushButton* m_remove = nullptr;
    quirel::analysis::MeasurementChannels m_channels;
    int m_nominalHz = 50;
    std::vector<Pair> m_pairs;
};
