// The OSC server of one instance: a thread listening on a UDP port (the base
// port preference plus "OSC Port Offset"), answering the command set: set,
// get and describe parameters, call the MIDI script's functions and play
// notes into it. It also sends OSC for the scripts (`sendOSC`).
//
// Threads: the server thread handles every command; the host's threads call
// SetPort and Disable; scripts call LuaSendOSC under the script lock.
#pragma once

#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "oscpack/osc/OscPacketListener.h"
#include "platform/Events.h"

struct lua_State;
class OdrkAuBase;
class UdpListeningReceiveSocket;

namespace OD {

class LuaMIDIHelper;

class OSCHelper : public osc::OscPacketListener {
 public:
  static constexpr int kPacketBytes = 1024;  // every packet sent is built in this

  OSCHelper(OdrkAuBase* plugin, LuaMIDIHelper* scripts);
  ~OSCHelper() override;
  OSCHelper(const OSCHelper&) = delete;
  OSCHelper& operator=(const OSCHelper&) = delete;

  // Starts the server thread, which sleeps until the first SetPort.
  void CreateTask();
  // Stops it, waiting at most ten seconds.
  void DestroyTask();
  // Serve on this port from now on (any thread).
  void SetPort(int port);
  // Stop serving until the next SetPort (any thread).
  void Disable();
  // The port being served; 0 while not serving.
  int CurrentPort() const { return m_currentPort.load(); }

  // "osc.udp://host:port" or "host:port": the host part, and the port (-1
  // when there is none).
  static std::string ParseAddress(const std::string& text, int& port);

  // The script function sendOSC(destination, address [, types], arguments).
  int LuaSendOSC(lua_State* L);

  virtual bool isParameterUsed(int id) { return true; }

 protected:
  void ProcessPacket(const char* data, int size, const IpEndpointName& remote) override;
  void ProcessMessage(const osc::ReceivedMessage& message, const IpEndpointName& remote) override;
  // Addresses the command set does not know.
  virtual void ProcessMessage(const char* address, const osc::ReceivedMessage& message,
                              const IpEndpointName& remote) {}

 private:
  enum : uint32_t { kQuit = 1, kWork = 2 };
  void TaskMain();
  void Dispatch(const osc::ReceivedMessage& message, const IpEndpointName& remote);
  void CallScript(const osc::ReceivedMessage& message, bool withReply);
  void BreakReceiveLoop();

  OdrkAuBase* m_plugin;
  LuaMIDIHelper* m_scripts;
  std::thread m_task;
  platform::EventFlags m_event;
  platform::Semaphore m_done{1, 0};
  bool m_running = false;
  std::atomic<int> m_requestedPort{0};
  std::atomic<int> m_currentPort{0};
  std::mutex m_socketLock;  // guards m_socket against a break from another thread
  UdpListeningReceiveSocket* m_socket = nullptr;
};

}  // namespace OD
