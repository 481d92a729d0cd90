// The OSC server over real UDP sockets on loopback, with oscpack as the
// client: each command's reply, the errors that end only their message, and
// the port that follows "OSC Port Offset".
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <chrono>
#include <limits>
#include <random>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "osc/OSCHelper.h"
#include "oscpack/ip/UdpSocket.h"
#include "oscpack/osc/OscOutboundPacketStream.h"
#include "oscpack/osc/OscReceivedElements.h"
#include "shell/VTLuaMIDIHelper.h"
#include "tests/support/RecordingHost.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

namespace {

using Clock = std::chrono::steady_clock;

// A base port per test process, so parallel test processes do not meet.
int BasePort() {
  return 20000 + static_cast<int>(getpid() % 400) * 100;
}

// Where replies come back: a UDP socket on an ephemeral loopback port.
class ReplyListener {
 public:
  ReplyListener() {
    m_fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(m_fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(m_fd, reinterpret_cast<sockaddr*>(&a), &len);
    m_port = ntohs(a.sin_port);
    timeval timeout{2, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
  }
  ~ReplyListener() { close(m_fd); }
  std::string Address(bool prefix = true) const {
    return std::string(prefix ? "osc.udp://" : "") + "127.0.0.1:" + std::to_string(m_port);
  }
  // The next packet, or nothing within two seconds.
  std::optional<std::vector<char>> Receive() {
    std::vector<char> buffer(4096);
    const ssize_t n = recv(m_fd, buffer.data(), buffer.size(), 0);
    if (n <= 0) return std::nullopt;
    buffer.resize(n);
    return buffer;
  }

 private:
  int m_fd;
  int m_port;
};

// A reply: a bundle with time tag 1 holding one message; its address and
// its arguments as text ("i:12", "f:90", "s:a", "T").
struct Reply {
  std::string address;
  std::vector<std::string> args;
};

std::optional<Reply> ReadReply(ReplyListener& listener) {
  const auto packet = listener.Receive();
  if (!packet) return std::nullopt;
  osc::ReceivedPacket p(packet->data(),
                        static_cast<osc::osc_bundle_element_size_t>(packet->size()));
  EXPECT_TRUE(p.IsBundle());
  osc::ReceivedBundle bundle(p);
  EXPECT_EQ(bundle.TimeTag(), 1u);
  EXPECT_EQ(bundle.ElementCount(), 1);
  osc::ReceivedMessage m(*bundle.ElementsBegin());
  Reply reply{m.AddressPattern(), {}};
  for (auto a = m.ArgumentsBegin(); a != m.ArgumentsEnd(); ++a) {
    switch (a->TypeTag()) {
      case osc::INT32_TYPE_TAG:
        reply.args.push_back("i:" + std::to_string(a->AsInt32()));
        break;
      case osc::FLOAT_TYPE_TAG: {
        char text[32];
        std::snprintf(text, sizeof text, "f:%g", a->AsFloat());
        reply.args.push_back(text);
        break;
      }
      case osc::STRING_TYPE_TAG:
        reply.args.push_back(std::string("s:") + a->AsString());
        break;
      default:
        reply.args.push_back(std::string(1, a->TypeTag()));
    }
  }
  return reply;
}

// An instance serving on base port + offset, with a user script.
class OscServerThreaded : public ::testing::Test {
 protected:
  explicit OscServerThreaded(const std::string& script = kScript) {
    config.WritePreferenceFile("{\"OSC Base Port\": " + std::to_string(BasePort()) + "}");
    homes.AddScript(platform::Domain::User, "midi.lua", script);
    effect = host.Create(false);
    Serve(5);
  }

  static constexpr const char* kScript =
      "function mixed() return 1, 'a', nil, 2 end\n"
      "function truth() return true end\n"
      "function remember(x) remembered = x end\n"
      "notValue = 5\n"
      "requestAllNoteOn(function(c, n, v) setParameter('Pitch', c); setParameter('Beats', v) end)";

  void Serve(int offset) {
    AEffect* e = effect->getAeffect();
    e->setParameter(e, kOscPortOffset, offset / 100.0f);
    port = offset == 0 ? 0 : BasePort() + offset;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (effect->Osc()->CurrentPort() != port && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(effect->Osc()->CurrentPort(), port);
  }

  // Sends one message to the server.
  template <typename... Args>
  void Send(const char* address, Args... args) {
    char buffer[1024];
    osc::OutboundPacketStream p(buffer, sizeof buffer);
    p << osc::BeginMessage(address);
    if constexpr (sizeof...(args) > 0) (p << ... << args);
    p << osc::EndMessage;
    SendRaw(p.Data(), p.Size());
  }
  void SendRaw(const char* data, size_t size) {
    UdpTransmitSocket socket(IpEndpointName("127.0.0.1", port));
    socket.Send(data, size);
  }
  // Waits until the server has handled what was sent before: a reply to a
  // later "/getNumParameters" comes back.
  void Sync() {
    ReplyListener sync;
    Send("/getNumParameters", sync.Address().c_str(), "/sync");
    ASSERT_TRUE(ReadReply(sync).has_value());
  }

  ScopedConfigHome config;
  ScopedDataHomes homes;
  RecordingHost host;
  std::unique_ptr<OdrkCrossDelay> effect;
  int port = 0;
};

TEST_F(OscServerThreaded, PingGetAndDescribe) {
  ReplyListener reply;
  Send("/ping", reply.Address().c_str(), "/pong");
  auto r = ReadReply(reply);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->address, "/pong");
  ASSERT_EQ(r->args.size(), 2u);
  EXPECT_EQ(r->args[0], "s:osc.udp://127.0.0.1:" + std::to_string(port));
  EXPECT_EQ(r->args[1], "s:Veltrane 2.1.2");

  // The prefix is optional in reply addresses.
  Send("/get", 12, reply.Address(false).c_str(), "/val");
  r = ReadReply(reply);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->address, "/val");
  EXPECT_EQ(r->args, (std::vector<std::string>{"i:12", "f:90"}));

  Send("/getNumParameters", reply.Address().c_str(), "/n");
  EXPECT_EQ(ReadReply(reply)->args, std::vector<std::string>{"i:82"});
  Send("/isParameterUsed", 3, reply.Address().c_str(), "/used");
  EXPECT_EQ(ReadReply(reply)->args, (std::vector<std::string>{"i:3", "T"}));
  Send("/getInfo", 12, reply.Address().c_str(), "/info");
  EXPECT_EQ(ReadReply(reply)->args,
            (std::vector<std::string>{"i:12", "f:0", "f:100", "f:90", "s:Master feedback", "i:3"}));
}

TEST_F(OscServerThreaded, GetAllSendsEveryParameterInOrder) {
  ReplyListener reply;
  Send("/getAll", reply.Address().c_str(), "/all");
  for (int id = 0; id < kNumParams; ++id) {
    auto r = ReadReply(reply);
    ASSERT_TRUE(r) << id;
    ASSERT_EQ(r->args[0], "i:" + std::to_string(id));
  }
}

TEST_F(OscServerThreaded, SetStoresAndRefreshesTheHost) {
  const int before = host.updateDisplayCount;
  Send("/set", 12, 50.0f);
  Sync();
  EXPECT_EQ(effect->GetParameterValue(kMasterFeedback), 50.0f);
  EXPECT_GT(host.updateDisplayCount, before);
}

TEST_F(OscServerThreaded, ErrorsEndOnlyTheirMessage) {
  testing::internal::CaptureStdout();
  Send("/set", 12, 50);  // typed "ii"
  Send("/set", 82, 1.0f);
  Send("/getInfo", -1, "127.0.0.1:1", "/x");
  Send("/get", 12, "127.0.0.1:1", "/val", 7);  // one argument too many
  const char garbage[] = "\x01\x02 not osc at all";
  SendRaw(garbage, sizeof garbage - 1);
  char buffer[64];
  osc::OutboundPacketStream p(buffer, sizeof buffer);
  p << osc::BeginMessage("/set") << 12 << 5.0f << osc::EndMessage;
  SendRaw(p.Data(), p.Size() - 4);  // truncated
  {
    std::vector<char> big(2048);
    osc::OutboundPacketStream q(big.data(), big.size());
    q << osc::BeginMessage("/get") << 12 << "127.0.0.1:9" << std::string(1100, 'p').c_str()
      << osc::EndMessage;  // its reply would not fit a packet
    SendRaw(q.Data(), q.Size());
  }
  // Blob sizes past the message's end: oscpack would read beyond the packet.
  const std::string lyingBlobs = std::string("/fader\0\0,", 9) + std::string(62, 'b') +
                                 std::string("\nf\0\0\0\0\0/\0\0ader\0/isPar\0\n;;,II\0", 29);
  SendRaw(lyingBlobs.data(), lyingBlobs.size());
  {
    char blobBuffer[128];
    const char bytes[4] = {1, 2, 3, 4};
    osc::OutboundPacketStream q(blobBuffer, sizeof blobBuffer);
    q << osc::BeginBundle(1) << osc::BeginMessage("/set") << 12 << osc::Blob(bytes, 4)
      << osc::EndMessage << osc::EndBundle;
    SendRaw(q.Data(), q.Size());
  }
  Send("/set", 12, std::numeric_limits<float>::quiet_NaN());
  Send("/startNote", 60, std::numeric_limits<float>::infinity());
  Sync();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("error while parsing message: /set"), std::string::npos) << printed;
  EXPECT_NE(printed.find("parameter id out of range in set"), std::string::npos) << printed;
  EXPECT_NE(printed.find("parameter id out of range in getInfo"), std::string::npos) << printed;
  EXPECT_NE(printed.find("error while parsing message: /get"), std::string::npos) << printed;
  EXPECT_NE(printed.find("/set: value is not a finite number"), std::string::npos) << printed;
  EXPECT_NE(printed.find("/startNote: value is not a finite number"), std::string::npos)
      << printed;
  EXPECT_NE(printed.find("/get: out of buffer memory"), std::string::npos) << printed;
  size_t blobs = 0;
  for (size_t at = printed.find("blob arguments are not accepted"); at != std::string::npos;
       at = printed.find("blob arguments are not accepted", at + 1)) {
    ++blobs;
  }
  EXPECT_EQ(blobs, 2u) << printed;
  EXPECT_GE(std::count(printed.begin(), printed.end(), '\n'), 9) << printed;
  EXPECT_EQ(effect->GetParameterValue(kMasterFeedback), 90.0f);  // nothing was set
}

TEST_F(OscServerThreaded, CallAndExecReachTheScriptsFunctions) {
  ReplyListener reply;
  Send("/call", "mixed", reply.Address().c_str(), "/result");
  auto r = ReadReply(reply);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->address, "/result");
  EXPECT_EQ(r->args, (std::vector<std::string>{"f:1", "s:a"}));  // up to the first nil

  Send("/exec", "remember", 7.5f);
  Send("/exec", "setParameter", "Dry Level", 0.25f);  // the script API is there too
  Sync();
  EXPECT_EQ(effect->GetParameterValue(kDryLevel), 0.25f);

  testing::internal::CaptureStdout();
  Send("/call", "truth", reply.Address().c_str(), "/t");
  Send("/exec", "notValue");
  Sync();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("unhandled argument type return from call"), std::string::npos);
  EXPECT_NE(printed.find("/exec: failed to exec function"), std::string::npos) << printed;
}

// The standard libraries' globals would let a packet run code or files of
// the sender's choosing: they are refused like names that are no function.
TEST_F(OscServerThreaded, StandardLibraryGlobalsAreRefused) {
  testing::internal::CaptureStdout();
  const char* refused[] = {"dofile", "loadfile", "loadstring", "load",  "require",
                           "module", "setfenv",  "rawset",     "pcall", "print"};
  for (const char* name : refused) Send("/exec", name, "/etc/passwd");
  Send("/exec", "setfenv", 1.0f);
  Sync();
  const std::string printed = testing::internal::GetCapturedStdout();
  size_t failures = 0;
  for (size_t at = printed.find("failed to exec function"); at != std::string::npos;
       at = printed.find("failed to exec function", at + 1)) {
    ++failures;
  }
  EXPECT_EQ(failures, std::size(refused) + 1) << printed;
}

TEST_F(OscServerThreaded, NotesReachTheScriptsOnChannelTwo) {
  Send("/startNote", 60, 0.5f);
  Sync();
  EXPECT_EQ(effect->GetParameterValue(kPitch), 2.0f);   // channel 2
  EXPECT_EQ(effect->GetParameterValue(kBeats), 63.0f);  // 127 x 0.5
}

TEST_F(OscServerThreaded, ScriptsSendOsc) {
  ReplyListener listener;
  auto* scripts = effect->ScriptHost();
  const std::string code =
      "sendOSC('" + listener.Address() + "', '/from/script', 'ifs', {3, 2.5, 'x'})";
  {
    std::lock_guard<platform::RecursiveLock> guard(scripts->ScriptLock());
    ASSERT_EQ(luaL_dostring(scripts->State(), code.c_str()), 0);
  }
  auto r = ReadReply(listener);
  ASSERT_TRUE(r);
  EXPECT_EQ(r->address, "/from/script");
  EXPECT_EQ(r->args, (std::vector<std::string>{"i:3", "f:2.5", "s:x"}));
  std::lock_guard<platform::RecursiveLock> guard(scripts->ScriptLock());
  ASSERT_NE(luaL_dostring(scripts->State(), "sendOSC('127.0.0.1:1', '/x', 'ii', {1})"), 0);
  EXPECT_NE(std::string(lua_tostring(scripts->State(), -1)).find("format string length mismatch"),
            std::string::npos);
  lua_pop(scripts->State(), 1);
}

TEST_F(OscServerThreaded, PortFollowsTheOffset) {
  Serve(0);
  EXPECT_EQ(effect->Osc()->CurrentPort(), 0);
  Serve(7);
  EXPECT_EQ(effect->Osc()->CurrentPort(), BasePort() + 7);

  // A second instance on the same port cannot open it; it does once its
  // offset changes.
  testing::internal::CaptureStdout();
  RecordingHost otherHost;
  auto other = otherHost.Create(false);
  AEffect* o = other->getAeffect();
  o->setParameter(o, kOscPortOffset, 0.07f);
  const auto deadline = Clock::now() + std::chrono::seconds(2);
  std::string printed;
  while (Clock::now() < deadline) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("std::runtime_error in TaskMain(): "), std::string::npos) << printed;
  EXPECT_EQ(other->Osc()->CurrentPort(), 0);
  o->setParameter(o, kOscPortOffset, 0.08f);
  const auto again = Clock::now() + std::chrono::seconds(5);
  while (other->Osc()->CurrentPort() != BasePort() + 8 && Clock::now() < again) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_EQ(other->Osc()->CurrentPort(), BasePort() + 8);
}

// Every command, bound addresses included, with bytes changed, cut short
// or grown: the server reports and serves on, and the tape never sees a
// value that is no number.
TEST_F(OscServerThreaded, MangledPacketsEndOnlyThemselves) {
  ReplyListener sink;
  const std::string to = sink.Address(false);  // no scheme to mangle into a host name
  std::vector<std::vector<char>> valid;
  auto add = [&](auto build) {
    char buffer[512];
    osc::OutboundPacketStream p(buffer, sizeof buffer);
    build(p);
    valid.emplace_back(p.Data(), p.Data() + p.Size());
  };
  const char* ssCommands[] = {"/ping", "/getAll", "/getNumParameters"};
  for (const char* c : ssCommands) {
    add([&](auto& p) { p << osc::BeginMessage(c) << to.c_str() << "/r" << osc::EndMessage; });
  }
  const char* issCommands[] = {"/get", "/isParameterUsed", "/getInfo", "/registerUpdate",
                               "/unregisterUpdate"};
  for (const char* c : issCommands) {
    add([&](auto& p) { p << osc::BeginMessage(c) << 12 << to.c_str() << "/r" << osc::EndMessage; });
  }
  add([](auto& p) { p << osc::BeginMessage("/set") << 12 << 50.0f << osc::EndMessage; });
  add([](auto& p) { p << osc::BeginMessage("/startNote") << 60 << 0.5f << osc::EndMessage; });
  add([](auto& p) { p << osc::BeginMessage("/exec") << "remember" << 1.0f << osc::EndMessage; });
  add([](auto& p) { p << osc::BeginMessage("/getAllRegistered") << osc::EndMessage; });
  add([&](auto& p) {
    p << osc::BeginBundle(1) << osc::BeginMessage("/set") << 13 << 1.0f << osc::EndMessage
      << osc::BeginMessage("/get") << 13 << to.c_str() << "/r" << osc::EndMessage
      << osc::EndBundle;
  });

  std::mt19937 random(1234);
  testing::internal::CaptureStdout();
  for (int round = 0; round < 400; ++round) {
    std::vector<char> packet = valid[round % valid.size()];
    switch (random() % 3) {
      case 0: {  // a few bytes changed, but not a reply host: that would ask the DNS
        const std::string text(packet.begin(), packet.end());
        size_t host = text.find("127.0.0.1");
        for (int i = 0; i < 3; ++i) {
          const size_t at = random() % packet.size();
          if (host == std::string::npos || at < host || at >= host + to.size()) {
            packet[at] = static_cast<char>(random());
          }
        }
        break;
      }
      case 1:  // cut short
        packet.resize(random() % packet.size());
        break;
      default:  // noise appended, sizes kept a multiple of four or not
        for (int i = static_cast<int>(random() % 9); i > 0; --i) {
          packet.push_back(static_cast<char>(random()));
        }
    }
    if (!packet.empty()) SendRaw(packet.data(), packet.size());
    if (round % 50 == 49) Sync();  // the socket's buffer never overflows
  }
  Sync();
  testing::internal::GetCapturedStdout();
  for (int id = 0; id < kNumParams; ++id) {
    EXPECT_TRUE(std::isfinite(effect->GetParameterValue(id))) << id;
  }
}

// ---- Change notifications ----

// The notifications a listener receives until a final one for id (sent
// after the others, to know that they are all in), that one excluded.
std::vector<Reply> ReceiveUntil(ReplyListener& listener, int id) {
  std::vector<Reply> received;
  for (;;) {
    auto r = ReadReply(listener);
    if (!r) {
      ADD_FAILURE() << "no notification for " << id;
      return received;
    }
    if (r->args[0] == "i:" + std::to_string(id)) return received;
    received.push_back(*r);
  }
}

TEST_F(OscServerThreaded, SubscribersHearHostChangesOnly) {
  AEffect* e = effect->getAeffect();
  ReplyListener listener;
  const std::string addr = listener.Address();
  Send("/registerUpdate", 12, addr.c_str(), "/a");
  Send("/registerUpdate", 12, listener.Address(false).c_str(), "/a");  // the same endpoint
  Send("/registerUpdate", 12, addr.c_str(), "/b");
  Send("/registerUpdate", int(kDryLevel), addr.c_str(), "/dry");
  Sync();
  EXPECT_EQ(effect->Osc()->RegistrationCount(12), 2u);

  e->setParameter(e, kMasterFeedback, 0.5f);
  e->setParameter(e, kPitch, 0.5f);  // nobody subscribed
  Send("/set", 12, 20.0f);           // not through the host's path
  Sync();
  e->setParameter(e, kDryLevel, 0.25f);
  auto received = ReceiveUntil(listener, kDryLevel);
  ASSERT_EQ(received.size(), 2u);
  EXPECT_EQ(received[0].address, "/a");
  EXPECT_EQ(received[1].address, "/b");
  for (const Reply& r : received) EXPECT_EQ(r.args, (std::vector<std::string>{"i:12", "f:50"}));

  // An unknown pair changes nothing; removing /b leaves /a; removing /a too
  // ends the notifications of 12.
  Send("/unregisterUpdate", 12, addr.c_str(), "/c");
  Send("/unregisterUpdate", 12, addr.c_str(), "/b");
  Sync();
  EXPECT_EQ(effect->Osc()->RegistrationCount(12), 1u);
  e->setParameter(e, kMasterFeedback, 0.25f);
  e->setParameter(e, kDryLevel, 0.5f);
  received = ReceiveUntil(listener, kDryLevel);
  ASSERT_EQ(received.size(), 1u);
  EXPECT_EQ(received[0].address, "/a");
  EXPECT_EQ(received[0].args[1], "f:25");

  Send("/unregisterUpdate", 12, addr.c_str(), "/a");
  Sync();
  EXPECT_EQ(effect->Osc()->RegistrationCount(12), 0u);
  e->setParameter(e, kMasterFeedback, 0.75f);
  e->setParameter(e, kDryLevel, 0.75f);
  EXPECT_TRUE(ReceiveUntil(listener, kDryLevel).empty());
}

TEST_F(OscServerThreaded, GetAllRegisteredSendsCurrentValuesInIdOrder) {
  ReplyListener listener;
  const std::string addr = listener.Address();
  Send("/registerUpdate", int(kDryLevel), addr.c_str(), "/dry");
  Send("/registerUpdate", 12, addr.c_str(), "/fb");
  Send("/registerUpdate", 12, addr.c_str(), "/fb2");
  Send("/set", 12, 33.0f);
  Send("/getAllRegistered");
  std::vector<std::string> seen;
  for (int i = 0; i < 3; ++i) {
    auto r = ReadReply(listener);
    ASSERT_TRUE(r);
    seen.push_back(r->address + " " + r->args[0] + " " + r->args[1]);
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"/fb i:12 f:33", "/fb2 i:12 f:33",
                                            "/dry i:" + std::to_string(kDryLevel) + " f:1"}));

  testing::internal::CaptureStdout();
  Send("/registerUpdate", 82, addr.c_str(), "/x");
  Send("/unregisterUpdate", -1, addr.c_str(), "/x");
  Send("/getAllRegistered", 1);
  Sync();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("parameter id out of range in registerUpdate"), std::string::npos)
      << printed;
  EXPECT_NE(printed.find("parameter id out of range in unregisterUpdate"), std::string::npos)
      << printed;
  EXPECT_NE(printed.find("error while parsing message: /getAllRegistered"), std::string::npos)
      << printed;
}

// 64 changes while the notification thread cannot send: 63 wait in the
// queue and go out in order, the 64th is reported and dropped.
TEST_F(OscServerThreaded, AFullQueueDropsAndReports) {
  AEffect* e = effect->getAeffect();
  ReplyListener listener;
  Send("/registerUpdate", 12, listener.Address().c_str(), "/fb");
  Send("/registerUpdate", int(kDryLevel), listener.Address().c_str(), "/dry");
  Sync();
  testing::internal::CaptureStderr();
  {
    auto hold = effect->Osc()->HoldRegistrations();
    for (int i = 1; i <= 64; ++i) e->setParameter(e, kMasterFeedback, i / 100.0f);
  }
  for (int i = 1; i <= 63; ++i) {
    const auto r = ReadReply(listener);
    ASSERT_TRUE(r) << i;
    char expected[16];
    std::snprintf(expected, sizeof expected, "f:%g", static_cast<float>(i / 100.0f) * 100.0f);
    EXPECT_EQ(r->args, (std::vector<std::string>{"i:12", expected})) << i;
  }
  // Once the queue has room again, changes go out.
  e->setParameter(e, kDryLevel, 0.5f);
  EXPECT_TRUE(ReceiveUntil(listener, kDryLevel).empty());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "OSCHelper::SetParamQueue::Write() overflow\n");
}

TEST(OscSetParamQueue, HoldsSixtyThreeInOrderAcrossWraps) {
  OD::OSCHelper::SetParamQueue queue;
  OD::OSCHelper::SetParamQueue::Entry entry;
  EXPECT_FALSE(queue.Read(entry));
  int next = 0;
  for (int round = 0; round < 5; ++round) {
    for (int i = 0; i < 63; ++i) ASSERT_TRUE(queue.Write(round, static_cast<float>(next + i)));
    EXPECT_FALSE(queue.Write(round, -1.0f));
    for (int i = 0; i < 40; ++i) {  // part of it, so the ring wraps elsewhere each round
      ASSERT_TRUE(queue.Read(entry));
      EXPECT_EQ(entry.value, static_cast<float>(next++));
    }
    while (queue.Read(entry)) EXPECT_EQ(entry.value, static_cast<float>(next++));
  }
  EXPECT_EQ(next, 5 * 63);
}

// ---- Addresses bound by the script ----

class OscBindingsThreaded : public OscServerThreaded {
 protected:
  OscBindingsThreaded() : OscServerThreaded(kBindings) {}
  static constexpr const char* kBindings =
      "registerOSCPathForParameterNormalized('/fader', 'Dry Level')\n"
      "registerOSCPathForParameterNormalized('/fb', 12)\n"
      "registerOSCPathForParameter('/xy', {4, 6})\n"
      "registerOSCPathForParameter('/set', 'Master feedback')\n"
      "registerOSCPathForParameter('/pair', 'Pitch')\n"
      "registerOSCPathForParameterNormalized('/pair', 'Dry Level')\n"
      "function rebind() registerOSCPathForParameter('/xy', {4, 6, 7}) end\n"
      "function unknown() registerOSCPathForParameter('/u', 'No Such Thing') end\n";
};

TEST_F(OscBindingsThreaded, MessagesSetTheBoundParameters) {
  const int before = host.updateDisplayCount;
  Send("/fader", 0.5f);
  Send("/xy", 10.0f, 30.0f);
  Sync();
  EXPECT_EQ(effect->GetParameterValue(kDryLevel), 0.5f);
  EXPECT_EQ(effect->GetParameterValue(4), 10.0f);
  EXPECT_EQ(effect->GetParameterValue(6), 30.0f);
  EXPECT_GT(host.updateDisplayCount, before);

  // Normalised over the parameter's range, and not clamped.
  Send("/fb", 0.5f);
  Sync();
  EXPECT_EQ(effect->GetParameterValue(kMasterFeedback), 50.0f);
  Send("/fb", 1.5f);
  Sync();
  EXPECT_EQ(effect->GetParameterValue(kMasterFeedback), 150.0f);

  // A binding of "/set" comes before the command; two bindings of one
  // address both act.
  Send("/set", 33.0f);
  Send("/pair", 0.25f);
  Sync();
  EXPECT_EQ(effect->GetParameterValue(kMasterFeedback), 33.0f);
  EXPECT_EQ(effect->GetParameterValue(kPitch), 0.25f);
  EXPECT_EQ(effect->GetParameterValue(kDryLevel), 0.25f);
}

TEST_F(OscBindingsThreaded, WrongArgumentsSetNothing) {
  testing::internal::CaptureStdout();
  Send("/xy", 10.0f);
  Send("/xy", 10, 30);
  Send("/xy", 10.0f, 30.0f, 5.0f);
  Send("/set", 12, 20.0f);  // the built-in form no longer applies
  Send("/xy", std::numeric_limits<float>::quiet_NaN(), 1.0f);
  Sync();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(effect->GetParameterValue(4), 100.0f);
  EXPECT_EQ(effect->GetParameterValue(6), 50.0f);
  EXPECT_EQ(effect->GetParameterValue(kMasterFeedback), 90.0f);
  size_t errors = 0;
  for (size_t at = printed.find("error while parsing message: /"); at != std::string::npos;
       at = printed.find("error while parsing message: /", at + 1)) {
    ++errors;
  }
  EXPECT_EQ(errors, 5u) << printed;
}

TEST_F(OscBindingsThreaded, InconsistentSizesKeepTheFirstBinding) {
  testing::internal::CaptureStdout();
  Send("/exec", "rebind");
  Send("/exec", "unknown");
  Sync();
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_NE(printed.find("@@@ inconsistent sizes in RegisterOSCPathForParameter\n"),
            std::string::npos)
      << printed;
  EXPECT_NE(printed.find("/exec: failed to exec function"), std::string::npos) << printed;
  Send("/xy", 1.0f, 2.0f);
  Send("/u", 1.0f);  // never bound: an unknown address
  Sync();
  EXPECT_EQ(effect->GetParameterValue(4), 1.0f);
  EXPECT_EQ(effect->GetParameterValue(6), 2.0f);
  EXPECT_EQ(effect->GetParameterValue(7), 0.0f);
}

// Only the host's parameter path is followed: neither a parameter nobody
// subscribed to nor the changes of bindings and scripts take a slot.
TEST_F(OscBindingsThreaded, OnlyHostChangesOfSubscribedParametersAreQueued) {
  AEffect* e = effect->getAeffect();
  ReplyListener listener;
  Send("/registerUpdate", int(kDryLevel), listener.Address().c_str(), "/dry");
  Send("/registerUpdate", 4, listener.Address().c_str(), "/ll");
  Sync();
  testing::internal::CaptureStderr();
  {
    auto hold = effect->Osc()->HoldRegistrations();
    for (int i = 0; i < 100; ++i) e->setParameter(e, kPitch, (i % 10) / 10.0f);
  }
  Send("/xy", 10.0f, 20.0f);  // binds 4 and 6
  Send("/exec", "setParameter", "L->L time", 30.0f);
  Sync();
  e->setParameter(e, kDryLevel, 0.5f);
  EXPECT_TRUE(ReceiveUntil(listener, kDryLevel).empty());
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(effect->GetParameterValue(4), 30.0f);
}

// ---- Advertisement ----

TEST(OscAdvertisement, ServiceNameNamesTheComputer) {
  EXPECT_EQ(OD::OSCHelper::ServiceName(""), "Veltrane 2.1.2");
  EXPECT_EQ(OD::OSCHelper::ServiceName("studio"), "Veltrane 2.1.2 on studio");
}

// The "_osc._udp" services avahi-browse resolves, as "name port" (names
// unescaped); nothing when it cannot run.
std::vector<std::string> BrowseOscServices() {
  std::vector<std::string> found;
  FILE* pipe = popen("timeout 5 avahi-browse -rpt _osc._udp 2>/dev/null", "r");
  if (pipe == nullptr) return found;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::vector<std::string> fields;
    std::string field;
    for (const char* c = line; *c != '\0' && *c != '\n'; ++c) {
      if (*c == ';') {
        fields.push_back(field);
        field.clear();
      } else if (*c == '\\' && std::isdigit(static_cast<unsigned char>(c[1]))) {
        field += static_cast<char>(std::stoi(std::string(c + 1, 3)));
        c += 3;
      } else if (*c == '\\' && c[1] != '\0') {
        field += *++c;
      } else {
        field += *c;
      }
    }
    fields.push_back(field);
    if (fields.size() >= 9 && fields[0] == "=" && fields[4] == "_osc._udp") {
      found.push_back(fields[3] + " " + fields[8]);
    }
  }
  pclose(pipe);
  return found;
}

// Advertised exactly while serving, where an Avahi daemon runs; elsewhere
// the server serves unadvertised.
TEST_F(OscServerThreaded, AdvertisedWhileServing) {
  if (std::system("command -v avahi-browse >/dev/null 2>&1") != 0) {
    GTEST_SKIP() << "avahi-browse (Debian's avahi-utils) is not installed";
  }
  platform::ServiceAdvertisement probe;
  if (!probe.Publish("Veltrane probe", "_osc._udp", port)) {
    EXPECT_FALSE(effect->Osc()->IsAdvertised());
    GTEST_SKIP() << "no Avahi daemon is running (avahi-daemon with its D-Bus system bus)";
  }
  probe.Withdraw();
  ASSERT_TRUE(effect->Osc()->IsAdvertised());
  // Several instances on one computer share the name: the daemon numbers
  // the later ones, so only the port is certain.
  const std::string name = OD::OSCHelper::ServiceName(platform::ComputerName());
  const std::string suffix = " " + std::to_string(port);
  auto ours = [&] {
    for (const std::string& service : BrowseOscServices()) {
      if (service.rfind(name, 0) == 0 && service.size() > suffix.size() &&
          service.compare(service.size() - suffix.size(), suffix.size(), suffix) == 0) {
        return true;
      }
    }
    return false;
  };
  // The daemon probes the name on the network before it announces it, and
  // drops a departed client's services on its own schedule.
  auto becomes = [&](bool wanted) {
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    bool seen = ours();
    while (seen != wanted && Clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(200));
      seen = ours();
    }
    return seen == wanted;
  };
  EXPECT_TRUE(becomes(true));
  Serve(0);
  EXPECT_FALSE(effect->Osc()->IsAdvertised());
  EXPECT_TRUE(becomes(false));
}

TEST(OscAddress, ParsesWithAndWithoutPrefix) {
  struct Case {
    const char* text;
    const char* host;
    int port;
  };
  const Case cases[] = {{"osc.udp://10.0.0.2:9000", "10.0.0.2", 9000},
                        {"localhost:57120", "localhost", 57120},
                        {"studio.local", "studio.local", -1}};
  for (const Case& c : cases) {
    int port = 0;
    EXPECT_EQ(OD::OSCHelper::ParseAddress(c.text, port), c.host);
    EXPECT_EQ(port, c.port) << c.text;
  }
}

}  // namespace
