// "Quirel Viewer Velorin Help": the manual.
#include "ui/app/KestrelApp.h"

#include "app/ManualFiles.h"
#include "app/ProgramFiles.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UiText.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

// The manual of the program's first releases, opened by its relative name from the current folder; a
// site that keeps it there gets it as before.
constexpr const char* kManualFile = "Quirel Viewer Manual EN V02_February_2015.pdf";

} // namespace

void CKestrelApp::OnHelp() {
    QString manual;
    const QFileInfo pdf(QDir::current(), kManualFile);
    if (pdf.exists()) {
        manual = pdf.absoluteFilePath();
    } else {
        // Then the HTML manual in the language of this run, as installed with the program (or, in a build
        // tree, the source's).
        const std::vector<std::string> folders =
            m_options.manualFolder.empty() ? quirel::app::ManualFolders(quirel::app::ProgramFolder())
                                           : std::vector<std::string>{m_options.manualFolder};
        manual = Qs(quirel::app::FindManual(folders, m_language));
    }
    if (manual.isEmpty()) {
        // A click that does nothing leaves the user guessing, so a missing manual is said, with where it
        // was looked for.
        const std::string expected = m_options.manualFolder.empty()
                                         ? quirel::app::ManualInstallFolder(quirel::app::ProgramFolder())
                                         : m_options.manualFolder;
        quirel::ui::ShowMessageBox(
            QApplication::activeWindow(),
            Tx("No manual is installed (\"%1\" was not found in %2, nor %3).")
                .arg(kManualFile, QDir::currentPath(), Qs(quirel::app::ManualIndex(expected, m_language)))
                .toStdString(),
            std::string(), MbIcon::Information);
        return;
    }
    // A desktop without a program for the file (no browser, no PDF viewer) opens nothing: the user then
    // learns where the manual is, to open it another way.
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(manual)))
        quirel::ui::ShowMessageBox(
            QApplication::activeWindow(),
            Tx("No program to show the manual was found. The manual is here: %1").arg(manual).toStdString(),
            std::string(), MbIcon::Information);
}
