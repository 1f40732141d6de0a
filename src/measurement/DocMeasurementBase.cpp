#include "measurement/DocMeasurementBase.h"

#include "base/BinaryArchive.h"
#include "base/FileUtil.h"
#include "base/StringTable.h"
#include "base/UiPort.h"
#include "measurement/MeasurementArchive.h"
#include "parameters/ParameterManager.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <fcntl.h>
#include <filesystem>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr unsigned kIdsCannotOpenFile = 188;    // "The specified file cannot be opened."
constexpr unsigned kIdsFileDamaged = 20001;     // the file ends early or is no measurement file
constexpr unsigned kIdsFileWriteFailed = 20002; // a save that did not complete
constexpr unsigned kIdsFileForeign = 1204;      // bytes remain where the format ends

// Bytes a file's part after its channels has at most (running flag, trigger, start record): a few dozen.
constexpr size_t kMaxTailBytes = 256;
// Bytes after each channel's cells: identifier, axis, factor, offset.
constexpr size_t kChannelTailBytes = 24;

std::string LowerExtension(const std::string& path) {
    const std::string name = std::filesystem::path(path).filename().string();
    const size_t dot = name.find_last_of('.');
    std::string ext = dot == std::string::npos ? std::string() : name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    return ext;
}

// Where a save really goes: through a symbolic link to the file it names, so the link stays a link.
std::string SaveTarget(const std::string& path) {
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
        const auto target = std::filesystem::weakly_canonical(path, ec);
        if (!ec)
            return target.string();
    }
    return path;
}

// What could not be opened for writing is refused before anything is written.
bool OpenForWriting(const std::string& target, quirel::AtomicFileWriter& file) {
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec) ||
        (std::filesystem::exists(target, ec) && ::access(target.c_str(), W_OK) != 0))
        return false;
    return file.Open(target);
}

// `work` on the thread `run` chooses, or on this one.
MeasurementFileResult RunFileWork(const CDocMeasurementBase::FileWork& run,
                                  const std::function<MeasurementFileResult()>& work) {
    MeasurementFileResult result = MeasurementFileResult::kCannotOpen;
    if (run)
        run([&] { result = work(); });
    else
        result = work();
    return result;
}

} // namespace

CDocMeasurementBase::CDocMeasurementBase(const CParameterManager* catalogue, IUiPort* uiPort)
    : m_catalogue(catalogue), m_uiPort(uiPort) {}

CDocMeasurementBase::~CDocMeasurementBase() = default;

void CDocMeasurementBase::DeleteContents() {
    std::lock_guard lock(m_mutex);
    m_channels.clear();
    for (auto& d : m_derived)
        d->channel.RemoveAll();
    m_running.store(false);
    m_start.Clear();
    NewGeneration();
    NoteRewrite();
}

bool CDocMeasurementBase::OnNewDocument() {
    DeleteContents();
    SetTitle(GetDefaultTitle());
    return true;
}

// ---- channels ----

CParameterValuesDiagram& CDocMeasurementBase::ChannelAt(int i) {
    if (i < 0 || static_cast<size_t>(i) >= m_channels.size() + m_derived.size())
        throw std::invalid_argument("channel index outside the measurement");
    const auto k = static_cast<size_t>(i);
    return k < m_channels.size() ? *m_channels[k] : m_derived[k - m_channels.size()]->channel;
}

const CParameterValuesDiagram& CDocMeasurementBase::ChannelAt(int i) const {
    return const_cast<CDocMeasurementBase*>(this)->ChannelAt(i);
}

void CDocMeasurementBase::ClearValues() {
    std::lock_guard lock(m_mutex);
    for (auto& channel : m_channels)
        channel->RemoveAll();
    for (auto& d : m_derived)
        d->channel.RemoveAll();
    NoteRewrite();
}

uint32_t CDocMeasurementBase::GetAxis(int i) const {
    std::lock_guard lock(m_mutex);
    return ChannelAt(i).GetAxis();
}

double CDocMeasurementBase::GetFactor(int i) const {
    std::lock_guard lock(m_mutex);
    return ChannelAt(i).GetFactor();
}

double CDocMeasurementBase::GetOffset(int i) const {
    std::lock_guard lock(m_mutex);
    return ChannelAt(i).GetOffset();
}

uint32_t CDocMeasurementBase::GetParameterId(int i) const {
    std::lock_guard lock(m_mutex);
    return ChannelAt(i).GetParameterId();
}

const CDocMeasurementBase::DerivedSpec* CDocMeasurementBase::DerivedAt(int i) const {
    const auto k = static_cast<size_t>(i);
    return i >= 0 && k >= m_channels.size() && k < m_channels.size() + m_derived.size()
               ? &m_derived[k - m_channels.size()]->spec
               : nullptr;
}

const CParameterDescription* CDocMeasurementBase::Describe(int i) const {
    return m_catalogue ? m_catalogue->FindDescription(static_cast<int32_t>(ChannelAt(i).GetParameterId()))
                       : nullptr;
}

std::string CDocMeasurementBase::GetChannelName(int i) const {
    std::lock_guard lock(m_mutex);
    if (const DerivedSpec* s = DerivedAt(i))
        return s->name;
    const CParameterDescription* d = Describe(i);
    return d ? d->GetName() : kUnknownChannelName;
}

std::string CDocMeasurementBase::GetChannelTitle(int i) const {
    std::lock_guard lock(m_mutex);
    const std::string id = std::to_string(ChannelAt(i).GetParameterId());
    if (const DerivedSpec* s = DerivedAt(i))
        return id + " " + s->name;
    const CParameterDescription* d = Describe(i);
    return id + " " + (d ? d->GetName() : std::string("--"));
}

std::string CDocMeasurementBase::GetChannelUnit(int i) const {
    std::lock_guard lock(m_mutex);
    if (const DerivedSpec* s = DerivedAt(i))
        return s->unit;
    const CParameterDescription* d = Describe(i);
    return d ? d->GetUnit() : std::string(kUnknownChannelName);
}

int CDocMeasurementBase::GetChannelPrecision(int i) const {
    std::lock_guard lock(m_mutex);
    if (const DerivedSpec* s = DerivedAt(i))
        return s->precision;
    const CParameterDescription* d = Describe(i);
    return d ? d->GetPrecision() : 0;
}

void CDocMeasurementBase::SetAxis(int i, uint32_t axis) {
    std::lock_guard lock(m_mutex);
    ChannelAt(i).SetAxis(axis);
}

void CDocMeasurementBase::SetFactor(int i, double factor) {
    std::lock_guard lock(m_mutex);
    ChannelAt(i).SetFactor(factor);
}

void CDocMeasurementBase::SetOffset(int i, double offset) {
    std::lock_guard lock(m_mutex);
    ChannelAt(i).SetOffset(offset);
}

void CDocMeasurementBase::SetScaling(int i, uint32_t axis, double factor, double offset) {
    std::lock_guard lock(m_mutex);
    CParameterValuesDiagram& channel = ChannelAt(i);
    channel.SetAxis(axis);
    channel.SetFactor(factor);
    channel.SetOffset(offset);
}

int CDocMeasurementBase::GetChannelCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_channels.size());
}

size_t CDocMeasurementBase::GetValueCount(int i) const {
    std::lock_guard lock(m_mutex);
    return ChannelAt(i).GetSize();
}

size_t CDocMeasurementBase::GetMaxValueCount() const {
    std::lock_guard lock(m_mutex);
    size_t most = 0;
    for (const auto& channel : m_channels)
        most = std::max(most, channel->GetSize());
    return most;
}

double CDocMeasurementBase::GetValue(int i, size_t j) const {
    std::lock_guard lock(m_mutex);
    return ChannelAt(i).GetAsDouble(j);
}

PARAMVALUE CDocMeasurementBase::GetCell(int i, size_t j) const {
    std::lock_guard lock(m_mutex);
    return ChannelAt(i).GetAt(j);
}

size_t CDocMeasurementBase::AddValue(int i, const PARAMVALUE& value) {
    std::lock_guard lock(m_mutex);
    const size_t index = ChannelAt(i).Add(value);
    ExtendDerived();
    return index;
}

bool CDocMeasurementBase::AddValues(int i, const PARAMVALUE* cells, size_t count, uint64_t run) {
    std::lock_guard lock(m_mutex);
    if (m_run.load() != run)
        return false;
    CParameterValuesDiagram& channel = ChannelAt(i);
    for (size_t k = 0; k < count; ++k)
        channel.Add(cells[k]);
    ExtendDerived();
    return true;
}

size_t CDocMeasurementBase::ReadValues(int i, size_t first, size_t max, double* out) const {
    std::lock_guard lock(m_mutex);
    const CParameterValues::Cells& cells = ChannelAt(i).GetValues();
    if (first >= cells.size())
        return 0;
    const size_t n = std::min(max, cells.size() - first);
    for (size_t k = 0; k < n; ++k)
        out[k] = cells[first + k].GetAsDouble().value_or(0.0);
    return n;
}

void CDocMeasurementBase::AppendChannels(const std::vector<uint32_t>& ids) {
    std::lock_guard lock(m_mutex);
    for (uint32_t id : ids)
        m_channels.push_back(std::make_unique<CParameterValuesDiagram>(id));
    PruneDerived();
    NoteRewrite();
}

// ---- derived channels ----

void CDocMeasurementBase::SetDerivedChannels(std::vector<DerivedSpec> specs) {
    std::lock_guard lock(m_mutex);
    m_derived.clear();
    for (DerivedSpec& spec : specs) {
        auto d = std::make_unique<Derived>();
        d->channel.SetId(static_cast<int32_t>(spec.id));
        d->spec = std::move(spec);
        m_derived.push_back(std::move(d));
    }
    PruneDerived();
    ExtendDerived();
    NoteRewrite();
}

std::vector<CDocMeasurementBase::DerivedSpec> CDocMeasurementBase::GetDerivedChannels() const {
    std::lock_guard lock(m_mutex);
    std::vector<DerivedSpec> specs;
    for (const auto& d : m_derived)
        specs.push_back(d->spec);
    return specs;
}

int CDocMeasurementBase::GetShownChannelCount() const {
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_channels.size() + m_derived.size());
}

bool CDocMeasurementBase::IsDerived(int i) const {
    std::lock_guard lock(m_mutex);
    return DerivedAt(i) != nullptr;
}

int CDocMeasurementBase::FindShown(uint32_t id, size_t limit) const {
    limit = std::min(limit, m_channels.size() + m_derived.size());
    for (size_t k = 0; k < limit; ++k)
        if (ChannelAt(static_cast<int>(k)).GetParameterId() == id)
            return static_cast<int>(k);
    return -1;
}

void CDocMeasurementBase::ExtendDerived() {
    for (size_t k = 0; k < m_derived.size(); ++k) {
        Derived& d = *m_derived[k];
        const size_t before = m_channels.size() + k;
        const int a = FindShown(d.spec.a, before), b = FindShown(d.spec.b, before);
        if (a < 0 || b < 0)
            continue;
        const CParameterValues::Cells& av = ChannelAt(a).GetValues();
        const CParameterValues::Cells& bv = ChannelAt(b).GetValues();
        for (size_t j = d.channel.GetSize(); j < std::min(av.size(), bv.size()); ++j) {
            PARAMVALUE cell(DataTypeCode::kFloat);
            cell.SetFloat(static_cast<float>(
                d.spec.value(av[j].GetAsDouble().value_or(0.0), bv[j].GetAsDouble().value_or(0.0))));
            d.channel.Add(cell);
        }
    }
}

void CDocMeasurementBase::PruneDerived() {
    for (size_t k = 0; k < m_derived.size();) {
        const DerivedSpec& spec = m_derived[k]->spec;
        const size_t before = m_channels.size() + k;
        if (FindShown(spec.id, m_channels.size()) >= 0 || FindShown(spec.a, before) < 0 ||
            FindShown(spec.b, before) < 0)
            m_derived.erase(m_derived.begin() + static_cast<std::ptrdiff_t>(k));
        else
            ++k;
    }
}

// ---- running flag, run and start ----

void CDocMeasurementBase::NewRun() {
    std::lock_guard lock(m_mutex);
    ++m_run;
}

bool CDocMeasurementBase::IfRun(uint64_t run, const std::function<void()>& work) {
    std::lock_guard lock(m_mutex);
    if (m_run.load() != run)
        return false;
    work();
    return true;
}

void CDocMeasurementBase::SetRunning(bool running) {
    m_running.store(running);
    if (m_uiPort)
        m_uiPort->PostDocumentUpdate(this, UpdateHint::kRunning);
}

CMeasStart CDocMeasurementBase::GetMeasStart() const {
    std::lock_guard lock(m_mutex);
    return m_start;
}

void CDocMeasurementBase::SetMeasStart(const CMeasStart& start) {
    std::lock_guard lock(m_mutex);
    m_start = start;
}

void CDocMeasurementBase::WriteMeasStart(quirel::ArchiveWriter& ar, bool withMeasStart) const {
    if (withMeasStart)
        m_start.Serialize(ar);
}

void CDocMeasurementBase::ReadMeasStart(quirel::ArchiveReader& ar, bool withMeasStart) {
    if (withMeasStart)
        m_start.Deserialize(ar);
}

// ---- serialisation ----

void CDocMeasurementBase::Write(CMeasurementArchiveOut& out, bool withMeasStart) const {
    std::lock_guard lock(m_mutex);
    quirel::ArchiveWriter& ar = out.Fields();
    ar.writeCount(static_cast<uint32_t>(m_channels.size()));
    for (const auto& channel : m_channels) {
        out.WriteCells(channel->GetValues());
        ar.writeU32(channel->GetParameterId());
        ar.writeU32(channel->GetAxis());
        ar.writeF64(channel->GetFactor());
        ar.writeF64(channel->GetOffset());
    }
    ar.writeU8(m_running.load() ? 1 : 0);
    WriteKindPart(ar, withMeasStart);
}

void CDocMeasurementBase::Read(CMeasurementArchiveIn& in, bool withMeasStart) {
    std::lock_guard lock(m_mutex);
    DeleteContents();
    // Whatever part of the file is read, the derived channels follow the channels it brought.
    struct DerivedFollow {
        CDocMeasurementBase& doc;
        ~DerivedFollow() {
            doc.PruneDerived();
            doc.ExtendDerived();
        }
    } follow{*this};
    quirel::ArchiveReader head = in.Window(6);
    const uint32_t channels = head.readCount();
    in.Consume(head.position());
    for (uint32_t c = 0; c < channels; ++c) {
        // Each channel joins the document as soon as it has begun, so a damage keeps what came before.
        m_channels.push_back(std::make_unique<CParameterValuesDiagram>());
        CParameterValuesDiagram& channel = *m_channels.back();
        CParameterValues::Cells cells;
        try {
            in.ReadCells(cells);
        } catch (const quirel::ArchiveError&) {
            channel.SetValues(std::move(cells));
            throw;
        }
        channel.SetValues(std::move(cells));
        quirel::ArchiveReader ar = in.Window(24);
        channel.SetId(ar.readI32());
        channel.SetAxis(ar.readU32());
        channel.SetFactor(ar.readF64());
        channel.SetOffset(ar.readF64());
        in.Consume(ar.position());
    }
    // The rest is a few dozen bytes in any file this program or its forerunners wrote.
    quirel::ArchiveReader tail = in.Window(SIZE_MAX);
    m_running.store(tail.readU8() != 0);
    ReadKindPart(tail, withMeasStart);
}

bool CDocMeasurementBase::EndsWhereTheFormatEnds(CMeasurementArchiveIn& in, bool withMeasStart) const {
    try {
        quirel::ArchiveReader head = in.Window(6);
        const uint32_t channels = head.readCount();
        in.Consume(head.position());
        for (uint32_t c = 0; c < channels; ++c) {
            quirel::ArchiveReader ar = in.Window(6);
            const uint64_t bytes = uint64_t{ar.readCount()} * sizeof(PARAMVALUE) + kChannelTailBytes;
            in.Consume(ar.position());
            if (in.Skip(bytes) < bytes)
                return true; // ends early: damaged, which the reading itself tells
        }
        quirel::ArchiveReader tail = in.Window(kMaxTailBytes + 1);
        if (tail.remaining() > kMaxTailBytes)
            return false;
        tail.readU8();
        NewOfSameKind()->ReadKindPart(tail, withMeasStart);
        return tail.atEnd();
    } catch (const quirel::ArchiveError&) {
        return true;
    }
}

std::string CDocMeasurementBase::Serialize() const {
    CMeasurementArchiveOut out;
    Write(out, m_withMeasStart);
    return out.Bytes();
}

void CDocMeasurementBase::Deserialize(std::string_view bytes) {
    CMeasurementArchiveIn probe(bytes);
    if (!EndsWhereTheFormatEnds(probe, m_withMeasStart))
        throw quirel::ArchiveError("bytes remain where the format ends");
    CMeasurementArchiveIn in(bytes);
    Read(in, m_withMeasStart);
}

MeasurementFileResult CDocMeasurementBase::ReadFile(const std::string& path, bool withMeasStart) {
    // A folder, a FIFO or a device is no measurement file.
    const int fd = quirel::openRegularFile(path);
    if (fd < 0)
        return MeasurementFileResult::kCannotOpen;
    bool fits = false;
    {
        CMeasurementArchiveIn probe(fd);
        fits = EndsWhereTheFormatEnds(probe, withMeasStart);
    }
    if (!fits || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return fits ? MeasurementFileResult::kCannotOpen : MeasurementFileResult::kForeign;
    }
    CMeasurementArchiveIn in(fd);
    MeasurementFileResult result = MeasurementFileResult::kOk;
    try {
        Read(in, withMeasStart);
    } catch (const quirel::ArchiveError&) {
        result = MeasurementFileResult::kDamaged;
    }
    ::close(fd);
    return result;
}

bool CDocMeasurementBase::CanWriteFile(const std::string& path) {
    quirel::AtomicFileWriter file;
    return OpenForWriting(SaveTarget(path), file); // abandoned as it goes
}

MeasurementFileResult CDocMeasurementBase::WriteFile(const std::string& path, bool withMeasStart) const {
    quirel::AtomicFileWriter file;
    if (!OpenForWriting(SaveTarget(path), file))
        return MeasurementFileResult::kCannotOpen;
    CMeasurementArchiveOut out(&file);
    Write(out, withMeasStart);
    // Flushed to the disk without the lock: the worker may go on appending meanwhile.
    if (!out.Flush() || !file.Commit())
        return MeasurementFileResult::kWriteFailed;
    return MeasurementFileResult::kOk;
}

// ---- the open and save commands ----

void CDocMeasurementBase::SetFileTitle(const std::string& path) {
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(path, ec);
    SetTitle(GetDefaultTitle() + " - [" + (ec ? path : full.string()) + "]");
}

void CDocMeasurementBase::ShowFileMessage(const std::string& text) const {
    if (m_uiPort)
        m_uiPort->MessageBox(text, std::string(), MbIcon::Error);
}

bool CDocMeasurementBase::OpenMeasurementFile(const std::string& path, const FileWork& run) {
    const bool withMeasStart = LowerExtension(path) == GetFileExtension();
    const MeasurementFileResult result = RunFileWork(run, [&] { return ReadFile(path, withMeasStart); });
    if (result == MeasurementFileResult::kCannotOpen || result == MeasurementFileResult::kForeign) {
        ShowFileMessage(quirel::loadString(result == MeasurementFileResult::kForeign ? kIdsFileForeign
                                                                                     : kIdsCannotOpenFile));
        return false;
    }
    SetWithMeasStart(withMeasStart);
    SetFileTitle(path);
    UpdateAllViews(nullptr, UpdateHint::kDataChanged);
    if (result == MeasurementFileResult::kDamaged) {
        ShowFileMessage(quirel::loadString(kIdsFileDamaged));
        return false;
    }
    return true;
}

bool CDocMeasurementBase::SaveMeasurementFile(const std::string& path, const FileWork& run) {
    switch (RunFileWork(run, [&] { return WriteFile(path, true); })) {
    case MeasurementFileResult::kOk:
        SetWithMeasStart(true);
        SetFileTitle(path);
        return true;
    case MeasurementFileResult::kWriteFailed:
        ShowFileMessage(quirel::loadString(kIdsFileWriteFailed));
        return false;
    default:
        ShowFileMessage(quirel::loadString(kIdsCannotOpenFile));
        return false;
    }
}
