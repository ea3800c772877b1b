// The sentence loop: line assembly over torn chunks, checksums, fields,
// dispatch and RawDataReceived.
#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "engine/receiver.h"
#include "engine/sentence.h"
#include "presentation/settings.h"
#include "support/memory_reader.h"
#include "support/nmea.h"
#include "support/peers.h"

namespace orvane {
namespace {

using testing::MemoryReader;
using testing::WithChecksum;

struct Event {
  DISPID id;
  std::string text;  // RawData, UTF-8
  int bytes = 0;
};

class Recorder : public EventRaiser {
 public:
  bool HasSinks() const override { return true; }
  void FireRawDataReceived(std::u16string_view raw, std::int32_t n) override {
    events.push_back({1, Variant::Bstr(std::u16string(raw)).ToUtf8(), n});
  }
  void FireFixUpdate(const FixState&) override { events.push_back({3, "", 0}); }
  void FireNavUpdate(const NavigationState&) override { events.push_back({4, "", 0}); }
  void FireSatelliteUpdate(const SatelliteState&) override { events.push_back({5, "", 0}); }
  void FireFileComplete() override { events.push_back({7, "", 0}); }
  std::vector<Event> events;

  std::vector<std::string> Raw() const {
    std::vector<std::string> out;
    for (const auto& e : events)
      if (e.id == 1) out.push_back(e.text);
    return out;
  }
  std::vector<DISPID> Ids() const {
    std::vector<DISPID> out;
    for (const auto& e : events) out.push_back(e.id);
    return out;
  }
};

class LoopTest : public ::testing::Test {
 protected:
  Settings settings;
  Recorder events;
  Receiver receiver{settings, events};
  StopEvent stop;

  void RunAll(MemoryReader& reader) {
    for (int i = 0; i < 100000 && !reader.drained(); ++i)
      receiver.ProcessAvailableSentences(reader, stop);
    receiver.ProcessAvailableSentences(reader, stop);
  }
};

TEST_F(LoopTest, TornChunksGiveTheSameLinesWhateverTheChunkSize) {
  const std::string a =
      WithChecksum("$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,");
  const std::string b = "$GPXYZ,no,checksum";
  const std::string c = WithChecksum("$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1");
  const std::string stream = a + "\r\n" + b + "\r\n" + c + "\r\n";
  for (std::size_t size : {1, 2, 3, 7, 13, 80, 4096}) {
    SCOPED_TRACE("chunk size " + std::to_string(size));
    events.events.clear();
    receiver.ResetLineAssembly();
    MemoryReader reader(stream, {size});
    RunAll(reader);
    EXPECT_EQ(events.Ids(), (std::vector<DISPID>{3, 1, 1, 5, 1}));
    EXPECT_EQ(events.Raw(), (std::vector<std::string>{a.substr(0, a.find('*')), b + "\r",
                                                      c.substr(0, c.find('*'))}));
  }
}

TEST_F(LoopTest, OneCallHandlesEveryCompleteLineAndKeepsThePartialOne) {
  MemoryReader reader("$A\n$B\n$C\n$D,part", {});
  receiver.ProcessAvailableSentences(reader, stop);
  EXPECT_EQ(events.Raw(), (std::vector<std::string>{"$A", "$B", "$C"}));
  EXPECT_EQ(receiver.pending_bytes(), 7u);  // "$D,part"
  reader.Append("ial\n");
  receiver.ProcessAvailableSentences(reader, stop);
  EXPECT_EQ(events.Raw().back(), "$D,partial");
}

TEST_F(LoopTest, EmptyLinesAndBadChecksumsAreDroppedSilently) {
  const std::string good = WithChecksum("$GPXXX,1");
  std::string bad = good;
  bad.back() = bad.back() == '0' ? '1' : '0';
  MemoryReader reader("\n\n" + bad + "\r\n" + good + "\r\n", {});
  RunAll(reader);
  EXPECT_EQ(events.Raw(), std::vector<std::string>{"$GPXXX,1"});
  EXPECT_EQ(receiver.stats().checksum_dropped, 1u);
}

TEST_F(LoopTest, ALoneCarriageReturnIsAOneByteLine) {
  MemoryReader reader("\r\n", {});
  RunAll(reader);
  ASSERT_EQ(events.events.size(), 1u);
  EXPECT_EQ(events.events[0].text, "\r");
  EXPECT_EQ(events.events[0].bytes, 1);
}

TEST_F(LoopTest, NulBytesCountInTheByteCount) {
  // The text stops at the NUL only when the connection point copies it for a sink.
  std::string line("$GP\0AB", 6);
  MemoryReader reader(line + "\n", {});
  RunAll(reader);
  ASSERT_EQ(events.events.size(), 1u);
  EXPECT_EQ(events.events[0].bytes, 6);
}

TEST_F(LoopTest, HighBytesReachRawDataAsWindows1252) {
  MemoryReader reader("$GP\xB0\x80\n", {});
  RunAll(reader);
  ASSERT_EQ(events.Raw().size(), 1u);
  EXPECT_EQ(events.Raw()[0], "$GP\u00B0\u20AC");
}

TEST_F(LoopTest, DispatchIsExactAndCaseSensitive) {
  struct Case {
    const char* line;
    std::vector<DISPID> ids;
  } cases[] = {
      {"$GPRMC,1", {3, 1}},    {"$GPGGA", {3, 1}}, {"$GPGLL", {3, 1}}, {"$GPGSA", {5, 1}},
      {"$GPGSV,1", {5, 1}},    {"$GPRMB", {4, 1}}, {"$GPBOD", {4, 1}}, {"$GPRTE", {4, 1}},
      {"$GPWPL", {1}},         {"$gprmc,1", {1}},  {"$GNRMC,1", {1}},  {"$GPRMCX,1", {1}},
      {"  $GPRMC ,1", {3, 1}}, {"x$GPRMC,1", {1}}, {"GPRMC,1", {1}},   {"$GPRMC\t,1", {1}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    events.events.clear();
    receiver.ResetLineAssembly();
    MemoryReader reader(std::string(c.line) + "\n", {});
    RunAll(reader);
    EXPECT_EQ(events.Ids(), c.ids);
  }
}

TEST_F(LoopTest, ReaderFailureHandsOutNoLineAndIsRetried) {
  MemoryReader reader("$A\n$B\n", {3});
  reader.failures = {0, 5};
  std::string line;
  EXPECT_EQ(testing::ReceiverPeer::ReadLine(receiver, reader, line), 0);  // "$A\n" read, handed out
  EXPECT_EQ(line, "$A");
  line.clear();
  EXPECT_EQ(testing::ReceiverPeer::ReadLine(receiver, reader, line), 5);
  EXPECT_TRUE(line.empty());
  RunAll(reader);
  EXPECT_EQ(events.Raw(), std::vector<std::string>{"$B"});
}

TEST_F(LoopTest, StopEventEndsThePassAfterTheCurrentLine) {
  MemoryReader reader("$A\n$B\n$C\n", {});
  stop.Set();
  receiver.ProcessAvailableSentences(reader, stop);
  EXPECT_EQ(events.Raw(), std::vector<std::string>{"$A"});
  EXPECT_EQ(receiver.queued_lines(), 2u);
}

TEST_F(LoopTest, ALineWithoutLineFeedIsBoundedAndDroppedWhole) {
  std::string huge(Receiver::kMaxLineBytes + 10, 'x');
  MemoryReader reader(huge, {1000});
  RunAll(reader);
  EXPECT_LE(receiver.pending_bytes(), Receiver::kMaxLineBytes);
  EXPECT_TRUE(events.events.empty());
  reader.Append("tail of the long line\n$OK\n");
  RunAll(reader);
  EXPECT_EQ(events.Raw(), std::vector<std::string>{"$OK"});
  EXPECT_EQ(receiver.stats().overlong_dropped, 1u);
}

TEST_F(LoopTest, TheOverlongRuleGoesByLengthWhateverTheChunks) {
  // A line of exactly the bound is kept; one byte over, or far over (the
  // line of a report: 70 KB), is dropped whole, at any chunk size, its line
  // feed arriving in the chunk that passes the bound or much later.
  const std::size_t bound = Receiver::kMaxLineBytes;
  const std::string ok = testing::Sentence("$GPXXX,1");
  const std::string at = testing::RmcOfLength(bound);
  const std::string stream =
      ok + at + ok + testing::RmcOfLength(bound + 1) + ok + testing::RmcOfLength(70000) + ok;
  const std::string at_raw = at.substr(0, at.find('*'));
  for (std::size_t size : {std::size_t{7}, std::size_t{80}, std::size_t{4096}, std::size_t{65536},
                           bound + 1, bound + 200, stream.size()}) {
    SCOPED_TRACE("chunk size " + std::to_string(size));
    Recorder events;
    Receiver fresh(settings, events);
    MemoryReader reader(stream, {size});
    for (int i = 0; i < 100000 && !reader.drained(); ++i)
      fresh.ProcessAvailableSentences(reader, stop);
    fresh.ProcessAvailableSentences(reader, stop);
    EXPECT_EQ(events.Raw(),
              (std::vector<std::string>{"$GPXXX,1", at_raw, "$GPXXX,1", "$GPXXX,1", "$GPXXX,1"}));
    EXPECT_EQ(events.Ids(), (std::vector<DISPID>{1, 3, 1, 1, 1, 1}));
    EXPECT_EQ(fresh.stats().overlong_dropped, 2u);
    EXPECT_EQ(fresh.stats().lines, 5u);
    EXPECT_LE(testing::ReceiverPeer::BufferedBytes(fresh), bound + size)
        << "a dropped line is not kept";
  }
}

TEST_F(LoopTest, AFullQueueStopsReadingUntilItDrains) {
  std::string many;
  for (std::size_t i = 0; i < Receiver::kMaxQueuedLines + 100; ++i) many += "$L\n";
  MemoryReader reader(many, {many.size()});
  std::string line;
  testing::ReceiverPeer::ReadLine(receiver, reader, line);
  EXPECT_EQ(receiver.queued_lines(), Receiver::kMaxQueuedLines + 99);
  const int calls = reader.calls;
  testing::ReceiverPeer::ReadLine(receiver, reader, line);
  EXPECT_EQ(reader.calls, calls);  // no read while the queue is over its bound
  RunAll(reader);                  // the two lines taken above were never handled
  EXPECT_EQ(events.Raw().size(), Receiver::kMaxQueuedLines + 98);
}

TEST_F(LoopTest, AReaderAheadOfTheLoopKeepsMemoryBounded) {
  // 80-byte reads bring more than one short line per read: the queue fills
  // faster than the loop empties it, for as long as the file lasts.
  std::string stream;
  for (int i = 0; i < 200000; ++i) stream += "$GPXXX,1\n";
  MemoryReader reader(stream, {80});
  std::size_t most = 0;
  while (!reader.drained()) {
    receiver.ProcessAvailableSentences(reader, stop);
    most = std::max(most, testing::ReceiverPeer::BufferedBytes(receiver));
  }
  RunAll(reader);
  EXPECT_EQ(events.Raw().size(), 200000u);
  EXPECT_LE(most, 2 * Receiver::kMaxQueuedLines * 10 + 8192) << "the buffer grew with the stream";
}

struct ChecksumCase {
  std::string suffix;  // after the computed body; %s is replaced by the right digits
  bool accepted;
};

TEST(ChecksumTest, StrtolRules) {
  const std::string body = "$GPGLL,1";
  const std::string written = WithChecksum(body);
  const unsigned x =
      static_cast<unsigned>(std::stoul(written.substr(written.size() - 2), nullptr, 16));
  char hex[8], lower[8], three[8], plus[8], prefixed[8];
  std::snprintf(hex, sizeof hex, "%02X", x);
  std::snprintf(lower, sizeof lower, "%02x", x);
  std::snprintf(three, sizeof three, "%03X", x);
  std::snprintf(plus, sizeof plus, "+%X", x);
  std::snprintf(prefixed, sizeof prefixed, "0x%X", x);
  const std::vector<ChecksumCase> cases = {
      {std::string("*") + hex, true},
      {std::string("*") + lower, true},
      {std::string("*") + three, true},            // leading zero
      {std::string("*") + hex + "\r", true},       // CR after the digits
      {std::string("*  ") + hex + " junk", true},  // blanks before, text after
      {std::string("*") + plus, true},
      {std::string("*") + prefixed, true},
      {std::string("*") + hex + "0", false},  // a third significant digit
      {"*", false},                           // expects 0
      {"*zz", false},
      {"*123456789", false},  // clamps, never wraps into range
      {"*-0", x == 0},
  };
  for (const auto& c : cases) {
    std::string line = body + c.suffix;
    SCOPED_TRACE(line);
    EXPECT_EQ(VerifyChecksum(line), c.accepted);
    EXPECT_EQ(line, body);  // the suffix goes whatever the verdict
  }
}

TEST(ChecksumTest, EmptyBodyExpectsZero) {
  std::string zero = "$*00";
  EXPECT_TRUE(VerifyChecksum(zero));
  std::string star_only = "$*";
  EXPECT_TRUE(VerifyChecksum(star_only));  // XOR of nothing is 0, and "*" reads 0
  std::string no_star = "$GPGLL,1\r";
  EXPECT_TRUE(VerifyChecksum(no_star));
  EXPECT_EQ(no_star, "$GPGLL,1\r");
}

TEST(FieldsTest, SplitTrimsBlanksOnlyAndKeepsEmptyFields) {
  struct Case {
    std::string line;
    std::vector<std::string> fields;
  } cases[] = {
      {"$A", {"$A"}},
      {"$A,", {"$A", ""}},
      {",,", {"", "", ""}},
      {"$A, 12 ,\t3\t,  ,x", {"$A", "12", "\t3\t", "", "x"}},
      {"$A,b\r", {"$A", "b\r"}},
  };
  SentenceFields f;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.line);
    SplitFields(c.line, f);
    EXPECT_EQ(std::vector<std::string>(f.begin(), f.end()), c.fields);
  }
}

TEST(FieldsTest, NormalizePadsAndCuts) {
  SentenceFields f;
  SplitFields("$GPRMC,1,2,3,4", f);
  NormalizeFieldCount(f, 13);
  ASSERT_EQ(f.size(), 13u);
  EXPECT_EQ(f[4], "4");
  EXPECT_EQ(f[12], "");
  SplitFields("$GPRMC,1,2,3,4,5,6,7,8,9,10,11,12,13", f);
  NormalizeFieldCount(f, 13);
  ASSERT_EQ(f.size(), 13u);
  EXPECT_EQ(f[12], "12");
}

// A CR that ends a chunk still ends its line once the next byte shows no LF
// follows, whatever the chunk sizes.
TEST_F(LoopTest, CrOnlyLinesSurviveEveryChunkBoundary) {
  settings.extended_sentences = true;
  const std::string a = WithChecksum("$GPGLL,6004.3035,N,01940.9139,E,095200,A,D");
  const std::string b = WithChecksum("$GPBOD,54.6,T,49.7,M,Fl.W.3s,");
  const std::string c =
      WithChecksum("$GPGGA,095202,6004.3030,N,01940.9154,E,2,06,1.4,-2.0,M,23.2,M,,");
  const std::string stream = a + "\r" + b + "\r" + c + "\r\n";
  for (std::size_t size = 1; size <= stream.size(); ++size) {
    events.events.clear();
    MemoryReader reader(stream, {size});
    RunAll(reader);
    const auto text = [](const std::string& line) { return line.substr(0, line.find('*')); };
    EXPECT_EQ(events.Raw(), (std::vector<std::string>{text(a), text(b), text(c)}))
        << "chunks of " << size;
  }
}

// Every way a line may end, beside lines shorter and longer than the
// sixteen bytes the line-end search reads at a time, at every chunk size.
TEST_F(LoopTest, MixedLineEndsCutAlikeAtEveryChunkSize) {
  settings.extended_sentences = true;
  const std::string sentences[] = {
      WithChecksum("$GPHDT,1.5,T"),
      WithChecksum("$GPGLL,6004.3035,N,01940.9139,E,095200,A,D"),
      WithChecksum("$GPGGA,095202,6004.3030,N,01940.9154,E,2,06,1.4,-2.0,M,23.2,M,,"),
      WithChecksum("$GPZDA,095202.00,04,07,2002,00,00"),
      WithChecksum("$GPVTG,54.7,T,34.4,M,5.5,N,10.2,K,A"),
  };
  const char* const ends[] = {"\n", "\r\n", "\r", "\r\r\n", "\r", "\n", "\r\n", "\r"};
  std::string stream;
  std::vector<std::string> expected;
  for (std::size_t i = 0; i < std::size(ends); ++i) {
    const std::string& s = sentences[i % std::size(sentences)];
    stream += s + ends[i];
    expected.push_back(s.substr(0, s.find('*')));
    // The lone CR ends the sentence; the CR LF after it ends a one-byte line.
    if (std::string_view(ends[i]) == "\r\r\n") expected.push_back("\r");
  }
  for (std::size_t size = 1; size <= stream.size(); ++size) {
    events.events.clear();
    receiver.ResetLineAssembly();
    MemoryReader reader(stream, {size});
    RunAll(reader);
    receiver.EndOfSource();  // the last line ends with a CR alone
    ASSERT_EQ(events.Raw(), expected) << "chunks of " << size;
  }
}

}  // namespace
}  // namespace orvane
