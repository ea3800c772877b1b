// Snapshot enumerators for the connection-point protocol.
#pragma once

#include <vector>

#include "automation/platform.h"
#include "com/com_module.h"

namespace orvane::com {

inline void AddRefItem(IConnectionPoint* p) { p->AddRef(); }
inline void ReleaseItem(IConnectionPoint* p) { p->Release(); }
inline void AddRefItem(const CONNECTDATA& d) {
  if (d.pUnk != nullptr) d.pUnk->AddRef();
}
inline void ReleaseItem(const CONNECTDATA& d) {
  if (d.pUnk != nullptr) d.pUnk->Release();
}

// Owns one reference to each item; Next hands out a further one.
template <typename Interface, typename Item>
class Enumerator final : public Interface {
 public:
  // The module stays loaded while a host holds one: it may outlive the
  // control that made it.
  Enumerator(std::vector<Item> items, REFIID iid) : items_(std::move(items)), iid_(iid) { LockModule(); }
  ~Enumerator() {
    for (const Item& item : items_) ReleaseItem(item);
    UnlockModule();
  }

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (out == nullptr) return E_POINTER;
    if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, iid_)) {
      *out = static_cast<Interface*>(this);
      AddRef();
      return S_OK;
    }
    *out = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return InterlockedIncrement(&refs_); }
  ULONG STDMETHODCALLTYPE Release() override {
    LONG n = InterlockedDecrement(&refs_);
    if (n == 0) delete this;
    return n;
  }
  HRESULT STDMETHODCALLTYPE Next(ULONG count, Item* out, ULONG* fetched) override {
    if (out == nullptr || (count > 1 && fetched == nullptr)) return E_POINTER;
    ULONG n = 0;
    while (n < count && next_ < items_.size()) {
      out[n] = items_[next_++];
      AddRefItem(out[n]);
      ++n;
    }
    if (fetched != nullptr) *fetched = n;
    return n == count ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Skip(ULONG count) override {
    std::size_t left = items_.size() - next_;
    next_ += count < left ? count : left;
    return count <= left ? S_OK : S_FALSE;
  }
  HRESULT STDMETHODCALLTYPE Reset() override {
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE Clone(Interface** out) override {
    if (out == nullptr) return E_POINTER;
    for (const Item& item : items_) AddRefItem(item);
    auto* copy = new (std::nothrow) Enumerator(items_, iid_);
    if (copy == nullptr) {
      for (const Item& item : items_) ReleaseItem(item);
      *out = nullptr;
      return E_OUTOFMEMORY;
    }
    copy->next_ = next_;
    *out = copy;
    return S_OK;
  }

 private:
  LONG refs_ = 1;
  std::vector<Item> items_;
  std::size_t next_ = 0;
  IID iid_;
};

}  // namespace orvane::com
