#include "ui/app/ConnectionTest.h"

#include "base/CancelSignal.h"
#include "comm/ControllerModbus.h"
#include "modbus/MbusMasterFunctions.h"
#include "ui/common/UiText.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <thread>

using quirel::ui::Qs;
using quirel::ui::Tx;

namespace {

constexpr int kProgressDelayMs = 300;

QString AnswerText(const ScanAnswer& a, const std::string& openFailure) {
    if (!openFailure.empty())
        return Qs(openFailure);
    if (!a.Answered())
        return Tx("No answer from slave %1:").arg(a.at.slave) + "\n" +
               Qs(CControllerModbus::DescribeResult(a.result, a.unusable));
    QString text = Tx("Slave %1 answered.").arg(a.at.slave);
    if (a.result != MBUS_SUCCESS)
        text += "\n" + Tx("Its answer: %1").arg(MbusMasterFunctions::getErrorText(a.result));
    if (a.Identified())
        text += "\n" + Tx("Vendor: %1\nProduct: %2\nRevision: %3")
                           .arg(Qs(a.identification.vendorName), Qs(a.identification.productCode),
                                Qs(a.identification.revision));
    else
        text +=
            "\n" + Tx("No identification: %1").arg(MbusMasterFunctions::getErrorText(a.identificationResult));
    return text;
}

} // namespace

QString RunConnectionTest(QWidget* parent, const DeviceScanOptions& options) {
    quirel::CancelSignal cancel;
    ScanAnswer answer;
    std::string openFailure;
    std::atomic<bool> done{false};
    QEventLoop loop;
    std::thread worker([&] {
        answer = TestDeviceSetting(options, &cancel, &openFailure);
        done = true;
        QMetaObject::invokeMethod(&loop, "quit", Qt::QueuedConnection);
    });
    // A quick answer shows no progress window at all; clicks wait until it is there.
    QTimer::singleShot(kProgressDelayMs, &loop, &QEventLoop::quit);
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (!done) {
        QProgressDialog progress(Tx("Testing the connection ..."), Tx("Cancel"), 0, 0, parent);
        progress.setWindowTitle(Tx("Test"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(0);
        QObject::connect(&progress, &QProgressDialog::canceled, [&cancel] { cancel.raise(); });
        progress.show();
        if (!done)
            loop.exec();
    }
    worker.join();
    return cancel.raised() ? Tx("Test cancelled.") : AnswerText(answer, openFailure);
}
