#include "ui/firmware/FirmwareUpdate.h"

#include "ui/common/MessageBoxes.h"
#include "ui/firmware/DlgSerialBootLoader.h"
#include "ui/firmware/FileDownload.h"
#include "ui/firmware/UpdateFirmwareMenue.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>

#include <thread>

namespace quirel::ui {

CFirmwareUpdate::CFirmwareUpdate(QObject* parent)
    : QObject(parent), m_loader(std::make_unique<CSerialBootLoader>(m_port, static_cast<IUiPort&>(*this),
                                                                    static_cast<IFirmwareDialogs&>(*this),
                                                                    static_cast<IClock&>(*this))) {}

CFirmwareUpdate::~CFirmwareUpdate() {
    delete m_waitWindow.data();
    delete m_progressWindow.data();
}

CUpdateFirmwareMenue* CFirmwareUpdate::WaitWindow() const {
    return m_waitWindow;
}

CFileDownload* CFirmwareUpdate::ProgressWindow() const {
    return m_progressWindow;
}

bool CFirmwareUpdate::Run(QWidget* parent, const std::function<void()>& beforeStart) {
    if (m_running)
        return false;
    {
        CDlgSerialBootLoader dialog(m_loader->GetPortName(), parent);
        if (dialog.exec() != QDialog::Accepted)
            return false;
        m_loader->SetPortName(dialog.PortName());
    }
    if (beforeStart)
        beforeStart();
    m_owner = parent;
    m_running = true;
    m_waitCancelled = false;
    qApp->installEventFilter(this);
    QEventLoop loop;
    std::thread worker([this, &loop] {
        m_loader->Start();
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    qApp->removeEventFilter(this);
    // Posted progress updates may still wait in the queue; they find the window gone and nothing shown.
    {
        std::lock_guard lock(m_progressMutex);
        m_progressShown = false;
    }
    delete m_progressWindow.data();
    delete m_waitWindow.data();
    m_running = false;
    return true;
}

bool CFirmwareUpdate::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Wheel:
    case QEvent::ContextMenu:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::TouchBegin:
        // While a box or one of the update's windows is up, the desktop's own modality decides; in the gaps
        // between them no window may take a command.
        if (QApplication::activeModalWidget())
            return false;
        if (event->type() == QEvent::ShortcutOverride)
            event->accept(); // keeps the shortcut from firing at all
        return true;
    case QEvent::Close:
        if (event->spontaneous() && watched->isWidgetType() && watched != QApplication::activeModalWidget()) {
            event->ignore();
            return true;
        }
        return false;
    default:
        return false;
    }
}

QWidget* CFirmwareUpdate::BoxParent() const {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return m_owner;
}

int CFirmwareUpdate::MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                                MbButtons buttons) {
    int result = IDCANCEL;
    QMetaObject::invokeMethod(
        this,
        [&] {
            // Only the question whether to wait for a power-cycled device has three buttons; there Cancel is
            // what Enter presses.
            return ShowMessageBox(BoxParent(), text, caption, icon, buttons,
                                  buttons == MbButtons::YesNoCancel ? IDCANCEL : 0);
        },
        Qt::BlockingQueuedConnection, &result);
    return result;
}

void CFirmwareUpdate::Progress(const std::string&, const std::string&, int pos, int) {
    bool post = false;
    {
        std::lock_guard lock(m_progressMutex);
        m_progressPosition = pos;
        m_progressShown = true;
        post = !m_progressPending;
        m_progressPending = true;
    }
    // One repaint per turn of the event loop, however fast the blocks go.
    if (post)
        QMetaObject::invokeMethod(
            this, [this] { UpdateProgressWindow(); }, Qt::QueuedConnection);
}

void CFirmwareUpdate::EndProgress() {
    bool post = false;
    {
        std::lock_guard lock(m_progressMutex);
        m_progressShown = false;
        post = !m_progressPending;
        m_progressPending = true;
    }
    if (post)
        QMetaObject::invokeMethod(
            this, [this] { UpdateProgressWindow(); }, Qt::QueuedConnection);
}

void CFirmwareUpdate::UpdateProgressWindow() {
    int position = 0;
    bool shown = false;
    {
        std::lock_guard lock(m_progressMutex);
        m_progressPending = false;
        position = m_progressPosition;
        shown = m_progressShown;
    }
    if (!shown) {
        if (m_progressWindow)
            m_progressWindow->deleteLater();
        m_progressWindow = nullptr;
        return;
    }
    if (!m_progressWindow) {
        m_progressWindow = new CFileDownload(m_owner);
        m_progressWindow->show();
    }
    m_progressWindow->SetPosition(position);
}

std::string CFirmwareUpdate::AskFirmwareFile() {
    std::string path;
    QMetaObject::invokeMethod(
        this,
        [&] {
            if (m_fileChooser)
                return m_fileChooser();
            const QString file =
                QFileDialog::getOpenFileName(m_owner, QString(), "Kalvar.srec", "Hex file (*.srec)");
            return QFile::encodeName(file).toStdString();
        },
        Qt::BlockingQueuedConnection, &path);
    return path;
}

void CFirmwareUpdate::ShowWaitWindow() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_waitCancelled = false;
            m_waitWindow = new CUpdateFirmwareMenue(m_owner);
            connect(m_waitWindow, &CUpdateFirmwareMenue::cancelled, this, [this] { m_waitCancelled = true; });
            m_waitWindow->show();
        },
        Qt::BlockingQueuedConnection);
}

void CFirmwareUpdate::CloseWaitWindow() {
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!m_waitWindow)
                return;
            m_waitWindow->DisableCancel();
            m_waitWindow->close();
            m_waitWindow->deleteLater();
            m_waitWindow = nullptr;
        },
        Qt::BlockingQueuedConnection);
}

} // namespace quirel::ui
