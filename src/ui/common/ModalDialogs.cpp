#include "ui/common/ModalDialogs.h"

#include <QDialog>
#include <QFileDialog>

namespace quirel::ui {
namespace {

ModalHandler& Modal() {
    static ModalHandler handler;
    return handler;
}

FileDialogHandler& Files() {
    static FileDialogHandler handler;
    return handler;
}

} // namespace

int ExecModal(QDialog& dialog) {
    return Modal() ? Modal()(dialog) : dialog.exec();
}

void SetModalHandler(ModalHandler handler) {
    Modal() = std::move(handler);
}

std::string AskFileName(QWidget* parent, FileDialogMode mode, const QString& caption, const QString& filter,
                        const QString& suffix) {
    if (Files())
        return Files()(mode, filter);
    QFileDialog dialog(parent, caption, QString(), filter);
    dialog.setAcceptMode(mode == FileDialogMode::Save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(mode == FileDialogMode::Save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::string();
    return dialog.selectedFiles().first().toStdString();
}

void SetFileDialogHandler(FileDialogHandler handler) {
    Files() = std::move(handler);
}

} // namespace quirel::ui
