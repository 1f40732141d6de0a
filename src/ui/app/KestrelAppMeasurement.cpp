// The application's part of the measurements: it owns both documents for the whole run and carries the
// last measurement of each kind from one run to the next.
#include "ui/app/KestrelApp.h"

#include "measurement/DocMeasurementContinuous.h"
#include "measurement/DocMeasurementSingle.h"
#include "measurement/LastMeasurement.h"
#include "parameters/ParameterManager.h"
#include "ui/common/QtUiPort.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

void CKestrelApp::CreateMeasurementDocuments() {
    m_docMeasurementSingle = std::make_unique<CDocMeasurementSingle>(m_catalogue.get(), m_uiPort.get());
    m_docMeasurementContinuous =
        std::make_unique<CDocMeasurementContinuous>(m_catalogue.get(), m_uiPort.get());
    m_docMeasurementSingle->OnNewDocument();
    m_docMeasurementContinuous->OnNewDocument();
    ExchangeLastMeasurement(0, false);
    ExchangeLastMeasurement(1, false);
}

std::string CKestrelApp::ProgramFileFolder() const {
    if (!m_options.fileFolder.empty())
        return m_options.fileFolder;
    const QString program = QCoreApplication::applicationDirPath();
    if (QFileInfo(program).isWritable())
        return program.toStdString();
    // An installed program's folder is not the user's to write into.
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(data);
    return data.toStdString();
}

void CKestrelApp::ExchangeLastMeasurement(int kind, bool store) {
    CDocMeasurementBase* doc = kind == 0
                                   ? static_cast<CDocMeasurementBase*>(m_docMeasurementSingle.get())
                                   : static_cast<CDocMeasurementBase*>(m_docMeasurementContinuous.get());
    if (doc)
        ::ExchangeLastMeasurement(*doc, ProgramFileFolder(), store);
}

void CKestrelApp::StoreLastMeasurements() {
    ExchangeLastMeasurement(0, true);
    ExchangeLastMeasurement(1, true);
}
