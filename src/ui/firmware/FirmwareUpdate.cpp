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
#include <QSocketNotifier>

#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

#include <sys/eventfd.h>
#include <unistd.h>

namespace quirel::ui {

CFirmwareUpdate::CFirmwareUpdate(QObject* parent)
    : QObject(parent), m_loader(std::make_unique<CSerialBootLoader>(m_port, static_cast<IUiPort&>(*this),
                                                                    static_cast<IFirmwareDialogs&>(*this),
                                                                    static_cast<IClock&>(*this))) {
    m_wakeUp = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_wakeUpNotifier = new QSocketNotifier(m_wakeUp, QSocketNotifier::Read, this);
    connect(m_wakeUpNotifier, &QSocketNotifier::activated, this, [this] {
        std::uint64_t count = 0;
        [[maybe_unused]] const auto n = ::read(m_wakeUp, &count, sizeof count);
        RunRequests();
    });
}

CFirmwareUpdate::~CFirmwareUpdate() {
    delete m_waitWindow.data();
    delete m_progressWindow.data();
    delete m_wakeUpNotifier;
    ::close(m_wakeUp);
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
    m_progressCancelled = false;
    qApp->installEventFilter(this);
    QEventLoop loop;
    std::thread worker([this, &loop] {
        m_loader->Start();
        Post([&loop] { loop.quit(); });
    });
    loop.exec();
    worker.join();
    qApp->removeEventFilter(this);
    // The requests run in order, so every progress update has run before the one that ended the loop.
    {
        std::lock_guard lock(m_progressMutex);
        m_progressShown = false;
        m_progressPending = false;
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

void CFirmwareUpdate::Post(std::function<void()> request) {
    {
        std::lock_guard lock(m_requestMutex);
        m_requests.push_back(std::move(request));
    }
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto n = ::write(m_wakeUp, &one, sizeof one);
}

template <class R> R CFirmwareUpdate::Call(std::function<R()> call) {
    struct Pending {
        std::mutex mutex;
        std::condition_variable done;
        bool ready = false;
        R result{};
    };
    auto pending = std::make_shared<Pending>();
    Post([pending, call = std::move(call)] {
        R result = call();
        std::lock_guard lock(pending->mutex);
        pending->result = std::move(result);
        pending->ready = true;
        pending->done.notify_all();
    });
    std::unique_lock lock(pending->mutex);
    pending->done.wait(lock, [&] { return pending->ready; });
    return pending->result;
}

void CFirmwareUpdate::RunRequests() {
    // One at a time: a request may open a box whose event loop delivers the next event meanwhile.
    for (;;) {
        std::function<void()> request;
        {
            std::lock_guard lock(m_requestMutex);
            if (m_requests.empty())
                break;
            request = std::move(m_requests.front());
            m_requests.pop_front();
        }
        request();
    }
}

QWidget* CFirmwareUpdate::BoxParent() const {
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return m_owner;
}

int CFirmwareUpdate::MessageBox(const std::string& text, const std::string& caption, MbIcon icon,
                                MbButtons buttons) {
    return Call<int>([this, text, caption, icon, buttons] {
        // Only the question whether to wait for a power-cycled device has three buttons; there Cancel is what
        // Enter presses.
        return ShowMessageBox(BoxParent(), text, caption, icon, buttons,
                              buttons == MbButtons::YesNoCancel ? IDCANCEL : 0);
    });
}

void CFirmwareUpdate::Progress(const std::string&, const std::string& text, int pos, int) {
    bool post = false;
    {
        std::lock_guard lock(m_progressMutex);
        m_progressPosition = pos;
        m_progressText = text;
        m_progressShown = true;
        post = !m_progressPending;
        m_progressPending = true;
    }
    // One repaint per turn of the event loop, however fast the blocks go.
    if (post)
        Post([this] { UpdateProgressWindow(); });
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
        Post([this] { UpdateProgressWindow(); });
}

void CFirmwareUpdate::UpdateProgressWindow() {
    int position = 0;
    bool shown = false;
    QString text;
    {
        std::lock_guard lock(m_progressMutex);
        m_progressPending = false;
        position = m_progressPosition;
        text = QString::fromStdString(m_progressText);
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
        connect(m_progressWindow, &CFileDownload::cancelled, this, [this] { m_progressCancelled = true; });
        m_progressWindow->show();
    }
    m_progressWindow->SetProgress(position, text);
}

std::string CFirmwareUpdate::AskFirmwareFile() {
    return Call<std::string>([this] {
        if (m_fileChooser)
            return m_fileChooser();
        const QString file =
            QFileDialog::getOpenFileName(m_owner, QString(), "Kalvar.srec", "Hex file (*.srec)");
        return QFile::encodeName(file).toStdString();
    });
}

void CFirmwareUpdate::ShowWaitWindow() {
    Call<bool>([this] {
        m_waitCancelled = false;
        m_waitWindow = new CUpdateFirmwareMenue(m_owner);
        connect(m_waitWindow, &CUpdateFirmwareMenue::cancelled, this, [this] { m_waitCancelled = true; });
        m_waitWindow->show();
        return true;
    });
}

void CFirmwareUpdate::CloseWaitWindow() {
    Call<bool>([this] {
        if (m_waitWindow) {
            m_waitWindow->DisableCancel();
            m_waitWindow->close();
            m_waitWindow->deleteLater();
            m_waitWindow = nullptr;
        }
        return true;
    });
}

} // namespace quirel::ui
