// The OSC server of one instance: a thread listening on a UDP port (the base
// port preference plus "OSC Port Offset"), answering the command set: set,
// get and describe parameters, call the MIDI script's functions and play
// notes into it. It also sends OSC for the scripts (`sendOSC`).
//
// Clients may subscribe to parameters: every change through the plug-in's
// parameter path is then sent to them by a second thread, the notification
// thread, from a fixed queue. Scripts may bind addresses of their own to
// parameters. While serving, the server is advertised as "_osc._udp".
//
// Threads: the server thread handles every command; the host's threads call
// SetPort and Disable; scripts call LuaSendOSC under the script lock.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "oscpack/ip/IpEndpointName.h"
#include "oscpack/osc/OscPacketListener.h"
#include "platform/Events.h"
#include "platform/ServiceAdvertisement.h"
#include "shell/ParamTable.h"

struct lua_State;
class OdrkAuBase;

namespace OD {

class LuaMIDIHelper;
class ServerSocket;

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

  // ---- Change notifications ----
  // The changes waiting for the notification thread: a ring of 64 slots, at
  // most 63 waiting. Writers are serialised by a spin lock; the one reader
  // needs none. No allocation, no blocking lock, no I/O for a writer.
  class SetParamQueue {
   public:
    static constexpr int kSlots = 64;
    struct Entry {
      int32_t id;
      float value;
    };
    bool Write(int id, float value);
    bool Read(Entry& entry);

   private:
    Entry m_slots[kSlots] = {};
    std::atomic<int> m_read{kSlots - 1};  // the slot last read
    std::atomic<int> m_write{0};          // the next slot to write
    std::atomic_flag m_writing = ATOMIC_FLAG_INIT;
  };

  // After a change through the plug-in's parameter path (any thread, the
  // audio thread included): queued for subscribers of id, if there are any.
  void NotifySetParam(int id, float value);

  // The script functions registerOSCPathForParameter(Normalized).
  int RegisterOSCPathForParameter(lua_State* L, bool normalized);

  // Holds the registrations and bindings, and so the notification thread,
  // for as long as the lock is kept (for tests and diagnostics).
  std::unique_lock<std::mutex> HoldRegistrations() {
    return std::unique_lock<std::mutex>(m_registrationLock);
  }
  size_t RegistrationCount(int id);

  // "Veltrane 2.1.2", and " on <computer>" when the computer has a name.
  static std::string ServiceName(const std::string& computer);
  // True while the server is advertised on the local network.
  bool IsAdvertised() const { return m_advertised.load(); }

 protected:
  void ProcessPacket(const char* data, int size, const IpEndpointName& remote) override;
  void ProcessBundle(const osc::ReceivedBundle& bundle, const IpEndpointName& remote) override;
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
  void NotifyTaskMain();
  void SendNotification(const IpEndpointName& endpoint, const std::string& path, int32_t id,
                        float value);
  void PublishBonjourService(int port);
  void UnpublishBonjourService();
  // Applies the bindings of the message's address; false when it has none.
  bool ApplyBindings(const osc::ReceivedMessage& message);

  struct Subscriber {
    IpEndpointName endpoint;
    std::string path;
  };
  struct RegisteredPathParam {
    int32_t id;
    float offset;
    float scale;
  };

  OdrkAuBase* m_plugin;
  LuaMIDIHelper* m_scripts;
  std::thread m_task;
  platform::EventFlags m_event;
  platform::Semaphore m_done{1, 0};
  bool m_running = false;
  std::atomic<int> m_requestedPort{0};
  std::atomic<int> m_currentPort{0};
  std::mutex m_socketLock;  // guards m_socket against a break from another thread
  ServerSocket* m_socket = nullptr;
  std::atomic<bool> m_quitting{false};

  std::thread m_notifyTask;
  platform::EventFlags m_notifyEvent;
  platform::Semaphore m_notifyDone{1, 0};
  SetParamQueue m_queue;
  std::mutex m_registrationLock;  // guards the three below
  std::multimap<int32_t, Subscriber> m_registrations;
  std::atomic<bool> m_subscribed[kNumParams] = {};
  std::multimap<std::string, std::vector<RegisteredPathParam>, std::less<>> m_bindings;
  // Changes dropped on a full queue, reported by the notification thread:
  // the writer may be the audio thread, which does no I/O.
  std::atomic<int> m_overflows{0};
  platform::ServiceAdvertisement m_advertisement;  // the server thread's
  std::atomic<bool> m_advertised{false};
};

}  // namespace OD
