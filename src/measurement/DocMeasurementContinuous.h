#pragma once

#include "measurement/DocMeasurementBase.h"

// The last continuous measurement: one value per channel, sampled by the program every interval.
class CDocMeasurementContinuous : public CDocMeasurementBase {
public:
    CDocMeasurementContinuous(const CParameterManager* catalogue, IUiPort* uiPort);

    // Also: interval 0, start all zeros.
    void DeleteContents() override;
    std::string GetDefaultTitle() const override;
    const char* GetFileExtension() const override { return "nbtc"; }
    const char* GetLastFileName() const override { return "last.nbtc"; }

    // Empties the document, takes interval and start over, appends one channel per identifier and
    // updates the views (user-interface thread).
    virtual void InitMeasurement(uint32_t interval, const std::vector<uint32_t>& ids, CMeasStart start);

    // Seconds between two samples.
    uint32_t GetInterval() const { return m_interval.load(); }

    // Seconds since the start: value j was taken j intervals after it.
    double GetX(size_t j) const override { return static_cast<double>(j) * GetInterval(); }
    const char* GetTimeUnit() const override { return "s"; }

protected:
    void WriteKindPart(quirel::ArchiveWriter& ar, bool withMeasStart) const override;
    void ReadKindPart(quirel::ArchiveReader& ar, bool withMeasStart) override;
    std::unique_ptr<CDocMeasurementBase> NewOfSameKind() const override {
        return std::make_unique<CDocMeasurementContinuous>(GetCatalogue(), nullptr);
    }

private:
    std::atomic<uint32_t> m_interval{0};
};
