#include "ui/measurement/DiagramControl.h"

#include "ui/common/UiText.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>

using quirel::ui::Tx;

CDiagramControl::CDiagramControl(QWidget* parent) : QDockWidget(parent) {
    setObjectName("diagramControl");
    setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetFloatable);
    setAllowedAreas(Qt::NoDockWidgetArea);
    setFloating(true);

    auto* body = new QWidget(this);
    auto* grid = new QGridLayout(body);
    m_gain = new QSpinBox(body);
    m_gain->setObjectName("gain");
    m_gain->setRange(0, 32767);
    m_gain->setAccelerated(true);
    m_offset = new QSpinBox(body);
    m_offset->setObjectName("offset");
    m_offset->setRange(-32768, 32767);
    m_offset->setAccelerated(true);
    m_left = new QRadioButton(Tx("Left"), body);
    m_left->setObjectName("axisLeft");
    m_right = new QRadioButton(Tx("Right"), body);
    m_right->setObjectName("axisRight");
    auto* axes = new QButtonGroup(body);
    axes->addButton(m_left, 0);
    axes->addButton(m_right, 1);
    m_fft50 = new QPushButton("FFT (50 Hz)", body);
    m_fft50->setObjectName("fft50");
    m_fft60 = new QPushButton("FFT (60 Hz)", body);
    m_fft60->setObjectName("fft60");
    auto* note = new QLabel(Tx("Note: For FFT analysis please use sample rate 4, 5, 8, 10, 12 or 15."), body);
    note->setWordWrap(true);
    body->setMinimumWidth(300);

    grid->addWidget(new QLabel(Tx("Gain:"), body), 0, 0);
    grid->addWidget(m_gain, 0, 1);
    grid->addWidget(new QLabel("%", body), 0, 2);
    grid->addWidget(new QLabel(Tx("Offset:"), body), 1, 0);
    grid->addWidget(m_offset, 1, 1);
    grid->addWidget(new QLabel(Tx("Axis:"), body), 2, 0);
    auto* axisRow = new QHBoxLayout;
    axisRow->addWidget(m_left);
    axisRow->addWidget(m_right);
    grid->addLayout(axisRow, 2, 1, 1, 2);
    auto* fftRow = new QHBoxLayout;
    fftRow->addWidget(m_fft50);
    fftRow->addWidget(m_fft60);
    grid->addLayout(fftRow, 3, 0, 1, 3);
    grid->addWidget(note, 4, 0, 1, 3);
    setWidget(body);

    connect(m_gain, qOverload<int>(&QSpinBox::valueChanged), this, &CDiagramControl::gainChanged);
    connect(m_offset, qOverload<int>(&QSpinBox::valueChanged), this, &CDiagramControl::offsetChanged);
    connect(axes, &QButtonGroup::idClicked, this, &CDiagramControl::axisChosen);
    connect(m_fft50, &QPushButton::clicked, this, [this] { emit fftRequested(50); });
    connect(m_fft60, &QPushButton::clicked, this, [this] { emit fftRequested(60); });
}

void CDiagramControl::ShowAt(const QPoint& globalPos, const QString& caption) {
    setWindowTitle(caption);
    setFloating(true);
    adjustSize();
    move(globalPos);
    show();
    raise();
}

void CDiagramControl::SetValues(int gainPercent, int offset, bool rightAxis) {
    const QSignalBlocker g(m_gain), o(m_offset);
    m_gain->setValue(gainPercent);
    m_offset->setValue(offset);
    (rightAxis ? m_right : m_left)->setChecked(true);
}

void CDiagramControl::SetFftEnabled(bool enabled) {
    m_fft50->setEnabled(enabled);
    m_fft60->setEnabled(enabled);
}
