// Arbitrary packets into the OSC dispatcher of a live instance, with the
// default MIDI script loaded and a binding of its own, as the network would
// deliver them to the server thread.
//
// Every host name resolves to the loopback address here, so replies and
// notifications to whatever address a packet names stay on this machine
// and no name is ever looked up on the network.
#include <netdb.h>
#include <netinet/in.h>
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>

extern "C" {
#include <lauxlib.h>
}

#include "osc/OSCHelper.h"
#include "oscpack/ip/IpEndpointName.h"
#include "shell/OdrkCrossDelay.h"
#include "shell/VTLuaMIDIHelper.h"

namespace {

struct Loopback {
  addrinfo info;
  sockaddr_in address;
};

}  // namespace

extern "C" int getaddrinfo(const char*, const char*, const addrinfo* hints, addrinfo** result) {
  auto* found = static_cast<Loopback*>(calloc(1, sizeof(Loopback)));
  found->address.sin_family = AF_INET;
  found->address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  found->info.ai_family = AF_INET;
  found->info.ai_socktype = hints != nullptr ? hints->ai_socktype : SOCK_DGRAM;
  found->info.ai_addrlen = sizeof(sockaddr_in);
  found->info.ai_addr = reinterpret_cast<sockaddr*>(&found->address);
  *result = &found->info;
  return 0;
}

extern "C" void freeaddrinfo(addrinfo* found) {
  free(found);  // the Loopback it starts
}

namespace {

VstIntPtr Host(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
  return opcode == audioMasterVersion ? 2400 : 0;
}

OdrkCrossDelay* g_effect = nullptr;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // Preferences and user scripts from an empty folder of our own.
  char folder[] = "/tmp/veltrane-fuzz-XXXXXX";
  if (mkdtemp(folder) == nullptr) abort();
  setenv("XDG_CONFIG_HOME", folder, 1);
  setenv("XDG_DATA_HOME", folder, 1);
  setenv("VELTRANE_MACHINE_DATA_HOME", folder, 1);
  g_effect = new OdrkCrossDelay(&Host, false);
  g_effect->getAeffect()->dispatcher(g_effect->getAeffect(), effOpen, 0, 0, nullptr, 0.0f);
  lua_State* L = g_effect->ScriptHost()->LuaInit();
  luaL_dostring(L,
                "registerOSCPathForParameter('/xy', {4, 6})\n"
                "registerOSCPathForParameterNormalized('/fader', 'Dry Level')\n"
                "function remember(x) remembered = x end\n"
                "function give() return 1, 'a', 2 end\n");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 8192) return 0;  // more than a UDP datagram the server reads
  // The listener's own entry point, as the receive loop calls it.
  osc::OscPacketListener& listener = *g_effect->Osc();
  listener.ProcessPacket(reinterpret_cast<const char*>(data), static_cast<int>(size),
                         IpEndpointName(IpEndpointName::ANY_ADDRESS, 9));
  return 0;
}
