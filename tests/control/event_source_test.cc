// Sink slots, argument copies and delivery across threads.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <poll.h>
#endif
#ifdef __linux__
#include <sched.h>
#endif

#include <atomic>
#include <future>
#include <thread>

#include "control/event_source.h"
#include "support/peers.h"

namespace orvane {
namespace {

using namespace std::chrono_literals;

struct Call {
  DISPID id;
  std::vector<Variant> args;  // as received: reversed
  std::thread::id thread;
};

class RecordingSink : public EventSink {
 public:
  explicit RecordingSink(std::string name, std::vector<std::string>* order = nullptr)
      : name_(std::move(name)), order_(order) {}
  HRESULT Invoke(DISPID id, std::span<Variant> args) override {
    std::lock_guard<std::mutex> lock(mutex_);
    calls_.push_back(
        {id, std::vector<Variant>(args.begin(), args.end()), std::this_thread::get_id()});
    if (order_) order_->push_back(name_);
    if (scribble) {
      for (auto& a : args) a = Variant::Text("scribbled");
    }
    if (on_call) on_call();
    return result;
  }
  std::vector<Call> calls() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }
  std::size_t count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return calls_.size();
  }
  bool scribble = false;
  HRESULT result = S_OK;
  std::function<void()> on_call;

 private:
  std::string name_;
  std::vector<std::string>* order_;
  std::mutex mutex_;
  std::vector<Call> calls_;
};

FixUpdateArgs SomeFix() {
  return {Variant::Bool(true), Variant::Date(38000.5), Variant::Text("47 N"), Variant::Text("8 E"),
          Variant(),           Variant::R8(12.5),      Variant::R8(90)};
}

TEST(EventSourceTest, SlotsGrowOneFourThenDoubleAndReuseTheFirstFree) {
  EventSource source;
  std::vector<std::uint32_t> cookies;
  std::vector<std::size_t> capacity;
  for (int i = 0; i < 6; ++i) {
    std::uint32_t c = 0;
    ASSERT_EQ(source.Advise(std::make_shared<RecordingSink>("s"), &c, SinkThreading::kFreeThreaded),
              S_OK);
    EXPECT_NE(c, 0u);
    cookies.push_back(c);
    capacity.push_back(testing::EventSourcePeer::SlotCount(source));
  }
  EXPECT_EQ(capacity, (std::vector<std::size_t>{1, 4, 4, 4, 8, 8}));
  EXPECT_EQ(source.Unadvise(cookies[1]), S_OK);
  std::uint32_t again = 0;
  source.Advise(std::make_shared<RecordingSink>("t"), &again, SinkThreading::kFreeThreaded);
  std::vector<ConnectData> conns;
  ASSERT_EQ(source.EnumConnections(&conns), S_OK);
  ASSERT_EQ(conns.size(), 6u);
  EXPECT_EQ(conns[1].cookie, again);  // the freed slot, ahead of higher slots
  EXPECT_EQ(testing::EventSourcePeer::SlotCount(source), 8u);
}

// The last sink may be handed the raiser's own arguments instead of a copy;
// every sink, including one advised mid-event, still sees the originals.
TEST(EventSourceTest, EverySinkSeesTheOriginalsWhenTheLastIsGivenThem) {
  const FixUpdateArgs fix = SomeFix();
  auto expect_fix = [&](RecordingSink& s) {
    ASSERT_EQ(s.calls().size(), 1u);
    ASSERT_EQ(s.calls()[0].args.size(), 7u);
    for (std::size_t k = 0; k < 7; ++k) EXPECT_EQ(s.calls()[0].args[6 - k], fix[k]) << k;
  };
  {  // all four slots used: the final one is the last called
    EventSource source;
    std::vector<std::shared_ptr<RecordingSink>> sinks;
    for (int i = 0; i < 4; ++i) {
      sinks.push_back(std::make_shared<RecordingSink>("s"));
      sinks.back()->scribble = true;
      std::uint32_t c;
      source.Advise(sinks.back(), &c);
    }
    source.FireFixUpdate(SomeFix());
    for (auto& s : sinks) expect_fix(*s);
  }
  {  // a free slot after the caller: a sink advised into it mid-event
    EventSource source;
    auto a = std::make_shared<RecordingSink>("a");
    auto b = std::make_shared<RecordingSink>("b");
    auto late = std::make_shared<RecordingSink>("late");
    std::uint32_t ca, cb, cl;
    source.Advise(a, &ca);
    source.Advise(b, &cb);
    b->on_call = [&] { source.Advise(late, &cl); };
    source.FireFixUpdate(SomeFix());
    expect_fix(*b);
    expect_fix(*late);
  }
}

TEST(EventSourceTest, ASingleSlotEmptiesAgain) {
  EventSource source;
  std::uint32_t c = 0;
  source.Advise(std::make_shared<RecordingSink>("s"), &c);
  EXPECT_EQ(source.Unadvise(c), S_OK);
  EXPECT_EQ(testing::EventSourcePeer::SlotCount(source), 0u);
  EXPECT_FALSE(source.HasSinks());
}

TEST(EventSourceTest, AdviseAndUnadviseErrors) {
  EventSource source;
  std::uint32_t c = 77;
  EXPECT_EQ(source.Advise(nullptr, &c), E_POINTER);
  EXPECT_EQ(c, 0u);
  EXPECT_EQ(source.Advise(std::make_shared<RecordingSink>("s"), nullptr), E_POINTER);
  EXPECT_EQ(source.Unadvise(0), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(source.Unadvise(123456), CONNECT_E_NOCONNECTION);
  source.Advise(std::make_shared<RecordingSink>("s"), &c);
  EXPECT_EQ(source.Unadvise(c), S_OK);
  EXPECT_EQ(source.Unadvise(c), CONNECT_E_NOCONNECTION);
  EXPECT_EQ(source.EnumConnections(nullptr), E_POINTER);
}

TEST(EventSourceTest, SinksAreCalledInSlotOrderWithTheirOwnArgumentCopies) {
  EventSource source;
  std::vector<std::string> order;
  auto a = std::make_shared<RecordingSink>("a", &order);
  auto b = std::make_shared<RecordingSink>("b", &order);
  auto c = std::make_shared<RecordingSink>("c", &order);
  auto d = std::make_shared<RecordingSink>("d", &order);
  std::uint32_t ca, cb, cc, cd;
  source.Advise(a, &ca);
  source.Advise(b, &cb);
  source.Advise(c, &cc);
  a->scribble = true;  // changing its copy must not reach the others
  a->result = E_FAIL;  // nor may a failing sink stop them
  source.FireFixUpdate(SomeFix());
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "c"}));
  const FixUpdateArgs fix = SomeFix();
  ASSERT_EQ(c->calls().size(), 1u);
  const Call got = c->calls()[0];
  EXPECT_EQ(got.id, kDispIdFixUpdate);
  ASSERT_EQ(got.args.size(), 7u);
  for (std::size_t k = 0; k < 7; ++k) EXPECT_EQ(got.args[6 - k], fix[k]) << k;

  source.Unadvise(ca);
  source.Advise(d, &cd);  // takes a's slot: called first from now on
  order.clear();
  source.FireFileComplete();
  EXPECT_EQ(order, (std::vector<std::string>{"d", "b", "c"}));
  EXPECT_TRUE(d->calls()[0].args.empty());
}

TEST(EventSourceTest, RawDataStopsAtNulButCountsEveryByte) {
  EventSource source;
  auto s = std::make_shared<RecordingSink>("s");
  std::uint32_t c;
  source.Advise(s, &c);
  source.FireRawDataReceived(std::u16string(u"$GP\0AB", 6), 6);
  ASSERT_EQ(s->calls().size(), 1u);
  const std::vector<Variant> args = s->calls()[0].args;
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[1], Variant::Text("$GP"));
  EXPECT_EQ(args[0], Variant::I4(6));
}

TEST(EventSourceTest, ASinkThatUnadvisesItselfMidEventLetsTheOthersRun) {
  EventSource source;
  std::vector<std::string> order;
  auto a = std::make_shared<RecordingSink>("a", &order);
  auto b = std::make_shared<RecordingSink>("b", &order);
  std::uint32_t ca, cb;
  source.Advise(a, &ca);
  source.Advise(b, &cb);
  a->on_call = [&] { EXPECT_EQ(source.Unadvise(ca), S_OK); };
  source.FireFileComplete();
  source.FireFileComplete();
  EXPECT_EQ(order, (std::vector<std::string>{"a", "b", "b"}));
}

TEST(EventSourceTest, ApartmentSinkRunsOnTheAdvisingThreadWhileTheRaiserWaits) {
  EventSource source;
  auto sink = std::make_shared<RecordingSink>("host");
  std::uint32_t c;
  source.Advise(sink, &c);  // advised here: this thread is the host
  std::atomic<bool> returned{false};
  std::thread reader([&] {
    source.FireFixUpdate(SomeFix());
    returned = true;
  });
  std::this_thread::sleep_for(50ms);
  EXPECT_FALSE(returned.load());  // waits for the host to run the call
  EXPECT_TRUE(sink->calls().empty());
  auto apartment = Apartment::Current();
  EXPECT_TRUE(apartment->RunUntil([&] { return returned.load(); }, 5s));
  reader.join();
  ASSERT_EQ(sink->calls().size(), 1u);
  EXPECT_EQ(sink->calls()[0].thread, std::this_thread::get_id());
}

#ifndef _WIN32  // the descriptor is the POSIX build's
TEST(EventSourceTest, AForeignEventLoopCanWaitOnTheApartmentDescriptor) {
  EventSource source;
  auto sink = std::make_shared<RecordingSink>("host");
  std::uint32_t c;
  source.Advise(sink, &c);
  auto apartment = Apartment::Current();
  apartment->Pump();  // start from a quiet descriptor
  // Many calls, so a call queued while the host drains the descriptor (the
  // race that once lost a wake-up) is likely to happen at least once.
  constexpr std::size_t kCalls = 10000;
  std::thread reader([&] {
    for (std::size_t i = 0; i < kCalls; ++i) source.FireFileComplete();
  });
  // What poll(), epoll, GLib or Qt would do: sleep on the descriptor, then pump.
  bool woke = true;
  while (woke && sink->count() < kCalls) {
    pollfd p{apartment->fd(), POLLIN, 0};
    woke = ::poll(&p, 1, 5000) == 1;
    apartment->Pump();
  }
  EXPECT_TRUE(woke) << "the descriptor stayed quiet with a call waiting, after " << sink->count()
                    << " calls";
  // Whatever happened, let the reader finish before it is joined.
  apartment->RunUntil([&] { return sink->count() == kCalls; }, 5s);
  reader.join();
  // The last caller may signal after its call already ran: one more wake-up
  // with nothing to run, after which the descriptor is quiet.
  apartment->Pump();
  pollfd p{apartment->fd(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 0), 0);
}
#endif

#ifndef _WIN32
// The descriptor is signalled only once asked for: calls queued before that
// must still make it readable.
TEST(EventSourceTest, TheDescriptorAskedForLateStillShowsQueuedCalls) {
  std::thread host([] {  // a fresh apartment nobody has asked the descriptor of
    EventSource source;
    auto sink = std::make_shared<RecordingSink>("host");
    std::uint32_t c;
    source.Advise(sink, &c);
    std::thread reader([&] { source.FireFileComplete(); });
    auto apartment = Apartment::Current();
    std::this_thread::sleep_for(100ms);  // the reader queues its call meanwhile
    pollfd p{apartment->fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 5000), 1) << "a queued call left the descriptor quiet";
    apartment->RunUntil([&] { return sink->count() == 1; }, 5s);
    reader.join();
    EXPECT_EQ(sink->count(), 1u);
  });
  host.join();
}
#endif

#ifdef __linux__
// Two threads on one processor never see each other spin: every handoff must
// still complete, in order, by sleeping instead.
TEST(EventSourceTest, HostThreadDeliveryCompletesWhenBothThreadsShareOneProcessor) {
  cpu_set_t one;
  CPU_ZERO(&one);
  CPU_SET(sched_getcpu(), &one);
  cpu_set_t before;
  ASSERT_EQ(sched_getaffinity(0, sizeof before, &before), 0);
  ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
  EventSource source;
  std::vector<std::int32_t> seen;
  class Counting : public EventSink {
   public:
    explicit Counting(std::vector<std::int32_t>* s) : seen_(s) {}
    HRESULT Invoke(DISPID, std::span<Variant> args) override {
      seen_->push_back(args[0].i4());
      return S_OK;
    }
    std::vector<std::int32_t>* seen_;
  };
  std::uint32_t c;
  source.Advise(std::make_shared<Counting>(&seen), &c);
  constexpr std::int32_t kCalls = 3000;
  std::atomic<bool> done{false};
  std::thread reader([&] {
    sched_setaffinity(0, sizeof one, &one);
    for (std::int32_t i = 0; i < kCalls; ++i)
      source.FireRawDataReceived(std::u16string_view(u"$"), i);
    done = true;
  });
  Apartment::Current()->RunUntil([&] { return done.load(); }, 120s);
  reader.join();
  sched_setaffinity(0, sizeof before, &before);
  ASSERT_EQ(seen.size(), static_cast<std::size_t>(kCalls));
  for (std::int32_t i = 0; i < kCalls; ++i) ASSERT_EQ(seen[i], i);
}
#endif

TEST(EventSourceTest, SinksAdvisedOnTheRaisingThreadOrFreeThreadedAreCalledDirectly) {
  EventSource source;
  auto free_sink = std::make_shared<RecordingSink>("free");
  std::uint32_t c1, c2;
  source.Advise(free_sink, &c1, SinkThreading::kFreeThreaded);
  auto own_sink = std::make_shared<RecordingSink>("own");
  std::thread reader([&] {
    source.Advise(own_sink, &c2);  // advised on the raising thread itself
    source.FireFileComplete();
  });
  reader.join();  // nobody pumps: both calls must have been direct
  ASSERT_EQ(free_sink->calls().size(), 1u);
  ASSERT_EQ(own_sink->calls().size(), 1u);
  EXPECT_EQ(free_sink->calls()[0].thread, own_sink->calls()[0].thread);
}

TEST(EventSourceTest, ASinkWhoseThreadEndedIsSkipped) {
  EventSource source;
  auto gone = std::make_shared<RecordingSink>("gone");
  auto here = std::make_shared<RecordingSink>("here");
  std::uint32_t c1, c2;
  std::thread([&] { source.Advise(gone, &c1); }).join();
  source.Advise(here, &c2, SinkThreading::kFreeThreaded);
  std::thread([&] { source.FireFileComplete(); }).join();
  EXPECT_TRUE(gone->calls().empty());
  EXPECT_EQ(here->calls().size(), 1u);
  std::vector<ConnectData> conns;
  source.EnumConnections(&conns);
  ASSERT_EQ(conns.size(), 1u);
  EXPECT_EQ(conns[0].cookie, c2);
}

TEST(EventSourceTest, ShutdownReleasesARaiserWaitingOnABusyHost) {
  EventSource source;
  auto sink = std::make_shared<RecordingSink>("host");
  std::uint32_t c;
  source.Advise(sink, &c);
  auto done = std::async(std::launch::async, [&] { source.FireFixUpdate(SomeFix()); });
  EXPECT_EQ(done.wait_for(50ms), std::future_status::timeout);
  source.StopRaising();  // the host does not pump: it is releasing the control
  EXPECT_EQ(done.wait_for(5s), std::future_status::ready);
  EXPECT_TRUE(sink->calls().empty());
  source.FireFixUpdate(SomeFix());  // after shutdown nothing is called, nothing waits
  EXPECT_TRUE(sink->calls().empty());
}

TEST(EventSourceTest, AdviseFromAnotherThreadWhileRaisingIsSafe) {
  EventSource source;
  std::atomic<bool> stop{false};
  std::thread raiser([&] {
    while (!stop) source.FireFixUpdate(SomeFix());
  });
  for (int i = 0; i < 200; ++i) {
    std::uint32_t c;
    auto s = std::make_shared<RecordingSink>("x");
    source.Advise(s, &c, SinkThreading::kFreeThreaded);
    source.Unadvise(c);
  }
  stop = true;
  raiser.join();
  EXPECT_EQ(testing::EventSourcePeer::SlotCount(source) <= 1, true);
}

}  // namespace
}  // namespace orvane
