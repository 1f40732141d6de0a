#pragma once

#include "base/Document.h"
#include "schematic/SchematicItems.h"
#include "ui/common/FrameView.h"

#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>

class CControllerModbus;
class CDocParameters;
class CJobAbstract;

namespace quirel::ui {
class ISettingsStore;
}

// The overview: the picture of the installation with the live values written where they belong. It shows
// the parameters document, reads its 33 parameters every two seconds while connected (timer 3), and
// repaints when the cycle's value of parameter 410 has arrived or on a general update.
class CViewSchematic : public QWidget, public CView, public quirel::ui::IFrameView {
    Q_OBJECT
public:
    static constexpr const char* kClassName = "CViewSchematic";
    static constexpr int kTimerId = 3;
    static constexpr int kPollMs = 2000;
    static constexpr int kConnectWaitMs = 500;
    static constexpr int kQueueWaitStepMs = 100;
    static constexpr unsigned kIdsTitle = 193; // "Overview - Quirel Viewer Velorin"

    // What the overview asks of the application.
    struct Hooks {
        // Polling pauses while this holds (a measurement runs, a long device operation is under way).
        std::function<bool()> pollingPaused;
        // Set at connect time when the device's catalogue revision differs from ours: then nothing is read.
        std::function<bool()> catalogueRevisionDiffers;
        // The trigger-state query queued at connect time; null when there is none to make.
        std::function<std::unique_ptr<CJobAbstract>()> makeTriggerQuery;
    };

    CViewSchematic(CDocParameters& doc, quirel::ui::ISettingsStore& settings, Hooks hooks,
                   QWidget* parent = nullptr);
    // Releases the parameters it registered.
    ~CViewSchematic() override;

    // CView: hints 0 and 410 repaint, every other is ignored.
    void OnUpdate(CView* sender, int64_t hint) override;
    // IFrameView
    const char* ViewClassName() const override { return kClassName; }
    void OnConnectionState(int state) override;
    bool OnRefresh() override;
    void OnInitialUpdate() override;

    // Timer 3: one read cycle unless paused or the previous cycle still waits in the poll queue.
    void OnPollTimer();
    bool IsPolling() const { return m_timer.isActive(); }
    // Repaints asked for by document updates so far.
    int DocumentRepaints() const { return m_documentRepaints; }
    const CSchematicItems& Items() const { return m_items; }
    // The picture as the window shows it, at `size`.
    QImage Render(const QSize& size) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void AfterConnectWait(uint64_t connection);
    void WaitForEmptyPollQueue(uint64_t connection);
    void Compose(QPainter& painter, const QSize& size) const;

    CDocParameters& m_doc;
    CControllerModbus& m_controller;
    quirel::ui::ISettingsStore& m_settings;
    Hooks m_hooks;
    CSchematicItems m_items;
    int32_t m_repaintHint = 0; // 410 once the parameters are registered
    bool m_registered = false;
    QTimer m_timer;
    uint64_t m_connection = 0; // counts connection-state changes: a pending start belongs to one of them
    int m_documentRepaints = 0;
    mutable QPixmap m_picture; // the static picture at the last size painted
};
