#include "write/conv_filter.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "decode/media_codec.h"
#include "write/output_writer.h"
#include "pipeline/event_codes.h"
#include "pipeline/media_guids.h"
#include "pipeline/pos_pass_thru.h"
#include "com/debug_log.h"

namespace {

// Pictures offered to the preview, counted over every sink: every fifth one is shown.
std::atomic<std::uint64_t> g_previewCounter{0};

constexpr std::int64_t kSilenceBlock = 4096; // samples

void AtomicMin(std::atomic<REFERENCE_TIME>& value, REFERENCE_TIME candidate)
{
    REFERENCE_TIME current = value.load();
    while (candidate < current && !value.compare_exchange_weak(current, candidate)) {
    }
}

const BITMAPINFOHEADER* BitmapHeaderOf(const CMediaType& type)
{
    if (!type.pbFormat) return nullptr;
    if ((type.formattype == FORMAT_VideoInfo || type.formattype == FORMAT_MPEGVideo) && type.cbFormat >= 88)
        return reinterpret_cast<const BITMAPINFOHEADER*>(type.pbFormat + 48);
    if ((type.formattype == FORMAT_VideoInfo2 || type.formattype == FORMAT_MPEG2_VIDEO) && type.cbFormat >= 112)
        return reinterpret_cast<const BITMAPINFOHEADER*>(type.pbFormat + 72);
    return nullptr;
}

} // namespace

// ---- Input pins ----

CConvInputPin::CConvInputPin(CConvFilter* filter, HRESULT* phr, const char* name, StreamKind kind, int index)
    : CBaseInputPin(name, filter, &filter->m_csFilter, phr, name), m_sink(filter), m_kind(kind), m_index(index)
{
}

HRESULT CConvInputPin::CheckMediaType(const CMediaType* type) { return type ? S_OK : E_POINTER; }

HRESULT CConvInputPin::CompleteConnect(IPin* receivePin)
{
    if (m_kind == StreamKind::kVideo)
        m_sink->VideoConnected(m_mt);
    else if (m_kind == StreamKind::kAudio)
        m_sink->AudioConnected(*m_sink->m_sounds[static_cast<std::size_t>(m_index)], m_mt);
    else if (CopiedStream* copy = m_sink->CopyOf(*this))
        copy->Connect(m_mt);
    return CBaseInputPin::CompleteConnect(receivePin);
}

HRESULT CConvInputPin::Active()
{
    m_endOfStream = false;
    return CBaseInputPin::Active();
}

HRESULT CConvInputPin::Inactive()
{
    const HRESULT hr = CBaseInputPin::Inactive();
    m_sink->PicturesMoved(); // a waiting sound thread sees the stop
    return hr;
}

HRESULT CConvInputPin::BeginFlush()
{
    const HRESULT hr = CBaseInputPin::BeginFlush();
    m_sink->PicturesMoved();
    return hr;
}

HRESULT CConvInputPin::Receive(IMediaSample* sample)
{
    HRESULT hr = CBaseInputPin::Receive(sample);
    if (hr != S_OK) return hr;
    if (CopiedStream* copy = m_sink->CopyOf(*this)) return m_sink->ReceiveCopied(*this, *copy, sample);
    if (m_kind == StreamKind::kSubtitle) return S_OK;
    return m_kind == StreamKind::kVideo ? m_sink->ReceiveVideo(sample)
                                        : m_sink->ReceiveAudio(*m_sink->m_sounds[static_cast<std::size_t>(m_index)], sample);
}

HRESULT CConvInputPin::EndOfStream()
{
    const HRESULT hr = CheckStreaming();
    if (hr != S_OK) return hr;
    if (CopiedStream* copy = m_sink->CopyOf(*this)) {
        CAutoLock lock(&m_sink->m_csFilter);
        m_sink->EndCopied(*copy);
    }
    m_endOfStream = true;
    m_sink->PicturesMoved();
    m_sink->CheckCompletion();
    return S_OK;
}

// ---- Preview pin ----

CVideoPrePin::CVideoPrePin(CConvFilter* filter, HRESULT* phr)
    : CBaseOutputPin("Video Pre", filter, &filter->m_csFilter, phr, "Video Pre"), m_sink(filter)
{
}

CVideoPrePin::~CVideoPrePin() = default;

HRESULT CVideoPrePin::CheckMediaType(const CMediaType* type)
{
    if (!type) return E_POINTER;
    if (const BITMAPINFOHEADER* header = BitmapHeaderOf(*type)) m_stride = header->biWidth;
    return S_OK;
}

HRESULT CVideoPrePin::GetMediaType(int position, CMediaType* type)
{
    if (position < 0) return E_INVALIDARG;
    // Copied pictures are coded: there is nothing to show.
    if (position > 0 || !m_sink->m_videoIn->IsConnected() || m_sink->m_videoCopy) return VFW_S_NO_MORE_ITEMS;
    *type = m_sink->m_videoIn->CurrentMediaType();
    return S_OK;
}

HRESULT CVideoPrePin::DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES*)
{
    const BITMAPINFOHEADER* header = BitmapHeaderOf(m_mt);
    if (!header) return E_FAIL;
    LONG size = static_cast<LONG>(header->biSizeImage);
    if (size == 0) size = header->biWidth * std::abs(header->biHeight) * 4;
    ALLOCATOR_PROPERTIES wanted{5, size, 1, 0}, actual{};
    const HRESULT hr = allocator->SetProperties(&wanted, &actual);
    if (FAILED(hr)) return hr;
    return actual.cBuffers < 5 || actual.cbBuffer < size ? E_FAIL : S_OK;
}

HRESULT CVideoPrePin::Active()
{
    HRESULT hr = CBaseOutputPin::Active();
    if (FAILED(hr) || !IsConnected()) return hr;
    m_queue = std::make_unique<OutputQueue>(GetConnected(), &hr, false, true, 5, false, 5);
    if (FAILED(hr)) m_queue.reset();
    return hr;
}

HRESULT CVideoPrePin::Inactive()
{
    const HRESULT hr = CBaseOutputPin::Inactive();
    m_queue.reset();
    return hr;
}

HRESULT CVideoPrePin::DeliverEndOfStream()
{
    if (m_queue) m_queue->EOS();
    return S_OK;
}

void CVideoPrePin::Offer(const BYTE* picture, int width, int height)
{
    if (!m_queue) return;
    ComPtr<IMediaSample> sample;
    if (FAILED(GetDeliveryBuffer(sample.Put(), nullptr, nullptr, 0)) || !sample) return;
    BYTE* out = nullptr;
    sample->GetPointer(&out);
    const int stride = m_stride > 0 ? m_stride : width;
    for (int row = 0; row < height; ++row) std::memcpy(out + row * stride, picture + row * width, static_cast<std::size_t>(width));
    BYTE* chromaOut = out + stride * height;
    const BYTE* chromaIn = picture + width * height;
    for (int plane = 0; plane < 2; ++plane)
        for (int row = 0; row < height / 2; ++row)
            std::memcpy(chromaOut + (plane * (height / 2) + row) * (stride / 2),
                        chromaIn + (plane * (height / 2) + row) * (width / 2), static_cast<std::size_t>(width / 2));
    sample->SetActualDataLength(width * height * 3 / 2);
    sample->SetTime(nullptr, nullptr);
    m_queue->Receive(std::move(sample));
}

// ---- Filter ----

CConvFilter::CConvFilter() : CBaseFilter("CConvFilter", nullptr, &m_csFilter, CLSID_ConvFilter)
{
    HRESULT hr = S_OK;
    m_sounds.push_back(std::make_unique<SoundInput>());
    m_sounds.front()->pin = std::make_unique<CConvInputPin>(this, &hr, "Audio In", StreamKind::kAudio, 0);
    m_videoIn = std::make_unique<CConvInputPin>(this, &hr, "Video In", StreamKind::kVideo, 0);
    m_videoPre = std::make_unique<CVideoPrePin>(this, &hr);
}

CConvFilter::~CConvFilter() = default;

void CConvFilter::AddSoundInput()
{
    CAutoLock lock(&m_csFilter);
    HRESULT hr = S_OK;
    const int index = static_cast<int>(m_sounds.size());
    auto sound = std::make_unique<SoundInput>();
    // The pin keeps a pointer to its name: the names live as long as the program.
    static const char* const kNames[] = {"Audio In", "Audio In 2", "Audio In 3", "Audio In 4", "Audio In 5",
                                         "Audio In 6", "Audio In 7", "Audio In 8"};
    const char* name = index < 8 ? kNames[index] : "Audio In n";
    sound->pin = std::make_unique<CConvInputPin>(this, &hr, name, StreamKind::kAudio, index);
    m_sounds.push_back(std::move(sound));
    IncrementPinVersion();
}

void CConvFilter::AddSubtitleInput()
{
    CAutoLock lock(&m_csFilter);
    HRESULT hr = S_OK;
    const int index = static_cast<int>(m_subtitles.size());
    static const char* const kNames[] = {"Subtitle In", "Subtitle In 2", "Subtitle In 3", "Subtitle In 4", "Subtitle In 5",
                                         "Subtitle In 6", "Subtitle In 7", "Subtitle In 8"};
    const char* name = index < 8 ? kNames[index] : "Subtitle In n";
    auto subtitle = std::make_unique<SubtitleInput>();
    subtitle->pin = std::make_unique<CConvInputPin>(this, &hr, name, StreamKind::kSubtitle, index);
    subtitle->copy = std::make_unique<CopiedStream>(StreamKind::kSubtitle, static_cast<std::size_t>(index), CopySink());
    m_subtitles.push_back(std::move(subtitle));
    IncrementPinVersion();
}

bool CConvFilter::Writes(const SoundInput& sound) const
{
    return m_writer && sound.pin->Sound() < static_cast<int>(m_writer->AudioTracks()) && m_writer->HasAudio();
}

bool CConvFilter::AnySoundConnected() const
{
    return std::any_of(m_sounds.begin(), m_sounds.end(), [](const auto& s) { return s->pin->IsConnected(); });
}

HRESULT CConvFilter::Create(CConvFilter** filter)
{
    if (!filter) return E_POINTER;
    ComPtr<CConvFilter> sink = CreateComObject<CConvFilter>();
    *filter = sink.Detach();
    return *filter ? S_OK : E_OUTOFMEMORY;
}

HRESULT CConvFilter::NonDelegatingQueryInterface(REFIID riid, void** ppv)
{
    if (!ppv) return E_POINTER;
    if (riid == IMediaSeeking::iid || riid == IMediaPosition::iid) {
        CAutoLock lock(&m_csFilter);
        if (!m_position) {
            // Aggregated: the filter holds the pass-through's own (inner) IUnknown.
            const HRESULT made = CreateComObjectAs(IUnknown::iid, m_position.PutVoid(), [this](HRESULT* hr) {
                return new (std::nothrow) CPosPassThru("Conver pass-through", GetOwner(), hr, m_sounds.front()->pin.get());
            });
            if (made == E_OUTOFMEMORY) return E_OUTOFMEMORY;
            if (FAILED(made)) {
                *ppv = nullptr;
                return E_NOINTERFACE;
            }
        }
        return m_position->QueryInterface(riid, ppv);
    }
    return CBaseFilter::NonDelegatingQueryInterface(riid, ppv);
}

HRESULT CConvFilter::Pause()
{
    CAutoLock lock(&m_csFilter);
    if (IsStopped()) {
        m_completed = false;
        m_writeFailed = false;
        m_startFixed = false;
        m_rangeStart = m_requestedStart;
        m_lost.clear();
        m_videoEnd = kUnset;
        ResetCopies();
        // A sound stream of the file that no pin feeds is silence, at the writer's format.
        for (const auto& sound : m_sounds) {
            const auto track = static_cast<std::size_t>(sound->pin->Sound());
            sound->unfed = !sound->pin->IsConnected() && Writes(*sound) && !m_writer->Copies(StreamKind::kAudio, track);
            if (!sound->unfed) continue;
            const OutputWriter::SoundFormat format = m_writer->AudioFormat(track);
            sound->sampleRate = format.sampleRate;
            sound->blockAlign = format.channels * 2; // 16-bit interleaved
            sound->silence.assign(static_cast<std::size_t>(kSilenceBlock) * static_cast<std::size_t>(sound->blockAlign), 0);
        }
    }
    return CBaseFilter::Pause();
}

HRESULT CConvFilter::Run(REFERENCE_TIME start)
{
    const HRESULT hr = CBaseFilter::Run(start);
    PicturesMoved();
    const bool fed = m_videoIn->IsConnected() || AnySoundConnected() ||
                     std::any_of(m_subtitles.begin(), m_subtitles.end(), [](const auto& s) { return s->pin->IsConnected(); });
    if (SUCCEEDED(hr) && !fed) CheckCompletion();
    return hr;
}

HRESULT CConvFilter::Stop()
{
    const HRESULT hr = CBaseFilter::Stop();
    // The streaming threads that wait here look at the state, which is stopped only now.
    PicturesMoved();
    return hr;
}

void CConvFilter::WaitWhilePaused(const CConvInputPin& pin)
{
    std::unique_lock lock(m_progressLock);
    Hold(lock, &pin == m_videoIn.get(), [&] { return State() != State_Paused || pin.IsFlushing(); });
}

CBasePin* CConvFilter::GetPin(int index)
{
    switch (index) {
    case 0: return m_sounds.front()->pin.get();
    case 1: return m_videoIn.get();
    case 2: return m_videoPre.get();
    default: {
        // The sound streams added after the first, then the subtitle streams.
        const int sounds = static_cast<int>(m_sounds.size());
        if (index > 2 && index - 2 < sounds) return m_sounds[static_cast<std::size_t>(index - 2)]->pin.get();
        const int subtitle = index - 2 - sounds;
        return subtitle >= 0 && subtitle < static_cast<int>(m_subtitles.size()) ? m_subtitles[static_cast<std::size_t>(subtitle)]->pin.get()
                                                                                 : nullptr;
    }
    }
}

void CConvFilter::VideoConnected(const CMediaType& type)
{
    m_videoCopy.reset();
    if (m_writer && m_writer->Copies(StreamKind::kVideo)) {
        m_videoCopy = std::make_unique<CopiedStream>(StreamKind::kVideo, 0, CopySink());
        m_videoCopy->Connect(type);
        return;
    }
    if (const BITMAPINFOHEADER* header = BitmapHeaderOf(type)) m_videoFormat = *header;
}

void CConvFilter::AudioConnected(SoundInput& sound, const CMediaType& type)
{
    sound.copy.reset();
    const auto track = static_cast<std::size_t>(sound.pin->Sound());
    if (m_writer && m_writer->Copies(StreamKind::kAudio, track)) {
        sound.copy = std::make_unique<CopiedStream>(StreamKind::kAudio, track, CopySink());
        sound.copy->Connect(type);
        return;
    }
    if (type.formattype != FORMAT_WaveFormatEx || type.cbFormat < sizeof(WAVEFORMATEX)) return;
    const auto* wfe = reinterpret_cast<const WAVEFORMATEX*>(type.pbFormat);
    sound.sampleRate = static_cast<int>(wfe->nSamplesPerSec);
    sound.blockAlign = wfe->nBlockAlign;
    sound.silence.assign(static_cast<std::size_t>(kSilenceBlock) * sound.blockAlign, 0);
}

HRESULT CConvFilter::ReceiveVideo(IMediaSample* sample)
{
    if (!m_writer || !m_writer->HasVideo()) return S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    if (FAILED(sample->GetTime(&start, &stop))) return S_OK;
    // A picture that ends where the range begins is shown before it.
    if (stop <= m_rangeStart.load() || start > m_rangeEnd) return S_OK;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const int width = m_videoFormat.biWidth, height = std::abs(m_videoFormat.biHeight);
    const long size = static_cast<long>(width) * height * 3 / 2;
    if (!data || sample->GetActualDataLength() < size) return S_OK;
    WaitWhilePaused(*m_videoIn);

    if (m_previewEnabled && m_videoPre->IsConnected() && g_previewCounter++ % 5 == 0) m_videoPre->Offer(data, width, height);

    CAutoLock lock(&m_csFilter);
    if (m_writeFailed) return ZZ_E_WRITE_FAILED;
    // Released by a stop or a flush: the writer is not ours any more.
    if (!IsActive() || m_videoIn->IsFlushing()) return VFW_E_WRONG_STATE;
    if (!m_startFixed.load() && !FixStart(start, stop)) return S_OK;
    start -= m_rangeStart.load();
    stop -= m_rangeStart.load();
    // Pictures that start later than the last one stopped (or the range began) lack what lies
    // between.
    const REFERENCE_TIME previous = m_videoEnd == kUnset ? 0 : m_videoEnd;
    if (start - previous > kLostAtLeast) AddLost(previous, start);
    m_videoEnd = std::max(previous, stop);
    REFERENCE_TIME slot = m_nextVideoSlot.load();
    while (slot < stop) {
        if (m_writer->WriteVideo(data) != 0) return WriteFailed();
        slot = static_cast<REFERENCE_TIME>(std::trunc(static_cast<double>(slot) + m_frameDuration));
        m_nextVideoSlot = slot;
    }
    // Kept to make the pictures up to the sound's length at the end.
    if (m_writer->HasAudio() && AnySoundConnected()) m_lastPicture.assign(data, data + size);
    PicturePlaced();
    return S_OK;
}

bool CConvFilter::FixStart(REFERENCE_TIME start, REFERENCE_TIME stop)
{
    const REFERENCE_TIME range = m_rangeStart.load();
    const REFERENCE_TIME half = (stop - start) / 2;
    bool kept = true;
    if (start <= range && range - start > half) {
        // Most of this picture lies before the range: the next one starts the file.
        m_rangeStart = stop;
        kept = false;
    } else if (std::abs(start - range) <= half) {
        m_rangeStart = start;
    }
    // (A first picture that starts further into the range leaves the start where it is: the gap
    // before it is made up with that picture.)
    m_startFixed = true;
    PicturesMoved();
    return kept;
}

void CConvFilter::WaitForStart(const CConvInputPin& pin)
{
    if (!m_videoIn->IsConnected() || !m_writer->HasVideo()) return;
    std::unique_lock lock(m_progressLock);
    Hold(lock, false, [&] {
        return m_startFixed.load() || m_videoIn->AtEndOfStream() || m_videoIn->IsFlushing() || pin.IsFlushing() ||
               !IsActive();
    });
}

void CConvFilter::PicturesMoved()
{
    {
        // Taken so that a thread between its test and its wait hears this; the threads woken
        // need not then wait for the lock as well.
        std::lock_guard lock(m_progressLock);
    }
    m_progress.notify_all();
}

void CConvFilter::PicturePlaced()
{
    // A sound thread is woken only once the pictures have reached what it waits for, not by every
    // picture.
    if (m_nextVideoSlot.load() < m_soundWaitsFor.load()) return;
    m_soundWaitsFor = kNobodyWaits;
    PicturesMoved();
}

void CConvFilter::WaitForPictures(const CConvInputPin& pin, REFERENCE_TIME position)
{
    // The sound may run 1 s ahead of the pictures. A sound thread held there goes on when it is
    // half a second ahead, so that it writes half a second at a time instead of waking with
    // every picture.
    constexpr REFERENCE_TIME kLead = 10000000;
    constexpr REFERENCE_TIME kResumeLead = kLead / 2;
    if (!m_videoIn->IsConnected() || !m_writer->HasVideo()) return;
    const auto stopped = [&] { return m_videoIn->AtEndOfStream() || m_videoIn->IsFlushing() || pin.IsFlushing() || !IsActive(); };
    if (position <= m_nextVideoSlot.load() + kLead || stopped()) return;
    std::unique_lock lock(m_progressLock);
    Hold(lock, false, [&] {
        // Said before the slot is looked at: a picture placed in between sees it and wakes us.
        AtomicMin(m_soundWaitsFor, position - kResumeLead);
        return position <= m_nextVideoSlot.load() + kResumeLead || stopped();
    });
}

bool CConvFilter::WriteSilence(SoundInput& sound, std::int64_t samples)
{
    const auto track = static_cast<std::size_t>(sound.pin->Sound());
    while (samples > 0 && sound.blockAlign > 0) {
        const std::int64_t n = std::min(samples, kSilenceBlock);
        if (m_writer->WriteAudio(track, sound.silence.data(), static_cast<std::size_t>(n * sound.blockAlign)) != 0) return false;
        sound.samples += n;
        sound.silenceInserted += n;
        samples -= n;
    }
    return true;
}

HRESULT CConvFilter::WriteFailed()
{
    if (!m_writeFailed) {
        m_writeFailed = true;
        DebugLog("sink: the writer failed: %s\n", m_writer->LastError().c_str());
        NotifyEvent(EC_ERRORABORT, ZZ_E_WRITE_FAILED, 0);
    }
    return ZZ_E_WRITE_FAILED;
}

HRESULT CConvFilter::ReceiveAudio(SoundInput& sound, IMediaSample* sample)
{
    if (!Writes(sound) || sound.blockAlign <= 0 || sound.sampleRate <= 0) return S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    if (FAILED(sample->GetTime(&start, &stop))) return S_OK;
    if (stop < m_rangeStart.load() || start > m_rangeEnd) return S_OK;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::int64_t frames = sample->GetActualDataLength() / sound.blockAlign;
    if (!data || frames <= 0) return S_OK;
    const CConvInputPin& pin = *sound.pin;
    WaitWhilePaused(pin);
    // The sound is placed from where the file begins, which the first picture decides.
    WaitForStart(pin);
    WaitForPictures(pin, start - m_rangeStart.load());

    CAutoLock lock(&m_csFilter);
    if (m_writeFailed) return ZZ_E_WRITE_FAILED;
    if (!IsActive() || pin.IsFlushing()) return VFW_E_WRONG_STATE;
    const REFERENCE_TIME position = start - m_rangeStart.load();
    sound.position = position;
    // Where the time stamp puts this sound, against how much has been written: a gap of more
    // than 20 ms becomes silence, an overlap is cut (sound before the range start included). The
    // file's first sound is placed exactly: it sets where all the rest lies against the pictures.
    const auto expected = static_cast<std::int64_t>(std::floor(static_cast<double>(position) * sound.sampleRate / 1e7));
    const std::int64_t difference = expected - sound.samples;
    const std::int64_t tolerance = sound.samples == 0 ? 0 : sound.sampleRate / 50;
    std::int64_t skip = 0;
    if (difference > tolerance) {
        if (difference * 10000000 / sound.sampleRate > kLostAtLeast) AddLost(sound.End(), position);
        if (!WriteSilence(sound, difference)) return WriteFailed();
    } else if (difference < -tolerance) {
        skip = std::min(-difference, frames);
        sound.samplesCut += skip;
    }
    frames -= skip;
    if (frames > 0) {
        if (m_writer->WriteAudio(static_cast<std::size_t>(pin.Sound()), data + skip * sound.blockAlign,
                                 static_cast<std::size_t>(frames * sound.blockAlign)) != 0)
            return WriteFailed();
        sound.samples += frames;
    }
    return S_OK;
}

void CConvFilter::AddLost(REFERENCE_TIME start, REFERENCE_TIME stop)
{
    DebugLog("sink: nothing from %.3f s to %.3f s\n", static_cast<double>(start) / 1e7, static_cast<double>(stop) / 1e7);
    m_lost.push_back({start, stop});
}

std::vector<LostStretch> MergeLost(std::vector<LostStretch> lost)
{
    std::sort(lost.begin(), lost.end(), [](const LostStretch& a, const LostStretch& b) { return a.start < b.start; });
    std::vector<LostStretch> merged;
    for (const LostStretch& s : lost) {
        if (!merged.empty() && s.start <= merged.back().stop + kLostAtLeast)
            merged.back().stop = std::max(merged.back().stop, s.stop);
        else
            merged.push_back(s);
    }
    return merged;
}

std::vector<LostStretch> CConvFilter::Lost()
{
    CAutoLock lock(&m_csFilter);
    return MergeLost(m_lost);
}

void CConvFilter::CheckCompletion()
{
    CAutoLock lock(&m_csFilter);
    for (const auto& sound : m_sounds)
        if (sound->pin->IsConnected() && !sound->pin->AtEndOfStream()) return;
    if (m_videoIn->IsConnected() && !m_videoIn->AtEndOfStream()) return;
    for (const auto& subtitle : m_subtitles)
        if (subtitle->pin->IsConnected() && !subtitle->pin->AtEndOfStream()) return;
    if (m_completed || m_writeFailed) return;
    m_completed = true;
    // The sound streams the file gets, each connected with a known format, or unfed.
    std::vector<SoundInput*> written;
    for (const auto& sound : m_sounds)
        if (sound->Placed() && Writes(*sound)) written.push_back(sound.get());
    // Streams that end before the range's length lack their end (a stream without sound lacks
    // nothing).
    if (m_expectedLength > 0 && m_writer) {
        if (m_videoIn->IsConnected() && m_writer->HasVideo()) {
            const REFERENCE_TIME end = m_videoEnd == kUnset ? 0 : m_videoEnd;
            if (m_expectedLength - end > kLostAtLeast) AddLost(end, m_expectedLength);
        }
        for (const SoundInput* sound : written)
            if (!sound->unfed && m_expectedLength - sound->End() > kLostAtLeast) AddLost(sound->End(), m_expectedLength);
    }
    // Without pictures, an unfed stream is silence as long as the longest sound, or the range.
    if (m_writer && !m_writer->HasVideo()) {
        REFERENCE_TIME end = m_expectedLength;
        for (const SoundInput* sound : written) end = std::max(end, sound->End());
        for (SoundInput* sound : written) {
            if (!sound->unfed) continue;
            const auto samples = static_cast<std::int64_t>(std::floor(static_cast<double>(end) * sound->sampleRate / 1e7));
            if (samples > sound->samples && !WriteSilence(*sound, samples - sound->samples)) {
                WriteFailed();
                return;
            }
            sound->position = sound->End();
        }
    }
    // Sound and pictures end together: the pictures are made up to the longest sound's end with
    // the last one, then every sound with silence to the pictures' end.
    const bool copiedSound = std::any_of(m_sounds.begin(), m_sounds.end(), [](const auto& s) { return s->copy && s->pin->IsConnected(); });
    if (m_writer && m_writer->HasVideo() && m_videoIn->IsConnected() && (!written.empty() || copiedSound)) {
        REFERENCE_TIME audioEnd = 0;
        for (const SoundInput* sound : written) audioEnd = std::max(audioEnd, sound->End());
        for (const auto& sound : m_sounds)
            if (sound->copy && sound->copy->WrittenEnd() != kUnset) audioEnd = std::max(audioEnd, sound->copy->WrittenEnd());
        REFERENCE_TIME slot = m_nextVideoSlot.load();
        while (!m_lastPicture.empty() && slot < audioEnd && slot > 0) {
            if (m_writer->WriteVideo(m_lastPicture.data()) != 0) {
                WriteFailed();
                return;
            }
            slot = static_cast<REFERENCE_TIME>(std::trunc(static_cast<double>(slot) + m_frameDuration));
            m_nextVideoSlot = slot;
        }
        for (SoundInput* sound : written) {
            const auto videoEnd = static_cast<std::int64_t>(std::floor(static_cast<double>(slot) * sound->sampleRate / 1e7));
            if (videoEnd > sound->samples && !WriteSilence(*sound, videoEnd - sound->samples)) {
                WriteFailed();
                return;
            }
        }
    }
    if (m_videoPre->IsConnected()) m_videoPre->DeliverEndOfStream();
    NotifyEvent(EC_COMPLETE, S_OK, reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this)));
}

// ---- Streams copied as the source codes them ----


CopiedStream* CConvFilter::CopyOf(const CConvInputPin& pin)
{
    switch (pin.Kind()) {
    case StreamKind::kVideo: return m_videoCopy.get();
    case StreamKind::kAudio: return m_sounds[static_cast<std::size_t>(pin.Index())]->copy.get();
    case StreamKind::kSubtitle: return m_subtitles[static_cast<std::size_t>(pin.Index())]->copy.get();
    }
    return nullptr;
}

void CConvFilter::ResetCopies()
{
    std::vector<CopiedStream*> copies{m_videoCopy.get()};
    for (const auto& sound : m_sounds) copies.push_back(sound->copy.get());
    for (const auto& subtitle : m_subtitles) copies.push_back(subtitle->copy.get());
    for (CopiedStream* copy : copies)
        if (copy) copy->Reset();
}

HRESULT CConvFilter::ReceiveCopied(const CConvInputPin& pin, CopiedStream& copy, IMediaSample* sample)
{
    if (!m_writer || !m_writer->Copies(copy.Kind(), copy.Index())) return S_OK;
    REFERENCE_TIME start = 0, stop = 0;
    const bool timed = SUCCEEDED(sample->GetTime(&start, &stop));
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    const long size = sample->GetActualDataLength();
    if (!data || size <= 0) return S_OK;
    WaitWhilePaused(pin);
    if (copy.Kind() != StreamKind::kVideo) {
        // Placed from where the file begins, which the first key picture decides.
        WaitForStart(pin);
        if (copy.Kind() == StreamKind::kAudio && timed) WaitForPictures(pin, start - m_rangeStart.load());
    }

    {
        CAutoLock lock(&m_csFilter);
        if (m_writeFailed) return ZZ_E_WRITE_FAILED;
        if (!IsActive() || pin.IsFlushing()) return VFW_E_WRONG_STATE;
        // The splitter moves a pin onto the chosen stream after connecting it: the stream's own
        // type comes with its first sample.
        AM_MEDIA_TYPE* changed = nullptr;
        if (sample->GetMediaType(&changed) == S_OK && changed) {
            const CMediaType type(*changed);
            DeleteMediaType(changed);
            if (!copy.Framer().Stream()) copy.Connect(type);
        }
    }
    // The framer is this pin's own while the graph runs, so the framing (finding the pictures'
    // start codes costs most of a copy) runs beside the other streams' work; only what it frames
    // is placed under the filter lock.
    HRESULT result = S_OK;
    copy.Framer().Feed(data, static_cast<std::size_t>(size), timed ? start : PacketFramer::kNoTime,
                       [&](const PacketFramer::Frame& frame) {
                           CAutoLock lock(&m_csFilter);
                           if (m_writeFailed) {
                               result = ZZ_E_WRITE_FAILED;
                               return false;
                           }
                           if (!IsActive() || pin.IsFlushing()) {
                               result = VFW_E_WRONG_STATE;
                               return false;
                           }
                           const bool more = copy.Place(frame);
                           if (m_writeFailed) result = ZZ_E_WRITE_FAILED;
                           return more;
                       });
    return result;
}

void CConvFilter::BeginFileAt(REFERENCE_TIME start)
{
    m_rangeStart = start;
    m_startFixed = true;
    PicturesMoved();
}

void CConvFilter::PicturesWritten(REFERENCE_TIME end)
{
    m_videoEnd = end;
    m_nextVideoSlot = end;
    PicturePlaced();
}

void CConvFilter::Describe(const CopiedStream& stream, bool confirmed)
{
    if (m_writer) m_writer->DescribeCopied(stream.Kind(), stream.Index(), stream.Format(), confirmed);
}

bool CConvFilter::Write(const CopiedStream& stream, const CopiedPacket& packet)
{
    if (m_writer->WriteCopied(stream.Kind(), stream.Index(), packet) == 0) return true;
    WriteFailed();
    return false;
}

void CConvFilter::EndCopied(CopiedStream& copy)
{
    if (m_writeFailed || !IsActive()) return;
    copy.End();
}
