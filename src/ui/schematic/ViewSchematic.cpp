#include "ui/schematic/ViewSchematic.h"

#include "base/UiPort.h"
#include "comm/ControllerModbus.h"
#include "parameters/document/DocParameters.h"
#include "ui/common/SettingsStore.h"
#include "ui/common/UiText.h"
#include "ui/common/WindowPlacement.h"
#include "ui/schematic/SchematicCanvas.h"
#include "ui/schematic/SchematicPicture.h"

#include <QPaintEvent>
#include <QPainter>

namespace {
constexpr int32_t kRepaintParameter = 410; // read last in a cycle's order of registration
}

CViewSchematic::CViewSchematic(CDocParameters& doc, quirel::ui::ISettingsStore& settings, Hooks hooks,
                               QWidget* parent)
    : QWidget(parent), m_doc(doc), m_controller(doc.GetController()), m_settings(settings),
      m_hooks(std::move(hooks)), m_items(doc.GetCatalogue()) {
    setObjectName(kClassName);
    // The picture covers every pixel: nothing to erase first.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(160, 90);
    m_timer.setInterval(kPollMs);
    connect(&m_timer, &QTimer::timeout, this, &CViewSchematic::OnPollTimer);
    m_doc.AddView(this);
}

CViewSchematic::~CViewSchematic() {
    m_timer.stop();
    // Closing the overview ends its reads; a reopened one registers again, so the counts stay balanced.
    if (m_registered)
        for (int32_t id : CSchematicItems::kShownParameters)
            m_doc.RemoveVisible(id);
    m_doc.RemoveView(this);
}

void CViewSchematic::OnInitialUpdate() {
    m_repaintHint = kRepaintParameter;
    for (int32_t id : CSchematicItems::kShownParameters)
        m_doc.AddVisible(id);
    m_registered = true;
    window()->setWindowTitle(quirel::ui::ResourceText(kIdsTitle));

    quirel::ui::RestoreWindowPlacement(window(), m_settings, kClassName);
}

void CViewSchematic::OnUpdate(CView*, int64_t hint) {
    // Every read job reports its parameter: one repaint per cycle, when 410 has arrived.
    if (hint != UpdateHint::kDataChanged && hint != m_repaintHint)
        return;
    ++m_documentRepaints;
    update();
}

void CViewSchematic::OnConnectionState(int state) {
    switch (state) {
    case kConnected: {
        const uint64_t connection = ++m_connection;
        if (m_hooks.makeTriggerQuery)
            if (std::unique_ptr<CJobAbstract> job = m_hooks.makeTriggerQuery())
                m_controller.AddPollJob(
                    std::move(job)); // a refused job is deleted; polling starts all the same
        // The waits run in the event loop, so the window stays painted; a later state change cancels them.
        QTimer::singleShot(kConnectWaitMs, this, [this, connection] { AfterConnectWait(connection); });
        break;
    }
    case kNotConnected:
    case kConnectFailed:
    case kDisconnecting:
        ++m_connection;
        m_timer.stop();
        break;
    default:
        return;
    }
    update(); // values turn grey or black
}

void CViewSchematic::AfterConnectWait(uint64_t connection) {
    if (connection != m_connection)
        return;
    if (m_hooks.catalogueRevisionDiffers && m_hooks.catalogueRevisionDiffers())
        return;
    m_doc.UpdateVisible();
    WaitForEmptyPollQueue(connection);
}

void CViewSchematic::WaitForEmptyPollQueue(uint64_t connection) {
    if (connection != m_connection)
        return;
    if (!m_controller.IsPollQueueEmpty()) {
        QTimer::singleShot(kQueueWaitStepMs, this, [this, connection] { WaitForEmptyPollQueue(connection); });
        return;
    }
    // Over a modem link the values are read once after connecting, then only on refresh.
    if (m_controller.GetModem() == 0)
        m_timer.start();
}

void CViewSchematic::OnPollTimer() {
    if ((m_hooks.pollingPaused && m_hooks.pollingPaused()) || !m_controller.IsPollQueueEmpty())
        return;
    m_doc.UpdateVisible();
}

bool CViewSchematic::OnRefresh() {
    m_controller.ClearPollQueue();
    m_doc.UpdateVisible();
    return true;
}

void CViewSchematic::Compose(QPainter& painter, const QSize& size) const {
    const double sx = size.width() / double(CSchematicItems::kPictureWidth);
    const double sy = size.height() / double(CSchematicItems::kPictureHeight);
    painter.save();
    painter.scale(sx, sy);
    painter.setRenderHint(QPainter::TextAntialiasing);
    // Parameter 300 says where the current transformers are fitted: 0 load side, 1 mains side, 2 none.
    const uint32_t ctPosition = m_doc.IsKnown(CSchematicItems::kGroupSwitchId)
                                    ? m_doc.GetValue(CSchematicItems::kGroupSwitchId).GetValue().raw & 0xFFFF
                                    : 0;
    if (ctPosition <= 1)
        SchematicPicture::DrawCurrentTransformer(painter, ctPosition == 1);
    CSchematicCanvas canvas(painter, m_controller.IsConnected());
    m_items.Draw(canvas, m_doc);
    painter.restore();
}

QImage CViewSchematic::Render(const QSize& size) const {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.scale(size.width() / double(CSchematicItems::kPictureWidth),
                  size.height() / double(CSchematicItems::kPictureHeight));
    SchematicPicture::Draw(painter);
    painter.resetTransform();
    Compose(painter, size);
    return image;
}

void CViewSchematic::paintEvent(QPaintEvent*) {
    const qreal dpr = devicePixelRatioF();
    const QSize pixels = size() * dpr;
    if (m_picture.size() != pixels) {
        // The vector picture is drawn once per size, at the screen's own resolution.
        m_picture = QPixmap(pixels);
        m_picture.fill(Qt::white);
        QPainter painter(&m_picture);
        painter.scale(pixels.width() / double(CSchematicItems::kPictureWidth),
                      pixels.height() / double(CSchematicItems::kPictureHeight));
        SchematicPicture::Draw(painter);
    }
    // Compose off screen, then one copy: no flicker.
    QPixmap frame = m_picture;
    {
        QPainter painter(&frame);
        Compose(painter, pixels);
    }
    frame.setDevicePixelRatio(dpr);
    QPainter(this).drawPixmap(0, 0, frame);
}
