#include "control/event_source.h"

#include <algorithm>
#include <new>
#include <type_traits>

namespace orvane {
namespace {

// Cookies are unique in the process, like the interface table's.
std::atomic<std::uint32_t> g_next_cookie{1};

std::uint32_t NextCookie() {
  std::uint32_t c;
  do {
    c = g_next_cookie.fetch_add(1, std::memory_order_relaxed);
  } while (c == 0);
  return c;
}

}  // namespace

EventSource::EventSource() = default;

EventSource::~EventSource() { StopRaising(); }

HRESULT EventSource::Advise(std::shared_ptr<EventSink> sink, std::uint32_t* cookie,
                            SinkThreading threading) {
  if (cookie == nullptr) return E_POINTER;
  *cookie = 0;
  if (!sink) return E_POINTER;
  Registration reg;
  reg.sink = std::move(sink);
  reg.free_threaded = threading == SinkThreading::kFreeThreaded;
  if (!reg.free_threaded) reg.apartment = Apartment::Current();
  try {
    std::lock_guard<std::mutex> lock(mutex_);
    auto free_slot = std::find(slots_.begin(), slots_.end(), 0u);
    std::size_t index;
    if (free_slot != slots_.end()) {
      index = static_cast<std::size_t>(free_slot - slots_.begin());
    } else {
      // One slot for the first sink, four for the second, then doubling.
      index = slots_.size();
      const std::size_t grown = slots_.empty() ? 1 : slots_.size() == 1 ? 4 : slots_.size() * 2;
      slots_.resize(grown, 0);
    }
    const std::uint32_t c = NextCookie();
    table_.emplace(c, std::move(reg));
    slots_[index] = c;
    *cookie = c;
  } catch (const std::bad_alloc&) {
    return CONNECT_E_ADVISELIMIT;
  }
  connected_.fetch_add(1, std::memory_order_acq_rel);
  return S_OK;
}

HRESULT EventSource::Unadvise(std::uint32_t cookie) {
  Registration gone;  // released outside the lock: a sink's destructor may call back
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto slot = cookie == 0 ? slots_.end() : std::find(slots_.begin(), slots_.end(), cookie);
    if (slot == slots_.end()) return CONNECT_E_NOCONNECTION;
    *slot = 0;
    if (slots_.size() == 1) slots_.clear();
    auto it = table_.find(cookie);
    if (it != table_.end()) {
      gone = std::move(it->second);
      table_.erase(it);
    }
  }
  connected_.fetch_sub(1, std::memory_order_acq_rel);
  return S_OK;
}

HRESULT EventSource::EnumConnections(std::vector<ConnectData>* connections) const {
  if (connections == nullptr) return E_POINTER;
  try {
    std::vector<ConnectData> snapshot;
    std::lock_guard<std::mutex> lock(mutex_);
    for (std::uint32_t c : slots_) {
      if (c == 0) continue;
      auto it = table_.find(c);
      if (it == table_.end()) continue;
      const Registration& reg = it->second;
      // A sink whose apartment has ended can no longer be resolved.
      if (reg.free_threaded || !reg.apartment.expired()) snapshot.push_back({reg.sink, c});
    }
    *connections = std::move(snapshot);
  } catch (const std::bad_alloc&) {
    return E_OUTOFMEMORY;
  }
  return S_OK;
}

void EventSource::StopRaising() { calls_.CancelWaits(); }

void EventSource::CallSink(const Registration& reg, DISPID dispid, std::span<Variant> args) {
  if (reg.free_threaded) {
    reg.sink->Invoke(dispid, args);
    return;
  }
  std::shared_ptr<Apartment> apartment = reg.apartment.lock();
  if (!apartment) return;  // its thread has ended: skipped, like an unresolvable cookie
  // One pointer of capture keeps the call inside std::function's own storage.
  struct Job {
    const Registration* reg;
    DISPID dispid;
    std::span<Variant> args;
  } job{&reg, dispid, args};
  apartment->Call([j = &job] { j->reg->sink->Invoke(j->dispid, j->args); },
                  [this](const std::shared_ptr<PendingCall>& call) { calls_.Track(call); });
}

template <typename Fill>
void EventSource::Raise(DISPID dispid, std::size_t argc, const Fill& fill) {
  if (calls_.shut_down()) return;
  std::size_t count;
  bool final_slot_used;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    count = slots_.size();
    // Only a sink in the final slot can be the last one called whatever its
    // handlers advise meanwhile: that one may be given the originals.
    final_slot_used = count != 0 && slots_[count - 1] != 0;
  }
  if (count == 0) return;
  // The longest event has eleven parameters: no allocation for the array.
  std::array<Variant, std::tuple_size_v<NavUpdateArgs>> storage;
  const std::span<Variant> args(storage.data(), argc);
  for (std::size_t i = 0; i < count; ++i) {
    Registration reg;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (i >= slots_.size() || slots_[i] == 0) continue;
      auto it = table_.find(slots_[i]);
      if (it == table_.end()) continue;
      reg = it->second;
    }
    if (calls_.shut_down()) return;
    fill(args, final_slot_used && i == count - 1);
    CallSink(reg, dispid, args);
  }
}

void EventSource::RaiseRawData(std::u16string& text, std::int32_t num_bytes) {
  // Each sink gets the text up to its first NUL, as a BSTR made from it would.
  const std::size_t nul = text.find(u'\0');
  if (nul != std::u16string::npos) text.resize(nul);
  Raise(kDispIdRawDataReceived, 2, [&](std::span<Variant> args, bool last) {
    args[1] = Variant::Bstr(last ? std::move(text) : text);
    args[0] = Variant::I4(num_bytes);
  });
}

void EventSource::FireRawDataReceived(std::u16string_view raw_data, std::int32_t num_bytes) {
  std::u16string text(raw_data.substr(0, raw_data.find(u'\0')));
  RaiseRawData(text, num_bytes);  // a copy of our own already
}

void EventSource::FireRawDataReceived(std::u16string&& raw_data, std::int32_t num_bytes) {
  RaiseRawData(raw_data, num_bytes);
}

template <typename Array>
void EventSource::RaiseArgs(DISPID dispid, Array& in) {
  constexpr std::size_t n = std::tuple_size_v<std::remove_const_t<Array>>;
  // Sinks receive the parameters reversed, as IDispatch::Invoke does.
  Raise(dispid, n, [&](std::span<Variant> args, bool last) {
    for (std::size_t k = 0; k < n; ++k) {
      if constexpr (!std::is_const_v<Array>) {
        if (last) {
          args[n - 1 - k] = std::move(in[k]);
          continue;
        }
      }
      args[n - 1 - k] = in[k];
    }
  });
}

void EventSource::FireFixUpdate(const FixUpdateArgs& a) { RaiseArgs(kDispIdFixUpdate, a); }
void EventSource::FireFixUpdate(FixUpdateArgs&& a) { RaiseArgs(kDispIdFixUpdate, a); }
void EventSource::FireNavUpdate(const NavUpdateArgs& a) { RaiseArgs(kDispIdNavUpdate, a); }
void EventSource::FireNavUpdate(NavUpdateArgs&& a) { RaiseArgs(kDispIdNavUpdate, a); }
void EventSource::FireSatelliteUpdate(const SatelliteUpdateArgs& a) {
  RaiseArgs(kDispIdSatelliteUpdate, a);
}
void EventSource::FireSatelliteUpdate(SatelliteUpdateArgs&& a) {
  RaiseArgs(kDispIdSatelliteUpdate, a);
}

void EventSource::FireFixUpdate(const FixState& fix) { FireFixUpdate(EventArgs::Of(fix)); }
void EventSource::FireNavUpdate(const NavigationState& n) { FireNavUpdate(EventArgs::Of(n)); }
void EventSource::FireSatelliteUpdate(const SatelliteState& s) {
  FireSatelliteUpdate(EventArgs::Of(s));
}

void EventSource::FireFileComplete() {
  Raise(kDispIdFileComplete, 0, [](std::span<Variant>, bool) {});
}

}  // namespace orvane
