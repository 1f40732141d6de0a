#pragma once

#include "analysis/LimitCheck.h"
#include "measurement/Spectrum.h"

#include <QColor>
#include <QDialog>

#include <cstdint>
#include <functional>
#include <vector>

class CLimitChooser;
class QCPBars;
class QCPGraph;
class QCPItemStraightLine;
class QCPItemText;
class QCustomPlot;
class QCheckBox;
class QLabel;
class QPrinter;
class QTableWidget;

// "FFT": the amplitude spectrum of one channel of the single measurement, with a cursor on the bins and
// its readout, the harmonics of the mains frequency with their share of the fundamental and the THD (when
// the samples span whole mains periods), and Print and "Save as ..." (BMP, JPEG, spreadsheet, CSV). A limit
// set chosen below the table adds each order's limit and verdict, the overall verdict with its indicative
// note, and the limit as a line of steps over the spectrum. Reused: filled anew for each FFT button press.
class CDlgFft : public QDialog {
    Q_OBJECT
public:
    struct Input {
        int mainsHz = 50;
        uint32_t divider = 1;
        QColor colour;
        uint32_t parameterId = 0;
        QString name, unit; // the channel's name and unit, " -- " where the catalogue does not know it
        int precision = 0;
        std::vector<double> x; // the times of the channel's points
        std::vector<double> y; // the plotted values, in time order
    };
    using FileChooser = std::function<QString(QWidget*, bool, const QStringList&, const QString&)>;

    explicit CDlgFft(QWidget* parent = nullptr);

    // Takes the channel and its spectrum over (a spectrum that was computed, see Spectrum::Compute).
    void Fill(const Input& input, const Spectrum::Result& spectrum);

    const Spectrum::Result& Result() const { return m_spectrum; }
    const Spectrum::Harmonics& Harmonics() const { return m_harmonics; }
    QCustomPlot* Chart() const { return m_chart; }
    QTableWidget* HarmonicTable() const { return m_table; }
    QString ThdText() const;
    CLimitChooser* Limits() const { return m_limits; }
    // The harmonics held against the chosen limits (overall verdict none without a choice).
    const quirel::analysis::LimitCheck& Check() const { return m_check; }
    QLabel* VerdictLabel() const { return m_verdict; }
    // The limit line over the spectrum: empty without limits.
    QCPGraph* LimitLine() const { return m_limitLine; }
    // The spectrum point under the cursor and its readout: amplitude (width 6, the parameter's
    // precision), unit, frequency and " Hz".
    int CursorBin() const { return m_cursor; }
    void SetCursorBin(int bin);
    QString ReadoutText() const;
    // Amplitudes on a logarithmic axis, where harmonics of a few per mille still show beside the
    // fundamental.
    void SetLogarithmic(bool on);

    // By extension: "bmp", "jpg"/"jpeg", "xlsx"/"xls", "csv"; anything else writes nothing (false).
    bool ExportTo(const QString& path);
    void PrintTo(QPrinter& printer);
    void SetFileChooser(FileChooser chooser) { m_chooseFile = std::move(chooser); }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    void OnSaveAs();
    void OnPrint();
    void FillHarmonics();
    void ShowLimits();
    void MoveCursorTo(double frequency);

    Input m_input;
    Spectrum::Result m_spectrum;
    Spectrum::Harmonics m_harmonics;
    int m_precision = 0;
    QString m_unit;
    int m_cursor = 0;
    QCustomPlot* m_chart = nullptr;
    QCPBars* m_bars = nullptr;
    QCPItemStraightLine* m_cursorLine = nullptr;
    QCPItemText* m_readout = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_thd = nullptr;
    QLabel* m_note = nullptr;
    QCheckBox* m_logarithmic = nullptr;
    CLimitChooser* m_limits = nullptr;
    QLabel* m_verdict = nullptr;
    QLabel* m_indicative = nullptr;
    QCPGraph* m_limitLine = nullptr;
    quirel::analysis::LimitCheck m_check;
    double m_top = 1.0; // the highest amplitude
    FileChooser m_chooseFile;
    bool m_dragging = false;
};
