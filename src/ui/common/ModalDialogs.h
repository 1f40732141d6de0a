#pragma once

#include <QString>

#include <functional>
#include <string>

class QDialog;
class QWidget;

namespace quirel::ui {

// Every modal dialog of a command and every file dialog goes through here, so that one place decides how
// they are shown, and tests answer them without a human (as SetMessageBoxHandler does for boxes).

// Runs `dialog` modally; returns QDialog::Accepted or QDialog::Rejected.
int ExecModal(QDialog& dialog);
using ModalHandler = std::function<int(QDialog& dialog)>;
// Replaces how modal dialogs are run; an empty handler restores exec().
void SetModalHandler(ModalHandler handler);

enum class FileDialogMode { Open, Save };
// A file name chosen in a file dialog (a save dialog asks before overwriting and adds `suffix` to a name
// without one); empty when cancelled.
std::string AskFileName(QWidget* parent, FileDialogMode mode, const QString& caption, const QString& filter,
                        const QString& suffix);
using FileDialogHandler = std::function<std::string(FileDialogMode mode, const QString& filter)>;
void SetFileDialogHandler(FileDialogHandler handler);

} // namespace quirel::ui
