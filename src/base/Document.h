#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

// Update hints a document passes to its views.
namespace UpdateHint {
constexpr int64_t kDataChanged = 0;       // a parameter identifier means: that value changed
constexpr int64_t kRunning = 0x8010;      // the running flag of a measurement changed
constexpr int64_t kTriggerState = 0x8020; // the trigger state was read
constexpr int64_t kReset = 0x8050;        // the document was reset by the New command
} // namespace UpdateHint

class CDocument;

// Something that shows a document. Views are told of changes on the user-interface thread only.
class CView {
public:
    virtual ~CView() = default;
    virtual void OnUpdate(CView* sender, int64_t hint) = 0;
};

// Data shown by views. The document does not own its views; a view detaches itself before it dies.
class CDocument {
public:
    virtual ~CDocument() = default;

    const std::string& GetTitle() const { return m_title; }
    void SetTitle(std::string title) { m_title = std::move(title); }

    void AddView(CView* view) {
        if (std::find(m_views.begin(), m_views.end(), view) == m_views.end())
            m_views.push_back(view);
    }
    void RemoveView(CView* view) {
        m_views.erase(std::remove(m_views.begin(), m_views.end(), view), m_views.end());
    }
    const std::vector<CView*>& GetViews() const { return m_views; }

    // Every view but `sender` gets OnUpdate(sender, hint). A view may detach itself while being told.
    void UpdateAllViews(CView* sender, int64_t hint = UpdateHint::kDataChanged) {
        const std::vector<CView*> views = m_views;
        for (CView* v : views)
            if (v != sender && std::find(m_views.begin(), m_views.end(), v) != m_views.end())
                v->OnUpdate(sender, hint);
    }

private:
    std::string m_title;
    std::vector<CView*> m_views;
};
