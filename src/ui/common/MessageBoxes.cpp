#include "ui/common/MessageBoxes.h"

#include "base/StringTable.h"
#include "ui/common/SettingsStore.h"

#include <QApplication>
#include <QMessageBox>

namespace quirel::ui {
namespace {

MessageBoxHandler& Handler() {
    static MessageBoxHandler handler;
    return handler;
}

int StandardBox(QWidget* parent, const std::string& text, const std::string& caption, MbIcon icon,
                MbButtons buttons, int defaultButton) {
    QMessageBox box(parent);
    box.setWindowTitle(caption.empty() ? QString::fromLatin1(kApplicationName)
                                       : QString::fromStdString(caption));
    box.setText(QString::fromStdString(text));
    switch (icon) {
    case MbIcon::Error:
        box.setIcon(QMessageBox::Critical);
        break;
    case MbIcon::Warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case MbIcon::Information:
        box.setIcon(QMessageBox::Information);
        break;
    case MbIcon::Question:
        box.setIcon(QMessageBox::Question);
        break;
    case MbIcon::None:
        break;
    }
    QMessageBox::StandardButtons std;
    switch (buttons) {
    case MbButtons::Ok:
        std = QMessageBox::Ok;
        break;
    case MbButtons::OkCancel:
        std = QMessageBox::Ok | QMessageBox::Cancel;
        break;
    case MbButtons::YesNo:
        std = QMessageBox::Yes | QMessageBox::No;
        break;
    case MbButtons::YesNoCancel:
        std = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
        break;
    case MbButtons::RetryCancel:
        std = QMessageBox::Retry | QMessageBox::Cancel;
        break;
    }
    box.setStandardButtons(std);
    switch (defaultButton) {
    case IDOK:
        box.setDefaultButton(QMessageBox::Ok);
        break;
    case IDCANCEL:
        box.setDefaultButton(QMessageBox::Cancel);
        break;
    case IDYES:
        box.setDefaultButton(QMessageBox::Yes);
        break;
    case IDNO:
        box.setDefaultButton(QMessageBox::No);
        break;
    default:
        break;
    }
    switch (box.exec()) {
    case QMessageBox::Ok:
        return IDOK;
    case QMessageBox::Yes:
        return IDYES;
    case QMessageBox::No:
        return IDNO;
    case QMessageBox::Retry:
        return IDRETRY;
    default:
        return IDCANCEL;
    }
}

} // namespace

int ShowMessageBox(QWidget* parent, const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons) {
    return ShowMessageBox(parent, text, caption, icon, buttons, 0);
}

int ShowMessageBox(QWidget* parent, const std::string& text, const std::string& caption, MbIcon icon,
                   MbButtons buttons, int defaultButton) {
    if (!parent)
        parent = QApplication::activeWindow();
    if (Handler())
        return Handler()(parent, text, caption, icon, buttons);
    return StandardBox(parent, text, caption, icon, buttons, defaultButton);
}

void SetMessageBoxHandler(MessageBoxHandler handler) {
    Handler() = std::move(handler);
}

void ShowFileNotWritten(QWidget* parent, const std::string& path) {
    constexpr unsigned kIdsFileNotWritten = 1105; // followed by the path
    ShowMessageBox(parent, loadString(kIdsFileNotWritten) + path, std::string(), MbIcon::Error);
}

} // namespace quirel::ui
