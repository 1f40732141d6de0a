#pragma once

#include "base/Document.h"
#include "eventlog/SingleError.h"

#include <string>
#include <vector>

// The event-log document: the texts read from the device or opened from a file (UTF-8 inside the program).
// One instance lives for the whole run; it is filled and read on the user-interface thread only.
class CDocErrorMemory : public CDocument {
public:
    static constexpr unsigned kIdsTitle = 175; // "Eventlog - Quirel Viewer Velorin"

    // Empties the document and gives it its title.
    virtual bool OnNewDocument();
    virtual void DeleteContents() {
        m_entries.clear();
        m_holdsLog = false;
    }

    void AddEntry(std::string text) {
        m_entries.emplace_back(std::move(text));
        m_holdsLog = true;
    }
    // The log a read or an Open brought, in place of what the document held; an empty text (a device
    // without events) adds no entry, yet the document now holds a log.
    void TakeLog(std::string text) {
        DeleteContents();
        if (!text.empty())
            AddEntry(std::move(text));
        m_holdsLog = true;
    }
    // False until a log has been read or opened: an empty document then means nothing is known yet.
    bool HoldsLog() const { return m_holdsLog; }
    // The text of entry `index`; "" outside the entries.
    const std::string& GetEntry(size_t index) const;
    size_t GetCount() const { return m_entries.size(); }

private:
    std::vector<CSingleError> m_entries;
    bool m_holdsLog = false;
};
