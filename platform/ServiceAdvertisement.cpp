#include "platform/ServiceAdvertisement.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/thread-watch.h>
#include <unistd.h>

#include <climits>

namespace platform {

bool ServiceAdvertisement::Publish(const std::string& name, const char* type, int port) {
  Withdraw();
  m_poll = avahi_threaded_poll_new();
  if (m_poll == nullptr) return false;
  int error = 0;
  // No AVAHI_CLIENT_NO_FAIL: without a running daemon this fails at once.
  m_client = avahi_client_new(avahi_threaded_poll_get(m_poll), AvahiClientFlags(0), nullptr,
                              nullptr, &error);
  if (m_client == nullptr) {
    Withdraw();
    return false;
  }
  // The group belongs to the client and goes with it; its events (such as a
  // name collision) change nothing here.
  AvahiEntryGroup* group = avahi_entry_group_new(m_client, nullptr, nullptr);
  if (group == nullptr ||
      avahi_entry_group_add_service(group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                    AvahiPublishFlags(0), name.c_str(), type, nullptr, nullptr,
                                    static_cast<uint16_t>(port), nullptr) < 0 ||
      avahi_entry_group_commit(group) < 0 || avahi_threaded_poll_start(m_poll) < 0) {
    Withdraw();
    return false;
  }
  return true;
}

void ServiceAdvertisement::Withdraw() {
  if (m_poll != nullptr) avahi_threaded_poll_stop(m_poll);
  if (m_client != nullptr) avahi_client_free(m_client);
  if (m_poll != nullptr) avahi_threaded_poll_free(m_poll);
  m_client = nullptr;
  m_poll = nullptr;
}

std::string ComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace platform
