#include "eventlog/DocErrorMemory.h"

#include "base/StringTable.h"

bool CDocErrorMemory::OnNewDocument() {
    DeleteContents();
    SetTitle(quirel::loadString(kIdsTitle));
    return true;
}

const std::string& CDocErrorMemory::GetEntry(size_t index) const {
    static const std::string kNone;
    return index < m_entries.size() ? m_entries[index].GetText() : kNone;
}
