// The network sources through the COM control under Wine: a Winsock server on
// 127.0.0.1 feeds a tcp:// source, goes away and comes back; a udp://
// source takes datagrams.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include <string>

#include "host_support.h"

namespace orvane::wintest {
namespace {

const std::string kRmc = "$GPRMC,123519,A,4807.038,N,01131.000,E,022.4,084.4,230394,003.1,W*6A\r\n";

class FixCounter final : public EventsSink {
 public:
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                                   UINT*) override {
    if (id == 3) ++fixes;
    return S_OK;
  }
  int fixes = 0;
};

class NetworkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data{};
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    control_ = CreateByProgId();
    ASSERT_TRUE(control_);
    ComPtr<IConnectionPointContainer> container;
    ASSERT_EQ(control_.As(IID_IConnectionPointContainer, &container), S_OK);
    ASSERT_EQ(container->FindConnectionPoint(DIID__IOrvaneEvents, point_.put()), S_OK);
    ASSERT_EQ(point_->Advise(&sink_, &cookie_), S_OK);
  }
  void TearDown() override {
    if (control_) control_->Close();
    PumpUntil([&] { return false; }, 300);
    if (point_) point_->Unadvise(cookie_);
    WSACleanup();
  }
  static sockaddr_in Loopback() {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return a;
  }

  FixCounter sink_;
  ComPtr<IOrvane> control_;
  ComPtr<IConnectionPoint> point_;
  DWORD cookie_ = 0;
};

// Accepts within `ms`, pumping so the control's events are delivered.
SOCKET AcceptPumping(SOCKET listener, DWORD ms) {
  u_long on = 1;
  ioctlsocket(listener, FIONBIO, &on);
  SOCKET client = INVALID_SOCKET;
  PumpUntil([&] { return (client = accept(listener, nullptr, nullptr)) != INVALID_SOCKET; }, ms);
  return client;
}

TEST_F(NetworkTest, TcpStreamIsReadAndAServerThatComesBackIsReconnected) {
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in a = Loopback();
  int len = sizeof a;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(listener, 2), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
  const std::wstring name = L"tcp://127.0.0.1:" + std::to_wstring(ntohs(a.sin_port));
  Var source(name.c_str());
  ASSERT_EQ(control_->Open(source.v), S_OK);
  Var baud;
  EXPECT_EQ(control_->get_BaudRate(&baud), kGetCommStateFailed);
  for (int round = 1; round <= 2; ++round) {
    SOCKET client = AcceptPumping(listener, 5000);
    ASSERT_NE(client, INVALID_SOCKET) << "round " << round << ": no connection";
    for (int i = 0; i < 3; ++i) send(client, kRmc.data(), static_cast<int>(kRmc.size()), 0);
    EXPECT_TRUE(PumpUntil([&] { return sink_.fixes >= 3 * round; }, 5000))
        << sink_.fixes << " fixes";
    closesocket(client);  // the server goes away
  }
  Var stored;
  ASSERT_EQ(control_->get_PortName(&stored), S_OK);
  EXPECT_EQ(stored.Text(), name);
  EXPECT_EQ(control_->Close(), S_OK);
  closesocket(listener);
}

TEST_F(NetworkTest, UdpDatagramsArrive) {
  Var source(L"udp://127.0.0.1:0");
  ASSERT_EQ(control_->Open(source.v), S_OK);
  Var handle;
  ASSERT_EQ(control_->get_PortHandle(&handle), S_OK);
  sockaddr_in bound{};
  int len = sizeof bound;
  ASSERT_EQ(
      getsockname(static_cast<SOCKET>(handle.v.lVal), reinterpret_cast<sockaddr*>(&bound), &len),
      0);
  SOCKET out = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
  const std::string two = kRmc + kRmc;
  sendto(out, two.data(), static_cast<int>(two.size()), 0, reinterpret_cast<sockaddr*>(&bound),
         len);
  EXPECT_TRUE(PumpUntil([&] { return sink_.fixes >= 2; }, 5000)) << sink_.fixes << " fixes";
  closesocket(out);
}

}  // namespace
}  // namespace orvane::wintest
