#include "control/orvane_control.h"

#include <chrono>
#include <mutex>
#include <thread>

#include "control/apartment.h"
#include "control/module_lifetime.h"
#include "control/snapshots.h"
#include "presentation/settings_access.h"

namespace orvane {
namespace {

// How long a final release serves the reader before it lets the reader end on
// its own: long enough for any sink call in flight to this thread, short
// enough not to hang a host whose sink lives in a thread that never answers.
constexpr std::chrono::milliseconds kReleaseServeLimit{2000};

}  // namespace

// Counted as a live object until the last reader that shares it has ended.
struct OrvaneControl::Core {
  Core() : receiver(settings, events), sources(receiver, events) {}
  Core(const Core&) = delete;
  Core& operator=(const Core&) = delete;

  // First, so the module is unlocked only once everything below is gone. A
  // reader left to free the state still returns through the module's code.
  struct Lifetime {
    Lifetime() { LockModule(); }
    ~Lifetime() {
      if (std::this_thread::get_id() == reader_at_release) {
        UnlockModuleLeavingThread();
      } else {
        UnlockModule();
      }
    }
    std::thread::id reader_at_release;  // written before the last release
  } lifetime;

  // Destroyed in reverse: the sources (reader stopped) first, then the state
  // objects and the line queue, the connection point last.
  EventSource events;
  Settings settings;
  // Every epoch to its observers; lives as long as the receiver that tells it.
  struct EpochFanOut final : EpochListener {
    using Observers = std::vector<std::pair<std::uint32_t, std::function<void(const Epoch&)>>>;
    void EpochCompleted(std::uint64_t rows) override {
      // The list as it stands, shared: an epoch copies no observer.
      std::shared_ptr<const Observers> now;
      {
        std::lock_guard<std::mutex> lock(mutex);
        now = observers;
      }
      if (now == nullptr || now->empty() || receiver == nullptr) return;
      const Epoch epoch = SnapshotReader::ReadEpoch(*receiver, rows);
      for (const auto& observer : *now) observer.second(epoch);
    }
    std::mutex mutex;
    std::shared_ptr<const Observers>
        observers;  // replaced whole under mutex, never changed in place
    std::uint32_t next_cookie = 1;
    const Receiver* receiver = nullptr;
  } epochs;
  Receiver receiver;
  SourceManager sources;
};

OrvaneControl::OrvaneControl()
    : core_(std::make_shared<Core>()),
      events_(core_->events),
      settings_(core_->settings),
      receiver_(core_->receiver),
      sources_(core_->sources) {
  sources_.KeepAliveWhileReading(core_);
  core_->epochs.receiver = &receiver_;
  receiver_.SetEpochListener(&core_->epochs);
}

std::uint32_t OrvaneControl::AddEpochObserver(std::function<void(const Epoch&)> observer) {
  Core::EpochFanOut& fan = core_->epochs;
  std::lock_guard<std::mutex> lock(fan.mutex);
  const std::uint32_t cookie = kEpochCookieBit | fan.next_cookie++;
  auto next = fan.observers ? std::make_shared<Core::EpochFanOut::Observers>(*fan.observers)
                            : std::make_shared<Core::EpochFanOut::Observers>();
  next->emplace_back(cookie, std::move(observer));
  fan.observers = std::move(next);
  receiver_.WantEpochs(true);
  return cookie;
}

bool OrvaneControl::RemoveEpochObserver(std::uint32_t cookie) {
  Core::EpochFanOut& fan = core_->epochs;
  std::lock_guard<std::mutex> lock(fan.mutex);
  if (fan.observers == nullptr) return false;
  auto next = std::make_shared<Core::EpochFanOut::Observers>(*fan.observers);
  for (auto it = next->begin(); it != next->end(); ++it) {
    if (it->first != cookie) continue;
    next->erase(it);
    receiver_.WantEpochs(!next->empty());
    fan.observers = std::move(next);
    return true;
  }
  return false;
}

// The one final release, whatever the host: no sink is called any more, then
// the reader is stopped and, unless this thread is inside a call the reader
// waits for, waited for while this thread serves what the reader needs of it.
OrvaneControl::~OrvaneControl() {
  // A call already running here cannot be cancelled: when the reader waits
  // for it, this thread must not wait for the reader.
  if (Apartment::IsRunningCallFrom(sources_.ReaderThread())) {
    StopReader(SourceManager::ReaderJoin::kLeave);
    return;
  }
  events_.StopRaising();
  bool ended = true;
  if (sources_.IsOpen()) {
    sources_.Close();
    ended = ServeStoppingReader([this] { return !sources_.IsOpen(); }, kReleaseServeLimit);
  }
  StopReader(ended ? SourceManager::ReaderJoin::kWait : SourceManager::ReaderJoin::kLeave);
}

void OrvaneControl::StopReader(SourceManager::ReaderJoin join) {
  if (const std::thread::id reader = sources_.ReaderThread(); reader != std::thread::id()) {
    core_->lifetime.reader_at_release = reader;
  }
  // Cancel calls waiting for this thread before the reader is joined: this
  // thread is busy releasing and will not pump them.
  events_.StopRaising();
  sources_.Release(join);
}

void OrvaneControl::AbandonReader() { StopReader(SourceManager::ReaderJoin::kLeave); }

std::unique_ptr<OrvaneControl> CreateOrvaneControl() {
  try {
    return std::make_unique<OrvaneControl>();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void LockServer(bool lock) {
  if (lock) {
    LockModule();
  } else {
    UnlockModule();
  }
}

HRESULT CanUnloadNow() { return ModuleInUse() ? S_FALSE : S_OK; }

// Every get hands out a fresh value the caller owns; no stored value is shared.
#define ORVANE_GET_FROM(name, expr)                  \
  HRESULT OrvaneControl::get_##name(Variant* pVal) { \
    if (pVal == nullptr) return E_POINTER;           \
    *pVal = expr;                                    \
    return S_OK;                                     \
  }

HRESULT OrvaneControl::get_BaudRate(Variant* pVal) {
  if (pVal == nullptr) return E_POINTER;
  return sources_.get_BaudRate(pVal);
}
HRESULT OrvaneControl::put_BaudRate(const Variant& newVal) { return sources_.put_BaudRate(newVal); }
HRESULT OrvaneControl::get_PortName(Variant* pVal) {
  if (pVal == nullptr) return E_POINTER;
  return sources_.get_PortName(pVal);
}
HRESULT OrvaneControl::get_PortHandle(Variant* pVal) {
  if (pVal == nullptr) return E_POINTER;
  return sources_.get_PortHandle(pVal);
}
HRESULT OrvaneControl::Open(const Variant& PortName) { return sources_.Open(PortName); }
HRESULT OrvaneControl::OpenFile(const Variant& FileName, const Variant& TimeScale) {
  return sources_.OpenFile(FileName, TimeScale);
}
HRESULT OrvaneControl::Close() { return sources_.Close(); }

ORVANE_GET_FROM(FixDateTime, receiver_.fix().FixDateTime())
ORVANE_GET_FROM(Latitude, receiver_.fix().Latitude())
ORVANE_GET_FROM(Longitude, receiver_.fix().Longitude())
ORVANE_GET_FROM(Speed, receiver_.fix().Speed())
ORVANE_GET_FROM(TrueCourse, receiver_.fix().TrueCourse())
ORVANE_GET_FROM(MagVariation, receiver_.fix().MagVariation())
ORVANE_GET_FROM(FixQuality, receiver_.fix().FixQuality())
ORVANE_GET_FROM(NumSatellitesInFix, receiver_.fix().NumSatellitesInFix())
ORVANE_GET_FROM(Altitude, receiver_.fix().Altitude())
ORVANE_GET_FROM(GeoidHeightAboveWGS84Ellipsoid, receiver_.fix().GeoidHeightAboveWGS84Ellipsoid())
ORVANE_GET_FROM(TimeSinceLastDGPSUpdate, receiver_.fix().TimeSinceLastDGPSUpdate())
ORVANE_GET_FROM(DGPSRefStationID, receiver_.fix().DGPSRefStationID())
ORVANE_GET_FROM(HDOP, receiver_.satellites().HDOP())
ORVANE_GET_FROM(PDOP, receiver_.satellites().PDOP())
ORVANE_GET_FROM(VDOP, receiver_.satellites().VDOP())
ORVANE_GET_FROM(CrossTrackError, receiver_.navigation().CrossTrackError())
ORVANE_GET_FROM(OriginWptID, receiver_.navigation().OriginWptID())
ORVANE_GET_FROM(DestWptID, receiver_.navigation().DestWptID())
ORVANE_GET_FROM(DestWptLatitude, receiver_.navigation().DestWptLatitude())
ORVANE_GET_FROM(DestWptLongitude, receiver_.navigation().DestWptLongitude())
ORVANE_GET_FROM(RangeToDest, receiver_.navigation().RangeToDest())
ORVANE_GET_FROM(TrueBearingToDest, receiver_.navigation().TrueBearingToDest())
ORVANE_GET_FROM(DestClosingVelocity, receiver_.navigation().DestClosingVelocity())
ORVANE_GET_FROM(OrigToDestTrueBearing, receiver_.navigation().OrigToDestTrueBearing())
ORVANE_GET_FROM(OrigToDestMagBearing, receiver_.navigation().OrigToDestMagBearing())
ORVANE_GET_FROM(WptsInRoute, receiver_.navigation().WptsInRoute())
ORVANE_GET_FROM(AutomaticOperation, receiver_.satellites().AutomaticOperation())
ORVANE_GET_FROM(OperationMode, receiver_.satellites().OperationMode())
ORVANE_GET_FROM(FixSatellitePRNs, receiver_.satellites().FixSatellitePRNs())
ORVANE_GET_FROM(NumSatellitesInView, receiver_.satellites().NumSatellitesInView())
ORVANE_GET_FROM(FixGood, receiver_.fix().FixGood())
ORVANE_GET_FROM(LatLonFormat, GetLatLonFormat(settings_))
ORVANE_GET_FROM(SpeedUnits, GetSpeedUnits(settings_))
ORVANE_GET_FROM(DegLabel, receiver_.fix().DegLabel())
ORVANE_GET_FROM(MinLabel, receiver_.fix().MinLabel())
ORVANE_GET_FROM(SecLabel, receiver_.fix().SecLabel())
ORVANE_GET_FROM(ModeIndicator, receiver_.fix().ModeIndicator())
ORVANE_GET_FROM(DistUnits, GetDistUnits(settings_))
ORVANE_GET_FROM(AltitudeUnits, GetAltitudeUnits(settings_))
ORVANE_GET_FROM(SatelliteInViewPRNs, receiver_.satellites().SatelliteInViewPRNs())
ORVANE_GET_FROM(ArrivedAtDest, receiver_.navigation().ArrivedAtDest())
ORVANE_GET_FROM(RouteName, receiver_.navigation().RouteName())
ORVANE_GET_FROM(RouteContainsAllWpts, receiver_.navigation().RouteContainsAllWpts())
ORVANE_GET_FROM(Talkers, GetTalkers(settings_))
ORVANE_GET_FROM(LastEpochTime, receiver_.LastEpochTime())
ORVANE_GET_FROM(TalkersReceived, receiver_.TalkersReceived())
ORVANE_GET_FROM(SentenceTypesReceived, receiver_.SentenceTypesReceived())
ORVANE_GET_FROM(ExtendedSentences, GetExtendedSentences(settings_))
ORVANE_GET_FROM(MagneticCourse, receiver_.fix().Extra(FixExtra::kMagneticCourse))
ORVANE_GET_FROM(LocalZoneOffset, receiver_.fix().Extra(FixExtra::kLocalZoneOffset))
ORVANE_GET_FROM(GnssMode, receiver_.fix().Extra(FixExtra::kGnssMode))
ORVANE_GET_FROM(TrueHeading, receiver_.fix().Extra(FixExtra::kTrueHeading))
ORVANE_GET_FROM(MagneticHeading, receiver_.fix().Extra(FixExtra::kMagneticHeading))
ORVANE_GET_FROM(MagneticDeviation, receiver_.fix().Extra(FixExtra::kMagneticDeviation))
ORVANE_GET_FROM(HeadingVariation, receiver_.fix().Extra(FixExtra::kHeadingVariation))
ORVANE_GET_FROM(HeadingMode, receiver_.fix().Extra(FixExtra::kHeadingMode))
ORVANE_GET_FROM(RangeResidualRMS, receiver_.fix().Extra(FixExtra::kRangeResidualRms))
ORVANE_GET_FROM(ErrorEllipseMajor, receiver_.fix().Extra(FixExtra::kErrorEllipseMajor))
ORVANE_GET_FROM(ErrorEllipseMinor, receiver_.fix().Extra(FixExtra::kErrorEllipseMinor))
ORVANE_GET_FROM(ErrorEllipseOrientation, receiver_.fix().Extra(FixExtra::kErrorEllipseOrientation))
ORVANE_GET_FROM(LatitudeError, receiver_.fix().Extra(FixExtra::kLatitudeError))
ORVANE_GET_FROM(LongitudeError, receiver_.fix().Extra(FixExtra::kLongitudeError))
ORVANE_GET_FROM(AltitudeError, receiver_.fix().Extra(FixExtra::kAltitudeError))
ORVANE_GET_FROM(ExpectedLatitudeError, receiver_.fix().Extra(FixExtra::kExpectedLatitudeError))
ORVANE_GET_FROM(ExpectedLongitudeError, receiver_.fix().Extra(FixExtra::kExpectedLongitudeError))
ORVANE_GET_FROM(ExpectedAltitudeError, receiver_.fix().Extra(FixExtra::kExpectedAltitudeError))
ORVANE_GET_FROM(FailedSatellite, receiver_.fix().Extra(FixExtra::kFailedSatellite))
ORVANE_GET_FROM(ReceiverText, receiver_.fix().Extra(FixExtra::kReceiverText))
#undef ORVANE_GET_FROM

HRESULT OrvaneControl::GetWptLocation(const Variant& WptName, Variant* pWptLat, Variant* pWptLon) {
  if (pWptLat == nullptr || pWptLon == nullptr) return E_POINTER;
  return receiver_.navigation().GetWptLocation(WptName, pWptLat, pWptLon);
}

HRESULT OrvaneControl::GetSatelliteInfo(const Variant& SatellitePRN, Variant* pAzimuth,
                                        Variant* pElevation, Variant* pSignalToNoiseRatio) {
  if (pAzimuth == nullptr || pElevation == nullptr || pSignalToNoiseRatio == nullptr)
    return E_POINTER;
  return receiver_.satellites().GetSatelliteInfo(SatellitePRN, pAzimuth, pElevation,
                                                 pSignalToNoiseRatio);
}

HRESULT OrvaneControl::put_LatLonFormat(const Variant& v) { return PutLatLonFormat(settings_, v); }
HRESULT OrvaneControl::put_SpeedUnits(const Variant& v) { return PutSpeedUnits(settings_, v); }
HRESULT OrvaneControl::put_DistUnits(const Variant& v) { return PutDistUnits(settings_, v); }
HRESULT OrvaneControl::put_AltitudeUnits(const Variant& v) {
  return PutAltitudeUnits(settings_, v);
}
HRESULT OrvaneControl::put_Talkers(const Variant& v) { return PutTalkers(settings_, v); }
HRESULT OrvaneControl::put_ExtendedSentences(const Variant& v) {
  return PutExtendedSentences(settings_, v);
}
HRESULT OrvaneControl::put_DegLabel(const Variant& v) { return receiver_.fix().PutDegLabel(v); }
HRESULT OrvaneControl::put_MinLabel(const Variant& v) { return receiver_.fix().PutMinLabel(v); }
HRESULT OrvaneControl::put_SecLabel(const Variant& v) { return receiver_.fix().PutSecLabel(v); }

}  // namespace orvane
