#include "ui/app/DlgServiceReport.h"

#include "analysis/AnalysisTexts.h"
#include "base/StringTable.h"
#include "ui/common/ModalDialogs.h"
#include "ui/common/UiText.h"
#include "ui/measurement/LimitChooser.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

constexpr unsigned kIdsNothingToReport = 1853;

QLabel* Note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    label->setStyleSheet("color: #4a5566;");
    return label;
}

} // namespace

CDlgServiceReport::CDlgServiceReport(bool connected, QWidget* parent)
    : QDialog(parent), m_connected(connected) {
    setObjectName("dlgServiceReport");
    setWindowTitle(Tx("Service report"));

    auto* device = new QGroupBox(Tx("From the device"), this);
    auto* deviceLayout = new QVBoxLayout(device);
    deviceLayout->addWidget(Note(connected
                                     ? Tx("The identification, the overview values, the parameter set and "
                                          "the latest event-log records are read from the connected device.")
                                     : Tx("Not connected: the report holds the measurement files only."),
                                 device));
    m_capture = new QCheckBox(
        Tx("Take a new capture of the mains voltages, mains currents and filter currents"), device);
    m_capture->setObjectName("capture");
    m_capture->setEnabled(connected);
    m_capture->setChecked(connected);
    deviceLayout->addWidget(m_capture);

    auto* files = new QGroupBox(Tx("Measurement files"), this);
    m_files = new QListWidget(files);
    m_files->setObjectName("files");
    auto* add = new QPushButton(Tx("Add ..."), files);
    add->setObjectName("addFile");
    auto* remove = new QPushButton(Tx("Remove"), files);
    remove->setObjectName("removeFile");
    connect(add, &QPushButton::clicked, this, [this] {
        const std::string path =
            quirel::ui::AskFileName(this, quirel::ui::FileDialogMode::Open, Tx("Measurement files"),
                                    "Quirel Viewer Velorin Single Measurements (*.nbts *.bts)", "nbts");
        if (!path.empty())
            AddFile(Qs(path));
    });
    connect(remove, &QPushButton::clicked, this, [this] { delete m_files->currentItem(); });
    auto* buttonColumn = new QVBoxLayout;
    buttonColumn->addWidget(add);
    buttonColumn->addWidget(remove);
    buttonColumn->addStretch(1);
    auto* filesLayout = new QHBoxLayout(files);
    filesLayout->addWidget(m_files, 1);
    filesLayout->addLayout(buttonColumn);

    auto* limits = new QGroupBox(Tx("Limits"), this);
    auto* limitsLayout = new QVBoxLayout(limits);
    m_voltageLimits = new CLimitChooser(CLimitChooser::Kinds::kVoltages, Tx("Mains voltages"), limits);
    m_voltageLimits->setObjectName("voltageLimits");
    m_currentLimits = new CLimitChooser(CLimitChooser::Kinds::kCurrents, Tx("Mains currents"), limits);
    m_currentLimits->setObjectName("currentLimits");
    limitsLayout->addWidget(m_voltageLimits);
    limitsLayout->addWidget(m_currentLimits);
    limitsLayout->addWidget(Note(Qs(quirel::analysis::IndicativeNoteText()), limits));

    m_refusal = new QLabel(this);
    m_refusal->setObjectName("refusal");
    m_refusal->setWordWrap(true);
    m_refusal->setStyleSheet("color: #b00020;");
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Tx("Create report ..."));
    connect(buttons, &QDialogButtonBox::accepted, this, &CDlgServiceReport::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(device);
    layout->addWidget(files, 1);
    layout->addWidget(limits);
    layout->addWidget(m_refusal);
    layout->addWidget(buttons);
    resize(600, 560);
}

void CDlgServiceReport::AddFile(const QString& path) {
    m_files->addItem(path);
    m_files->setCurrentRow(m_files->count() - 1);
}

std::optional<quirel::report::GatherRequest> CDlgServiceReport::Request(std::string* why) const {
    quirel::report::GatherRequest request;
    request.device = m_connected;
    request.capture = m_connected && m_capture->isChecked();
    for (int i = 0; i < m_files->count(); ++i)
        request.measurementFiles.push_back(m_files->item(i)->text().toStdString());
    for (const CLimitChooser* chooser : {m_voltageLimits, m_currentLimits}) {
        std::string reason;
        if (std::optional<quirel::report::LimitChoice> choice = chooser->Choice(&reason))
            request.limits.push_back(std::move(*choice));
        else if (!reason.empty()) {
            if (why)
                *why = reason;
            return std::nullopt;
        }
    }
    if (!request.device && request.measurementFiles.empty()) {
        if (why)
            *why = quirel::loadString(kIdsNothingToReport);
        return std::nullopt;
    }
    return request;
}

void CDlgServiceReport::accept() {
    std::string why;
    if (!Request(&why)) {
        m_refusal->setText(Qs(why));
        return;
    }
    QDialog::accept();
}

CDlgReportSaved::CDlgReportSaved(const QString& text, std::function<void()> print, std::function<void()> pdf,
                                 std::function<void()> open, QWidget* parent)
    : QDialog(parent) {
    setObjectName("dlgReportSaved");
    setWindowTitle(Tx("Service report"));
    auto* label = new QLabel(text, this);
    label->setObjectName("savedText");
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    const std::pair<const char*, std::function<void()>> actions[] = {
        {"Open", std::move(open)}, {"Print ...", std::move(print)}, {"Save as PDF ...", std::move(pdf)}};
    const char* names[] = {"openReport", "printReport", "pdfReport"};
    for (size_t k = 0; k < std::size(actions); ++k) {
        QPushButton* button = buttons->addButton(Tx(actions[k].first), QDialogButtonBox::ActionRole);
        button->setObjectName(names[k]);
        connect(button, &QPushButton::clicked, this, actions[k].second);
    }
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(label);
    layout->addWidget(buttons);
    resize(560, sizeHint().height());
}
