#include "osc/OSCHelper.h"

extern "C" {
#include <lauxlib.h>
#include <lua.h>
}

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string_view>
#include <stdexcept>

#include "midi/LuaMIDIHelper.h"
#include "oscpack/ip/TimerListener.h"
#include "oscpack/ip/UdpSocket.h"
#include "oscpack/osc/OscOutboundPacketStream.h"
#include "oscpack/osc/OscReceivedElements.h"
#include "shell/OdrkAuBase.h"
#include "shell/ParamTable.h"

namespace OD {
namespace {

constexpr auto kShutdownWait = std::chrono::milliseconds(10000);
constexpr int kCallResults = 16;
// The parameters one script call may bind to one address.
constexpr int kMaxBound = 128;

// An error that ends the handling of one message.
struct MessageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The host's IPv4 address; 0 when it cannot be resolved. getaddrinfo, not
// the library's gethostbyname: several servers resolve at the same time.
unsigned long Resolve(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0 || found == nullptr) return 0;
  const auto* in = reinterpret_cast<const sockaddr_in*>(found->ai_addr);
  const unsigned long address = ntohl(in->sin_addr.s_addr);
  freeaddrinfo(found);
  return address;
}

IpEndpointName Endpoint(const std::string& address) {
  int port = -1;
  const std::string host = OSCHelper::ParseAddress(address, port);
  return IpEndpointName(Resolve(host), port);
}

// Sends one bundle (time tag 1) holding one message, from a new socket.
template <typename Fill>
void SendBundle(const IpEndpointName& endpoint, const char* path, Fill fill) {
  char buffer[OSCHelper::kPacketBytes];
  osc::OutboundPacketStream p(buffer, sizeof buffer);
  p << osc::BeginBundle(1) << osc::BeginMessage(path);
  fill(p);
  p << osc::EndMessage << osc::EndBundle;
  UdpTransmitSocket socket(endpoint);
  socket.Send(p.Data(), p.Size());
}

template <typename Fill>
void SendReply(const std::string& address, const char* path, Fill fill) {
  SendBundle(Endpoint(address), path, fill);
}

// Values from the network that would poison the tape (feedback of NaN never
// dies away) end their message instead.
float CheckedValue(float value) {
  if (!std::isfinite(value)) throw MessageError("value is not a finite number");
  return value;
}

int CheckedId(osc::int32 id, const char* command) {
  if (!IsValidParamId(id)) {
    throw MessageError(std::string("parameter id out of range in ") + command);
  }
  return id;
}

}  // namespace

// The server's socket and its receive loop. A break asked for before the
// loop runs would be lost (the loop clears it on entry), so a watch ends the
// loop too, within 100 ms, once the port is no longer wanted.
class ServerSocket : public UdpSocket, TimerListener {
 public:
  ServerSocket(const IpEndpointName& local, PacketListener* listener,
               std::function<bool()> wanted)
      : m_listener(listener), m_wanted(std::move(wanted)) {
    Bind(local);
    m_loop.AttachSocketListener(this, m_listener);
    m_loop.AttachPeriodicTimerListener(100, this);
  }
  ~ServerSocket() override {
    m_loop.DetachPeriodicTimerListener(this);
    m_loop.DetachSocketListener(this, m_listener);
  }
  void Run() {
    if (m_wanted()) m_loop.Run();
  }
  void AsynchronousBreak() { m_loop.AsynchronousBreak(); }

 private:
  void TimerExpired() override {
    if (!m_wanted()) m_loop.Break();
  }
  SocketReceiveMultiplexer m_loop;
  PacketListener* m_listener;
  std::function<bool()> m_wanted;
};

OSCHelper::OSCHelper(OdrkAuBase* plugin, LuaMIDIHelper* scripts)
    : m_plugin(plugin), m_scripts(scripts) {}

OSCHelper::~OSCHelper() {
  DestroyTask();
}

std::string OSCHelper::ParseAddress(const std::string& text, int& port) {
  std::string rest = text.rfind("osc.udp://", 0) == 0 ? text.substr(10) : text;
  const size_t colon = rest.find(':');
  if (colon == std::string::npos) {
    port = -1;
    return rest;
  }
  port = std::atoi(rest.c_str() + colon + 1);
  return rest.substr(0, colon);
}

void OSCHelper::CreateTask() {
  if (m_running) {
    std::printf("Warning: Attempt to recreate OSC task\n");
    return;
  }
  m_quitting = false;
  try {
    m_task = std::thread([this] { TaskMain(); });
    m_running = true;
    m_notifyTask = std::thread([this] { NotifyTaskMain(); });
  } catch (const std::system_error& e) {
    std::printf("MPCreateTask returned %d\n", e.code().value());
  }
}

void OSCHelper::DestroyTask() {
  if (!m_running) return;
  m_quitting = true;
  BreakReceiveLoop();
  m_event.Set(kQuit);
  if (m_done.Wait(kShutdownWait)) {
    m_task.join();
  } else {
    std::printf("OSC: DestroyTask timeout on shutdown\n");
    std::fflush(stdout);
    m_task.detach();
  }
  if (m_notifyTask.joinable()) {
    m_notifyEvent.Set(kQuit);
    if (m_notifyDone.Wait(kShutdownWait)) {
      m_notifyTask.join();
    } else {
      std::printf("OSC: DestroyTask timeout on shutdown\n");
      std::fflush(stdout);
      m_notifyTask.detach();
    }
  }
  m_running = false;
}

void OSCHelper::SetPort(int port) {
  m_requestedPort = port;
  BreakReceiveLoop();
  m_event.Set(kWork);
}

void OSCHelper::Disable() {
  m_requestedPort = 0;
  BreakReceiveLoop();
}

void OSCHelper::BreakReceiveLoop() {
  std::lock_guard<std::mutex> guard(m_socketLock);
  if (m_socket != nullptr) m_socket->AsynchronousBreak();
}

void OSCHelper::TaskMain() {
  for (;;) {
    if (m_event.Wait() & kQuit) break;
    const int port = m_requestedPort.load();
    m_currentPort = 0;
    if (port == 0) continue;
    try {
      ServerSocket socket(IpEndpointName(IpEndpointName::ANY_ADDRESS, port), this,
                          [this, port] { return !m_quitting && m_requestedPort.load() == port; });
      {
        std::lock_guard<std::mutex> guard(m_socketLock);
        m_socket = &socket;
      }
      m_currentPort = port;
      PublishBonjourService(port);
      socket.Run();
      std::lock_guard<std::mutex> guard(m_socketLock);
      m_socket = nullptr;
    } catch (const osc::Exception& e) {
      std::printf("osc::Exception in TaskMain(): %s\n", e.what());
    } catch (const std::exception& e) {
      std::printf("std::runtime_error in TaskMain(): %s\n", e.what());
    }
    std::fflush(stdout);
    UnpublishBonjourService();
    {
      std::lock_guard<std::mutex> guard(m_socketLock);
      m_socket = nullptr;
    }
    m_currentPort = 0;
  }
  m_done.Signal();
}

std::string OSCHelper::ServiceName(const std::string& computer) {
  char product[64];
  std::snprintf(product, sizeof product, "Veltrane %d.%d.%d", 2, 1, 2);
  return computer.empty() ? std::string(product) : std::string(product) + " on " + computer;
}

void OSCHelper::PublishBonjourService(int port) {
  m_advertised = m_advertisement.Publish(ServiceName(platform::ComputerName()), "_osc._udp", port);
}

void OSCHelper::UnpublishBonjourService() {
  m_advertisement.Withdraw();
  m_advertised = false;
}

// oscpack does not throw for a blob whose size runs past the end of its
// message, and then reads arguments beyond it. No command takes a blob, so a
// message with one is refused before oscpack looks at its arguments.
static void CheckNoBlob(const char* data, osc::osc_bundle_element_size_t size) {
  const char* end = data + size;
  const auto* addressEnd = static_cast<const char*>(std::memchr(data, '\0', size));
  if (addressEnd == nullptr) return;  // oscpack reports it
  const char* tags = data + ((addressEnd - data) / 4 + 1) * 4;
  if (tags >= end || *tags != ',') return;
  const auto* tagsEnd = static_cast<const char*>(std::memchr(tags, '\0', end - tags));
  if (std::memchr(tags, osc::BLOB_TYPE_TAG, (tagsEnd != nullptr ? tagsEnd : end) - tags)) {
    throw osc::MalformedMessageException("blob arguments are not accepted");
  }
}

void OSCHelper::ProcessBundle(const osc::ReceivedBundle& bundle, const IpEndpointName& remote) {
  for (auto element = bundle.ElementsBegin(); element != bundle.ElementsEnd(); ++element) {
    if (element->IsBundle()) {
      ProcessBundle(osc::ReceivedBundle(*element), remote);
    } else {
      CheckNoBlob(element->Contents(), element->Size());
      ProcessMessage(osc::ReceivedMessage(*element), remote);
    }
  }
}

void OSCHelper::ProcessPacket(const char* data, int size, const IpEndpointName& remote) {
  // A packet that is no OSC at all ends only itself.
  try {
    const osc::ReceivedPacket packet(data, size);
    if (packet.IsBundle()) {
      ProcessBundle(osc::ReceivedBundle(packet), remote);
    } else {
      CheckNoBlob(packet.Contents(), packet.Size());
      ProcessMessage(osc::ReceivedMessage(packet), remote);
    }
  } catch (const osc::Exception& e) {
    std::printf("error while parsing message: %s\n", e.what());
    std::fflush(stdout);
  }
}

void OSCHelper::ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName& remote) {
  try {
    Dispatch(message, remote);
  } catch (const MessageError& e) {
    std::printf("error while parsing message: %s: %s\n", message.AddressPattern(), e.what());
  } catch (const osc::Exception& e) {
    std::printf("error while parsing message: %s: %s\n", message.AddressPattern(), e.what());
  } catch (const std::exception& e) {
    // A reply address no socket can reach ends this message, not the server.
    std::printf("error while parsing message: %s: %s\n", message.AddressPattern(), e.what());
  }
  std::fflush(stdout);
}

void OSCHelper::Dispatch(const osc::ReceivedMessage& message, const IpEndpointName& remote) {
  const char* address = message.AddressPattern();
  osc::ReceivedMessageArgumentStream args = message.ArgumentStream();
  const char* addr = nullptr;
  const char* path = nullptr;
  osc::int32 id = 0;
  float value = 0.0f;

  if (ApplyBindings(message)) return;
  if (std::strcmp(address, "/ping") == 0) {
    args >> addr >> path >> osc::EndMessage;
    char local[IpEndpointName::ADDRESS_AND_PORT_STRING_LENGTH];
    {
      std::lock_guard<std::mutex> guard(m_socketLock);
      if (m_socket == nullptr) return;
      m_socket->LocalEndpointFor(Endpoint(addr)).AddressAndPortAsString(local);
    }
    const std::string self = std::string("osc.udp://") + local;
    SendReply(addr, path,
              [&](osc::OutboundPacketStream& p) { p << self.c_str() << "Veltrane 2.1.2"; });
  } else if (std::strcmp(address, "/set") == 0) {
    args >> id >> value >> osc::EndMessage;
    m_plugin->SetParameterValue(CheckedId(id, "set"), CheckedValue(value));
    m_plugin->updateDisplay();
  } else if (std::strcmp(address, "/get") == 0) {
    args >> id >> addr >> path >> osc::EndMessage;
    const float current = m_plugin->GetParameterValue(CheckedId(id, "get"));
    SendReply(addr, path, [&](osc::OutboundPacketStream& p) { p << id << current; });
  } else if (std::strcmp(address, "/getAll") == 0) {
    args >> addr >> path >> osc::EndMessage;
    UdpTransmitSocket socket(Endpoint(addr));
    for (osc::int32 i = 0; i < kNumParams; ++i) {
      char buffer[kPacketBytes];
      osc::OutboundPacketStream p(buffer, sizeof buffer);
      p << osc::BeginBundle(1) << osc::BeginMessage(path) << i << m_plugin->GetParameterValue(i)
        << osc::EndMessage << osc::EndBundle;
      socket.Send(p.Data(), p.Size());
    }
  } else if (std::strcmp(address, "/getAllRegistered") == 0) {
    args >> osc::EndMessage;
    std::lock_guard<std::mutex> guard(m_registrationLock);
    for (const auto& [key, subscriber] : m_registrations) {
      SendNotification(subscriber.endpoint, subscriber.path, key, m_plugin->GetParameterValue(key));
    }
  } else if (std::strcmp(address, "/getNumParameters") == 0) {
    args >> addr >> path >> osc::EndMessage;
    SendReply(addr, path, [](osc::OutboundPacketStream& p) { p << osc::int32{kNumParams}; });
  } else if (std::strcmp(address, "/isParameterUsed") == 0) {
    args >> id >> addr >> path >> osc::EndMessage;
    const bool used = isParameterUsed(CheckedId(id, "isParameterUsed"));
    SendReply(addr, path, [&](osc::OutboundPacketStream& p) { p << id << used; });
  } else if (std::strcmp(address, "/getInfo") == 0) {
    args >> id >> addr >> path >> osc::EndMessage;
    const ParamInfo& info = astParamInfos[CheckedId(id, "getInfo")];
    if (!isParameterUsed(id)) throw MessageError("parameter id is unused");
    SendReply(addr, path, [&](osc::OutboundPacketStream& p) {
      p << id << info.minimum << info.maximum << info.defaultValue << info.name
        << static_cast<osc::int32>(info.unit);
    });
  } else if (std::strcmp(address, "/registerUpdate") == 0) {
    args >> id >> addr >> path >> osc::EndMessage;
    CheckedId(id, "registerUpdate");
    const IpEndpointName endpoint = Endpoint(addr);
    std::lock_guard<std::mutex> guard(m_registrationLock);
    const auto [first, last] = m_registrations.equal_range(id);
    for (auto it = first; it != last; ++it) {
      if (it->second.endpoint == endpoint && it->second.path == path) return;
    }
    m_registrations.emplace_hint(last, id, Subscriber{endpoint, path});
    m_subscribed[id] = true;
  } else if (std::strcmp(address, "/unregisterUpdate") == 0) {
    args >> id >> addr >> path >> osc::EndMessage;
    CheckedId(id, "unregisterUpdate");
    const IpEndpointName endpoint = Endpoint(addr);
    std::lock_guard<std::mutex> guard(m_registrationLock);
    const auto [first, last] = m_registrations.equal_range(id);
    for (auto it = first; it != last; ++it) {
      if (it->second.endpoint == endpoint && it->second.path == path) {
        m_registrations.erase(it);
        break;
      }
    }
    if (m_registrations.count(id) == 0) m_subscribed[id] = false;
  } else if (std::strcmp(address, "/exec") == 0 || std::strcmp(address, "/call") == 0) {
    CallScript(message, address[1] == 'c');
  } else if (std::strcmp(address, "/startNote") == 0 || std::strcmp(address, "/stopNote") == 0) {
    args >> id >> value >> osc::EndMessage;
    if (m_scripts == nullptr) return;
    const auto note = static_cast<unsigned char>(id & 0xFF);
    const float scaled = std::clamp(127.0f * CheckedValue(value), -1.0e9f, 1.0e9f);
    const auto velocity = static_cast<unsigned char>(static_cast<int>(scaled) & 0xFF);
    if (address[2] == 't' && address[3] == 'a') {  // "/startNote"
      m_scripts->HandleNoteOn(1, note, velocity, 0);
    } else {
      m_scripts->HandleNoteOff(1, note, velocity, 0);
    }
  } else {
    ProcessMessage(address, message, remote);
  }
}

void OSCHelper::CallScript(const osc::ReceivedMessage& message, bool withReply) {
  if (m_scripts == nullptr) throw MessageError("no Lua support from OSC");
  auto arg = message.ArgumentsBegin();
  const auto end = message.ArgumentsEnd();
  auto nextString = [&]() -> const char* {
    if (arg == end) throw osc::MissingArgumentException();
    return (arg++)->AsString();
  };
  const char* name = nextString();
  const char* addr = withReply ? nextString() : nullptr;
  const char* path = withReply ? nextString() : nullptr;

  lua_State* L = m_scripts->LuaInit();
  std::lock_guard<platform::RecursiveLock> guard(m_scripts->ScriptLock());
  const int base = lua_gettop(L);
  // The standard libraries' own globals (dofile, loadstring, require, ...)
  // are not for the network: only the script API and the scripts' functions.
  if (m_scripts->IsStandardGlobal(name)) throw MessageError("failed to exec function");
  lua_getglobal(L, name);
  int count = 0;
  for (; arg != end; ++arg, ++count) {
    switch (arg->TypeTag()) {
      case osc::TRUE_TYPE_TAG:
      case osc::FALSE_TYPE_TAG:
        lua_pushboolean(L, arg->AsBool());
        break;
      case osc::NIL_TYPE_TAG:
        lua_pushnil(L);
        break;
      case osc::DOUBLE_TYPE_TAG:
        lua_pushnumber(L, arg->AsDouble());
        break;
      case osc::FLOAT_TYPE_TAG:
        lua_pushnumber(L, arg->AsFloat());
        break;
      case osc::INT64_TYPE_TAG:
        lua_pushnumber(L, static_cast<double>(arg->AsInt64()));
        break;
      case osc::INT32_TYPE_TAG:
        lua_pushnumber(L, arg->AsInt32());
        break;
      case osc::STRING_TYPE_TAG:
        lua_pushstring(L, arg->AsString());
        break;
      default:
        lua_settop(L, base);
        throw MessageError("unhandled argument type to exec");
    }
  }
  if (lua_pcall(L, count, withReply ? kCallResults : 0, 0) != 0) {
    lua_settop(L, base);
    throw MessageError("failed to exec function");
  }
  if (!withReply) return;
  try {
    SendReply(addr, path, [&](osc::OutboundPacketStream& p) {
      for (int i = 1; i <= kCallResults; ++i) {
        const int index = base + i;
        if (lua_isnil(L, index)) break;
        if (lua_type(L, index) == LUA_TNUMBER ||
            (lua_type(L, index) == LUA_TSTRING && lua_isnumber(L, index))) {
          p << static_cast<float>(lua_tonumber(L, index));
        } else if (lua_type(L, index) == LUA_TSTRING) {
          p << lua_tostring(L, index);
        } else {
          throw MessageError("unhandled argument type return from call");
        }
      }
    });
  } catch (...) {
    lua_settop(L, base);
    throw;
  }
  lua_settop(L, base);
}

// ---- Change notifications ----

bool OSCHelper::SetParamQueue::Write(int id, float value) {
  while (m_writing.test_and_set(std::memory_order_acquire)) {
  }
  const int write = m_write.load(std::memory_order_relaxed);
  const bool full = write == m_read.load(std::memory_order_acquire);
  if (!full) {
    m_slots[write] = Entry{id, value};
    m_write.store((write + 1) % kSlots, std::memory_order_release);
  }
  m_writing.clear(std::memory_order_release);
  return !full;
}

bool OSCHelper::SetParamQueue::Read(Entry& entry) {
  const int next = (m_read.load(std::memory_order_relaxed) + 1) % kSlots;
  if (next == m_write.load(std::memory_order_acquire)) return false;
  entry = m_slots[next];
  m_read.store(next, std::memory_order_release);
  return true;
}

void OSCHelper::NotifySetParam(int id, float value) {
  if (!IsValidParamId(id) || !m_subscribed[id].load(std::memory_order_relaxed)) return;
  if (!m_queue.Write(id, value)) m_overflows.fetch_add(1, std::memory_order_relaxed);
  m_notifyEvent.Set(kWork);
}

size_t OSCHelper::RegistrationCount(int id) {
  std::lock_guard<std::mutex> guard(m_registrationLock);
  return m_registrations.count(id);
}

void OSCHelper::SendNotification(const IpEndpointName& endpoint, const std::string& path,
                                 int32_t id, float value) {
  try {
    SendBundle(endpoint, path.c_str(), [&](osc::OutboundPacketStream& p) { p << id << value; });
  } catch (const std::exception&) {
    // An unreachable subscriber misses this one; the others do not.
  }
}

void OSCHelper::NotifyTaskMain() {
  for (;;) {
    if (m_notifyEvent.Wait() & kQuit) break;
    for (int dropped = m_overflows.exchange(0); dropped > 0; --dropped) {
      std::fputs("OSCHelper::SetParamQueue::Write() overflow\n", stderr);
    }
    std::lock_guard<std::mutex> guard(m_registrationLock);
    SetParamQueue::Entry entry;
    while (m_queue.Read(entry)) {
      const auto [first, last] = m_registrations.equal_range(entry.id);
      for (auto it = first; it != last; ++it) {
        SendNotification(it->second.endpoint, it->second.path, entry.id, entry.value);
      }
    }
  }
  m_notifyDone.Signal();
}

// ---- Addresses the scripts bind to parameters ----

int OSCHelper::RegisterOSCPathForParameter(lua_State* L, bool normalized) {
  // Everything that can raise a script error comes first, before any C++
  // object that owns memory exists.
  const char* address = luaL_checkstring(L, 1);
  int ids[kMaxBound];
  int count = 0;
  if (lua_istable(L, 2)) {
    const int length = static_cast<int>(lua_objlen(L, 2));
    if (length > kMaxBound) return luaL_error(L, "too many parameters for one OSC path: %d", length);
    for (int i = 1; i <= length; ++i) {
      lua_rawgeti(L, 2, i);
      ids[count++] = LuaMIDIHelper::ParameterArgument(L, lua_gettop(L));
      lua_pop(L, 1);
    }
  } else {
    ids[count++] = LuaMIDIHelper::ParameterArgument(L, 2);
  }

  std::vector<RegisteredPathParam> binding;
  binding.reserve(count);
  for (int i = 0; i < count; ++i) {
    const ParamInfo& info = astParamInfos[ids[i]];
    binding.push_back(normalized ? RegisteredPathParam{ids[i], info.minimum,
                                                       info.maximum - info.minimum}
                                 : RegisteredPathParam{ids[i], 0.0f, 1.0f});
  }
  std::lock_guard<std::mutex> guard(m_registrationLock);
  const auto existing = m_bindings.find(std::string_view(address));
  if (existing != m_bindings.end() && existing->second.size() != binding.size()) {
    LuaMIDIHelper::LuaError(L, "inconsistent sizes in RegisterOSCPathForParameter\n");
    return 0;
  }
  m_bindings.emplace_hint(m_bindings.upper_bound(std::string_view(address)), address,
                          std::move(binding));
  return 0;
}

bool OSCHelper::ApplyBindings(const osc::ReceivedMessage& message) {
  std::lock_guard<std::mutex> guard(m_registrationLock);
  const auto [first, last] = m_bindings.equal_range(std::string_view(message.AddressPattern()));
  if (first == last) return false;
  const size_t count = first->second.size();
  float values[kMaxBound];
  osc::ReceivedMessageArgumentStream args = message.ArgumentStream();
  for (size_t i = 0; i < count; ++i) {
    args >> values[i];
    CheckedValue(values[i]);
  }
  args >> osc::EndMessage;
  for (auto it = first; it != last; ++it) {
    for (size_t i = 0; i < count; ++i) {
      const RegisteredPathParam& p = it->second[i];
      m_plugin->SetParameterValue(p.id, p.scale * values[i] + p.offset);
    }
  }
  m_plugin->updateDisplay();
  return true;
}

// ---- sendOSC for the scripts ----

int OSCHelper::LuaSendOSC(lua_State* L) {
  const int n = lua_gettop(L);
  const char* destination = luaL_checkstring(L, 1);
  const char* address = luaL_checkstring(L, 2);
  const char* types = nullptr;
  int table = 0;
  if (n == 3) {
    luaL_checktype(L, 3, LUA_TTABLE);
    table = 3;
  } else if (n == 4) {
    types = luaL_checkstring(L, 3);
    luaL_checktype(L, 4, LUA_TTABLE);
    table = 4;
  }
  const int length = table != 0 ? static_cast<int>(lua_objlen(L, table)) : 0;
  if (types != nullptr && static_cast<int>(std::strlen(types)) != length) {
    return luaL_error(L, "format string length mismatch in sendOSC");
  }
  char buffer[kPacketBytes];
  bool failed = false;
  char error[256] = "";
  // No C++ object with a destructor may be alive when luaL_error unwinds, so
  // the packet is built and sent in a scope of its own first.
  {
    try {
      osc::OutboundPacketStream p(buffer, sizeof buffer);
      p << osc::BeginBundle(1) << osc::BeginMessage(address);
      for (int i = 1; i <= length && !failed; ++i) {
        lua_rawgeti(L, table, i);
        if (lua_isnil(L, -1)) {
          p << osc::OscNil;
        } else if (lua_isnumber(L, -1)) {
          if (types != nullptr && types[i - 1] == 'i') {
            p << static_cast<osc::int32>(lua_tointeger(L, -1));
          } else {
            p << static_cast<float>(lua_tonumber(L, -1));
          }
        } else if (lua_type(L, -1) == LUA_TSTRING) {
          p << lua_tostring(L, -1);
        } else {
          failed = true;
          std::snprintf(error, sizeof error, "unhandled argument type return from call");
        }
        lua_pop(L, 1);
      }
      if (!failed) {
        p << osc::EndMessage << osc::EndBundle;
        UdpTransmitSocket socket(Endpoint(destination));
        socket.Send(p.Data(), p.Size());
      }
    } catch (const std::exception& e) {
      failed = true;
      std::snprintf(error, sizeof error, "%s", e.what());
    }
  }
  if (failed) return luaL_error(L, "%s", error);
  return 0;
}

}  // namespace OD
