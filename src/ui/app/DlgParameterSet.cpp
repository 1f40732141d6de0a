#include "ui/app/DlgParameterSet.h"

#include "base/FileUtil.h"
#include "base/TextEncoding.h"
#include "ui/common/MessageBoxes.h"
#include "ui/common/ModalDialogs.h"
#include "ui/common/UiText.h"

#include <QDialogButtonBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

using quirel::ui::Tx;

CDialog_ParameterSet::CDialog_ParameterSet(QString text, QWidget* parent)
    : QDialog(parent), m_text(std::move(text)) {
    setObjectName("CDialog_ParameterSet");
    setWindowTitle(Tx("parameter set"));
    m_edit = new QPlainTextEdit(m_text, this);
    m_edit->setObjectName("reportEdit");
    m_edit->setReadOnly(true);
    m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setText(Tx("OK"));
    QPushButton* save = buttons->addButton(Tx("Save as text..."), QDialogButtonBox::ActionRole);
    save->setObjectName("saveAsText");
    connect(save, &QPushButton::clicked, this, [this] { SaveAsText(); });
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_edit);
    layout->addWidget(buttons);
    resize(720, 560);
}

bool CDialog_ParameterSet::SaveAsText() {
    const std::string path = quirel::ui::AskFileName(this, quirel::ui::FileDialogMode::Save,
                                                     Tx("Save as text..."), Tx("Text files (*.txt)"), "txt");
    if (path.empty())
        return false;
    if (quirel::writeFileAtomically(path, quirel::utf8ToCp1252(m_text.toStdString())))
        return true;
    quirel::ui::ShowFileNotWritten(this, path);
    return false;
}
