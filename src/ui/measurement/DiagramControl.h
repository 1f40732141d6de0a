#pragma once

#include <QDockWidget>

class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

// The diagram control: a floating bar that scales and places the channel whose line was clicked last:
// gain in percent (0 to 32767; a step below 0 is refused), offset (-32768 to 32767), left or right value
// axis, and the spectrum of the channel at 50 or 60 Hz mains (single measurements only).
class CDiagramControl : public QDockWidget {
    Q_OBJECT
public:
    explicit CDiagramControl(QWidget* parent = nullptr);

    // Floats the bar at `globalPos` with `caption` (the clicked channel's title).
    void ShowAt(const QPoint& globalPos, const QString& caption);
    // Shows a channel's scaling without reporting it back as a change.
    void SetValues(int gainPercent, int offset, bool rightAxis);
    void SetFftEnabled(bool enabled);

    QSpinBox* Gain() const { return m_gain; }
    QSpinBox* Offset() const { return m_offset; }
    QRadioButton* Left() const { return m_left; }
    QRadioButton* Right() const { return m_right; }
    QPushButton* Fft50() const { return m_fft50; }
    QPushButton* Fft60() const { return m_fft60; }

signals:
    void gainChanged(int percent);
    void offsetChanged(int offset);
    void axisChosen(int axis);
    void fftRequested(int mainsHz);

private:
    QSpinBox* m_gain = nullptr;
    QSpinBox* m_offset = nullptr;
    QRadioButton* m_left = nullptr;
    QRadioButton* m_right = nullptr;
    QPushButton* m_fft50 = nullptr;
    QPushButton* m_fft60 = nullptr;
};
