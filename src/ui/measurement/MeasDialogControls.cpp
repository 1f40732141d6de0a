#include "ui/measurement/MeasDialogControls.h"

#include "base/DecimalNumber.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/UiText.h"

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QVBoxLayout>

#include <climits>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace MeasDialogControls {
namespace {

void Refuse(QWidget* dialog, QLineEdit* edit, const QString& message) {
    quirel::ui::ShowMessageBox(dialog, message.toStdString(), std::string(), MbIcon::Warning);
    edit->setFocus();
    edit->selectAll();
}

} // namespace

QComboBox* MakeChoiceList(QWidget* parent, const char* objectName, const std::vector<std::string>& choices) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(objectName);
    combo->setMaxVisibleItems(20);
    for (const std::string& choice : choices)
        combo->addItem(Qs(choice));
    return combo;
}

void SelectChoice(QComboBox* combo, const std::vector<std::string>& choices, const std::string& text) {
    combo->setCurrentIndex(MeasurementSetup::FindChoice(choices, text));
}

ChannelCombos AddChannelLists(QWidget* parent, QGridLayout* grid, int row,
                              const std::vector<std::string>& choices) {
    ChannelCombos combos{};
    for (int i = 0; i < MeasurementSetup::kMaxChannels; ++i) {
        const QString name = QString("Trace%1").arg(i);
        combos[static_cast<size_t>(i)] =
            MakeChoiceList(parent, name.toLower().toLatin1().constData(), choices);
        grid->addWidget(new QLabel(name, parent), row + i, 0);
        grid->addWidget(combos[static_cast<size_t>(i)], row + i, 1, 1, 2);
    }
    return combos;
}

void TakeChannels(const ChannelCombos& combos, const std::vector<std::string>& choices,
                  std::array<int, MeasurementSetup::kMaxChannels>& indices,
                  std::array<std::string, MeasurementSetup::kMaxChannels>& texts) {
    for (size_t i = 0; i < combos.size(); ++i) {
        const int index = combos[i]->currentIndex();
        const bool chosen = index >= 0 && static_cast<size_t>(index) < choices.size();
        indices[i] = chosen ? index : 0;
        texts[i] = chosen ? choices[static_cast<size_t>(index)] : MeasurementSetup::kNoChannel;
    }
}

void LayOut(QDialog* dialog, QGridLayout* grid) {
    auto* buttons = new QDialogButtonBox(dialog);
    buttons->addButton(Tx("OK"), QDialogButtonBox::AcceptRole)->setDefault(true);
    buttons->addButton(Tx("Cancel"), QDialogButtonBox::RejectRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    auto* layout = new QVBoxLayout(dialog);
    layout->addLayout(grid);
    layout->addWidget(buttons);
}

std::optional<long> TakeInteger(QWidget* dialog, QLineEdit* edit, long min, long max) {
    static const QRegularExpression wholeNumber("^\\s*[-+]?\\d+\\s*$");
    const QString text = edit->text();
    if (!wholeNumber.match(text).hasMatch()) {
        Refuse(dialog, edit, Tx("Please enter an integer."));
        return std::nullopt;
    }
    const int64_t value = quirel::parseInt64(text.trimmed().toStdString());
    if (value < min || value > max) {
        Refuse(dialog, edit, Tx("Please enter an integer between %1 and %2.").arg(min).arg(max));
        return std::nullopt;
    }
    return static_cast<long>(value);
}

std::optional<double> TakeNumber(QWidget* dialog, QLineEdit* edit) {
    // The decimal comma as the rest of the program reads numbers; a point is not one.
    static const QRegularExpression number("^\\s*[-+]?(\\d+,?\\d*|,\\d+)([eE][-+]?\\d+)?\\s*$");
    const QString text = edit->text();
    if (!number.match(text).hasMatch()) {
        Refuse(dialog, edit, Tx("Please enter a number."));
        return std::nullopt;
    }
    return quirel::parseDecimalComma(text.toStdString());
}

} // namespace MeasDialogControls
