#pragma once
// CBasePin: connection protocol, media type agreement and stream-control state shared by input
// and output pins. A pin lives and dies with its filter: its reference count is the filter's.

#include <atomic>
#include <string>

#include "pipeline/crit_sec.h"
#include "pipeline/interfaces.h"
#include "pipeline/media_type.h"
#include "pipeline/unknown_object.h"
#include "com/com_ptr.h"

class CBaseFilter;

class CBasePin : public CUnknown, public IPin, public IQualityControl {
public:
    // `lock` is the pin lock (usually the filter lock), alive as long as the pin.
    CBasePin(const char* objectName, CBaseFilter* filter, CCritSec* lock, HRESULT* phr, const char* pinName,
             PIN_DIRECTION direction);
    ~CBasePin() override;

    DECLARE_IUNKNOWN
    HRESULT NonDelegatingQueryInterface(REFIID riid, void** ppv) override;
    // References go to the filter, which deletes its pins.
    ULONG NonDelegatingAddRef() override;
    ULONG NonDelegatingRelease() override;

    // IPin
    HRESULT Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
    HRESULT ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
    HRESULT Disconnect() override;
    HRESULT ConnectedTo(IPin** pin) override;
    HRESULT ConnectionMediaType(AM_MEDIA_TYPE* type) override;
    HRESULT QueryPinInfo(PIN_INFO* info) override;
    HRESULT QueryDirection(PIN_DIRECTION* dir) override;
    HRESULT QueryId(char** id) override;
    HRESULT QueryAccept(const AM_MEDIA_TYPE* type) override;
    HRESULT EnumMediaTypes(IEnumMediaTypes** types) override;
    HRESULT QueryInternalConnections(IPin** pins, ULONG* count) override;
    HRESULT EndOfStream() override;
    HRESULT NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

    // IQualityControl: not handled by default.
    HRESULT Notify(IBaseFilter* self, Quality q) override;
    HRESULT SetSink(IQualityControl* sink) override;

    // Supplied by derived pins.
    // S_OK accepts `type`; anything else refuses it.
    virtual HRESULT CheckMediaType(const CMediaType* type) = 0;
    // The type offered at `position` (0, 1, …); VFW_S_NO_MORE_ITEMS past the end, E_INVALIDARG
    // for a negative position.
    virtual HRESULT GetMediaType(int position, CMediaType* type);
    // Told the agreed type of a new connection.
    virtual HRESULT SetMediaType(const CMediaType* type);
    // Checks that `pin` may be our peer (directions differ, needed interfaces present).
    virtual HRESULT CheckConnect(IPin* pin);
    // Undoes what CheckConnect and CompleteConnect set up.
    virtual HRESULT BreakConnect();
    // Last step of a successful connection.
    virtual HRESULT CompleteConnect(IPin* receivePin);
    // The filter leaves the stopped state / enters it / starts running.
    virtual HRESULT Active();
    virtual HRESULT Inactive();
    virtual HRESULT Run(REFERENCE_TIME start);

    bool IsConnected() const { return m_connected.Get() != nullptr; }
    // The connected pin (no reference added); application thread or while connected.
    IPin* GetConnected() const { return m_connected.Get(); }
    const CMediaType& CurrentMediaType() const { return m_mt; }
    const std::string& Name() const { return m_name; }
    PIN_DIRECTION Direction() const { return m_direction; }
    CBaseFilter* Filter() const { return m_filter; }
    bool IsStopped() const;

    REFERENCE_TIME CurrentStartTime() const { return m_segmentStart; }
    REFERENCE_TIME CurrentStopTime() const { return m_segmentStop; }
    double CurrentRate() const { return m_segmentRate; }

    // Version of the offered type list; enumerators go out of sync when it changes.
    int GetMediaTypeVersion() const { return m_typeVersion.load(); }
    void IncrementTypeVersion() { ++m_typeVersion; }

protected:
    // Disconnects without the state check; S_FALSE when not connected.
    HRESULT DisconnectInternal();
    HRESULT AgreeMediaType(IPin* receivePin, const CMediaType* type);
    // Tries each offered type; a failure worth reporting is kept in `telling` (when given).
    HRESULT TryMediaTypes(IPin* receivePin, const CMediaType* partial, IEnumMediaTypes* types, HRESULT* telling = nullptr);
    HRESULT AttemptConnection(IPin* receivePin, const CMediaType* type);

    CBaseFilter* const m_filter;
    CCritSec* const m_lock;
    const std::string m_name;
    const PIN_DIRECTION m_direction;
    ComPtr<IPin> m_connected;       // guarded by m_lock; read by streaming threads while connected
    CMediaType m_mt;                // guarded by m_lock
    REFERENCE_TIME m_segmentStart = 0;           // streaming thread
    REFERENCE_TIME m_segmentStop = kMaxReferenceTime;
    double m_segmentRate = 1.0;
    std::atomic<bool> m_runTimeError{false};
    bool m_canReconnectWhenActive = false;
    std::atomic<int> m_typeVersion{1};
    IQualityControl* m_qualitySink = nullptr; // weak
};
