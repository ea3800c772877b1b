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
class Enumerator final : public ModuleObject<Interface> {
 public:
  Enumerator(std::vector<Item> items, REFIID iid)
      : ModuleObject<Interface>(iid), items_(std::move(items)) {}
  ~Enumerator() override {
    for (const Item& item : items_) ReleaseItem(item);
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
    auto* copy = new (std::nothrow) Enumerator(items_, this->iid());
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
  std::vector<Item> items_;
  std::size_t next_ = 0;
};

}  // namespace orvane::com
