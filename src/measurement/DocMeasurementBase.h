#pragma once

#include "base/Document.h"
#include "measurement/MeasStart.h"
#include "measurement/ParameterValuesDiagram.h"
#include "parameters/ParamValue.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CParameterDescription;
class CParameterManager;
class CMeasurementArchiveIn;
class CMeasurementArchiveOut;
class IUiPort;
namespace quirel {
class ArchiveReader;
class ArchiveWriter;
} // namespace quirel

// What reading or writing a measurement file came to.
enum class MeasurementFileResult {
    kOk,
    kCannotOpen,  // nothing read or written; the document and the file are as they were
    kDamaged,     // the file ends early or has a bad measurement-start record; what was read is kept
    kWriteFailed, // the target is as it was before the save
    kForeign,     // bytes remain where the format ends: another kind or format; nothing was read
};

// A measurement: a list of channels, each the recorded cells of one parameter, and the running flag.
// The two kinds (single, continuous) add their settings and their part of the file.
//
// Threads. The worker's jobs append cells and change the running flag and the trigger state while the
// user interface reads. Channels and cells are guarded by one lock per document: every operation below
// takes it for its own duration, so a reader never sees a cell half appended, and CReadPass holds it for
// a whole pass of reads (a chart filling its series). The lock is recursive, so the document's own
// operations may be called inside a pass. Views hear of changes only through hints posted to the
// user-interface thread, or updates made there.
class CDocMeasurementBase : public CDocument {
public:
    // The name given for a channel whose parameter the catalogue does not know.
    static constexpr const char* kUnknownChannelName = " -- ";

    CDocMeasurementBase(const CParameterManager* catalogue, IUiPort* uiPort);
    ~CDocMeasurementBase() override;
    CDocMeasurementBase(const CDocMeasurementBase&) = delete;
    CDocMeasurementBase& operator=(const CDocMeasurementBase&) = delete;

    void SetCatalogue(const CParameterManager* catalogue) { m_catalogue = catalogue; }
    const CParameterManager* GetCatalogue() const { return m_catalogue; }
    void SetUiPort(IUiPort* uiPort) { m_uiPort = uiPort; }

    // --- the framework's document operations ---
    // Empties the document: no channels, not running; the kinds reset their settings.
    virtual void DeleteContents();
    // DeleteContents and the default title.
    virtual bool OnNewDocument();
    // "Single measurement" or "Continuous measurement" in the current language.
    virtual std::string GetDefaultTitle() const = 0;
    // "nbts" or "nbtc": the current format of the kind's files.
    virtual const char* GetFileExtension() const = 0;
    // "last.nbts" or "last.nbtc".
    virtual const char* GetLastFileName() const = 0;

    // --- channels ---
    // Every channel loses its cells; channels, identifiers and scaling stay.
    virtual void ClearValues();
    // Each of these throws std::invalid_argument when i is not a channel index.
    virtual uint32_t GetAxis(int i) const;
    virtual double GetFactor(int i) const;
    virtual double GetOffset(int i) const;
    virtual uint32_t GetParameterId(int i) const;
    // The catalogue name of the channel's parameter, or " -- " when the catalogue does not know it.
    virtual std::string GetChannelName(int i) const;
    virtual void SetAxis(int i, uint32_t axis);
    virtual void SetFactor(int i, double factor);
    virtual void SetOffset(int i, double offset);
    virtual void SetScaling(int i, uint32_t axis, double factor, double offset);

    int GetChannelCount() const;
    size_t GetValueCount(int i) const;
    // The most cells any channel holds (the rows of a table of the document).
    size_t GetMaxValueCount() const;
    // Value j of channel i as a double, unscaled; throws std::invalid_argument outside the channel.
    double GetValue(int i, size_t j) const;
    PARAMVALUE GetCell(int i, size_t j) const;
    // Appends a cell to channel i and returns its index.
    size_t AddValue(int i, const PARAMVALUE& value);
    // Appends cells to channel i under one lock, but only while the document still belongs to `run`
    // (see GetRun); false, appending nothing, once it does not.
    bool AddValues(int i, const PARAMVALUE* cells, size_t count, uint64_t run);
    // Copies up to `max` values of channel i from index `first` on, as doubles, unscaled; returns how
    // many. The cheap way for a chart to take over what was appended since its last look.
    size_t ReadValues(int i, size_t first, size_t max, double* out) const;

    // "ID name" for a channel the catalogue knows, "ID --" for one it does not.
    std::string GetChannelTitle(int i) const;
    // The catalogue's unit and display precision of the channel's parameter (" -- " and 0 when it does not
    // know it); a derived channel's own.
    std::string GetChannelUnit(int i) const;
    int GetChannelPrecision(int i) const;

    // --- derived channels ---
    // A channel computed sample by sample from two others (the analysis defines them). It is drawn,
    // scaled, exported and analysed like a captured channel, but never written into the measurement file:
    // the format has no place for it that older readers would not take for a captured channel. Derived
    // channels follow the captured ones, at index GetChannelCount() + k; GetChannelCount() and the files
    // know the captured channels only (the jobs read exactly those from the device), while the per-channel
    // operations above take either index and GetShownChannelCount() counts both.
    struct DerivedSpec {
        uint32_t id = 0;
        std::string name, unit;
        std::string definition; // the text form the analysis reads it back from
        uint32_t a = 0, b = 0;  // the sources: captured channels, or derived ones defined before
        std::function<double(double a, double b)> value;
        int precision = 3; // decimals it is shown with
    };
    // Replaces the derived channels and computes them from what their sources hold; appended values
    // extend them. Those whose sources are not there, or whose identifier a captured channel has, are left
    // out; a new measurement keeps the others, computed anew.
    void SetDerivedChannels(std::vector<DerivedSpec> specs);
    std::vector<DerivedSpec> GetDerivedChannels() const;
    int GetShownChannelCount() const;
    bool IsDerived(int i) const;
    // The time axis of the kind's chart: the x value of value index j, in GetTimeUnit().
    virtual double GetX(size_t j) const = 0;
    // "ms" (single) or "s" (continuous).
    virtual const char* GetTimeUnit() const = 0;

    // --- running flag ---
    bool IsRunning() const { return m_running.load(); }
    // Stores the flag, then posts the running hint to the user-interface thread. Any thread.
    void SetRunning(bool running);

    CMeasStart GetMeasStart() const;
    // Whether files are written and read with the measurement-start record (.nbts, .nbtc) or without
    // (.bts, .btc). Not stored in files.
    void SetWithMeasStart(bool withMeasStart) { m_withMeasStart = withMeasStart; }
    bool IsWithMeasStart() const { return m_withMeasStart; }

    // Changes whenever the document becomes another measurement (emptied, initialised, read from a file).
    // A job notes it when it starts and leaves a document alone that has since become another one.
    uint64_t GetGeneration() const { return m_generation.load(); }
    // The measurement run the document belongs to. It changes with every generation and whenever a run
    // ends or is taken up anew (NewRun). A job notes it when it is created; a job whose run has gone by
    // touches nothing, so that a file opened after a cancel never gets the cancelled run's traces.
    uint64_t GetRun() const { return m_run.load(); }
    void NewRun();
    // Runs `work` under the document's lock while the document still belongs to `run`; false, and
    // nothing run, once it does not. Keep `work` short: no device traffic, no message boxes.
    bool IfRun(uint64_t run, const std::function<void()>& work);
    // Changes whenever cells may have gone or been replaced, or channels come or go: anything but an
    // append. A chart that saw the same count before takes over only the cells appended since its last
    // look; when this has changed it reads the document anew.
    uint64_t GetRewriteCount() const { return m_rewrites.load(); }

    // --- files ---
    // Runs the reading or writing of a file; a window runs it on a thread of its own behind a progress
    // dialog, so that a file of millions of values keeps the window painted. Empty: on this thread.
    using FileWork = std::function<void(const std::function<void()>& work)>;
    // The view's open command: reads the file (the older format unless the extension is the kind's
    // current one), sets the title and updates the views. A file that cannot be read shows "The specified
    // file cannot be opened." and changes nothing; a damaged one keeps what was read and says so.
    bool OpenMeasurementFile(const std::string& path, const FileWork& run = {});
    // The view's save command: writes the current format, leaving the target untouched unless the whole
    // file was written. A target that cannot be created shows "The specified file cannot be opened.";
    // a failed save says so; either way title, format flag and file stay as they were.
    bool SaveMeasurementFile(const std::string& path, const FileWork& run = {});

    // Replaces the document by the file's content, without messages, title or view updates.
    MeasurementFileResult ReadFile(const std::string& path, bool withMeasStart);
    // Writes the document into `path` (through a temporary file beside it).
    MeasurementFileResult WriteFile(const std::string& path, bool withMeasStart) const;
    // Whether WriteFile could create `path`, tried before a long measurement rather than after it. Leaves
    // no file behind.
    static bool CanWriteFile(const std::string& path);
    // The file's bytes in memory, in the format IsWithMeasStart selects.
    std::string Serialize() const;
    // Replaces the document by `bytes`; throws quirel::ArchiveError after keeping what was read, or
    // before touching anything when bytes remain where the format ends.
    void Deserialize(std::string_view bytes);

    // A pass of reads under the document's lock; the worker's appends wait until it ends. Keep it short.
    class CReadPass {
    public:
        explicit CReadPass(const CDocMeasurementBase& doc) : m_doc(doc), m_lock(doc.m_mutex) {}
        int GetChannelCount() const { return static_cast<int>(m_doc.m_channels.size()); }
        int GetShownCount() const {
            return static_cast<int>(m_doc.m_channels.size() + m_doc.m_derived.size());
        }
        // Throws std::invalid_argument when i is not a channel index (captured or derived).
        const CParameterValuesDiagram& Channel(int i) const { return m_doc.ChannelAt(i); }
        // The cells of channel i, oldest first, contiguous; valid until the pass ends.
        const PARAMVALUE* Cells(int i) const { return Channel(i).GetValues().data(); }
        size_t Count(int i) const { return Channel(i).GetSize(); }

    private:
        const CDocMeasurementBase& m_doc;
        std::unique_lock<std::recursive_mutex> m_lock;
    };

protected:
    // The title after a file was opened or saved: the default title, " - [", the full path and "]".
    void SetFileTitle(const std::string& path);
    // Appends one channel per identifier (left axis, factor 1, offset 0, no cells).
    void AppendChannels(const std::vector<uint32_t>& ids);
    void SetMeasStart(const CMeasStart& start);
    void NewGeneration() {
        ++m_generation;
        ++m_run;
    }
    void NoteRewrite() { ++m_rewrites; }
    IUiPort* GetUiPort() const { return m_uiPort; }

    // The kind's part of the file after the common part, the lock held. Reading goes field by field
    // straight into the document, so that what was read before a damage stays.
    virtual void WriteKindPart(quirel::ArchiveWriter& ar, bool withMeasStart) const = 0;
    virtual void ReadKindPart(quirel::ArchiveReader& ar, bool withMeasStart) = 0;
    // An empty document of the same kind, to try the kind's part of a file on.
    virtual std::unique_ptr<CDocMeasurementBase> NewOfSameKind() const = 0;
    void WriteMeasStart(quirel::ArchiveWriter& ar, bool withMeasStart) const;
    void ReadMeasStart(quirel::ArchiveReader& ar, bool withMeasStart);

    mutable std::recursive_mutex m_mutex;

private:
    CParameterValuesDiagram& ChannelAt(int i);
    const CParameterValuesDiagram& ChannelAt(int i) const;
    struct Derived {
        DerivedSpec spec;
        CParameterValuesDiagram channel;
    };
    // Derived channel i's definition, nullptr for any other index; under the lock.
    const DerivedSpec* DerivedAt(int i) const;
    // The catalogue's description of channel i's parameter, nullptr where it has none; under the lock.
    const CParameterDescription* Describe(int i) const;
    // The index of the first channel before `limit` (captured, then derived) recording `id`, or -1.
    int FindShown(uint32_t id, size_t limit) const;
    // Appends to each derived channel what its sources gained; under the lock.
    void ExtendDerived();
    // Drops the derived channels the captured ones no longer serve; under the lock.
    void PruneDerived();
    void Write(CMeasurementArchiveOut& out, bool withMeasStart) const;
    void Read(CMeasurementArchiveIn& in, bool withMeasStart);
    // False when the bytes go on where the format ends. Files of the other kind or the other format read
    // as plausible numbers up to there (an interval taken from a trigger channel); their length tells.
    bool EndsWhereTheFormatEnds(CMeasurementArchiveIn& in, bool withMeasStart) const;
    // Tells the user about a file, from the user-interface thread.
    void ShowFileMessage(const std::string& text) const;

    const CParameterManager* m_catalogue;
    IUiPort* m_uiPort;
    std::vector<std::unique_ptr<CParameterValuesDiagram>> m_channels;
    std::vector<std::unique_ptr<Derived>> m_derived;
    std::atomic<bool> m_running{false};
    CMeasStart m_start;
    bool m_withMeasStart = false;
    std::atomic<uint64_t> m_generation{0};
    std::atomic<uint64_t> m_run{0};
    std::atomic<uint64_t> m_rewrites{0};
};
