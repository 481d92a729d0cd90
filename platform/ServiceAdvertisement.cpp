#include "platform/ServiceAdvertisement.h"

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/malloc.h>
#include <avahi-common/thread-watch.h>
#include <unistd.h>

#include <climits>

namespace platform {

bool ServiceAdvertisement::Publish(const std::string& name, const char* type, int port) {
  Withdraw();
  m_name = name;
  m_type = type;
  m_port = port;
  m_poll = avahi_threaded_poll_new();
  if (m_poll == nullptr) return false;
  int error = 0;
  // No AVAHI_CLIENT_NO_FAIL: without a running daemon this fails at once.
  m_client = avahi_client_new(avahi_threaded_poll_get(m_poll), AvahiClientFlags(0), nullptr,
                              nullptr, &error);
  if (m_client != nullptr) {
    m_group = avahi_entry_group_new(
        m_client,
        [](AvahiEntryGroup* group, AvahiEntryGroupState state, void* self) {
          GroupChanged(group, state, self);
        },
        this);
  }
  if (m_group == nullptr || !Register() || avahi_threaded_poll_start(m_poll) < 0) {
    Withdraw();
    return false;
  }
  return true;
}

bool ServiceAdvertisement::Register() {
  return avahi_entry_group_add_service(m_group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC,
                                       AvahiPublishFlags(0), m_name.c_str(), m_type.c_str(),
                                       nullptr, nullptr, static_cast<uint16_t>(m_port),
                                       nullptr) >= 0 &&
         avahi_entry_group_commit(m_group) >= 0;
}

void ServiceAdvertisement::GroupChanged(AvahiEntryGroup* group, int state, void* self) {
  auto* advertisement = static_cast<ServiceAdvertisement*>(self);
  if (state != AVAHI_ENTRY_GROUP_COLLISION || advertisement->m_group == nullptr) return;
  char* other = avahi_alternative_service_name(advertisement->m_name.c_str());
  advertisement->m_name = other;
  avahi_free(other);
  avahi_entry_group_reset(group);
  advertisement->Register();  // failing, the service stays unadvertised
}

void ServiceAdvertisement::Withdraw() {
  if (m_poll != nullptr) avahi_threaded_poll_stop(m_poll);
  if (m_client != nullptr) avahi_client_free(m_client);
  if (m_poll != nullptr) avahi_threaded_poll_free(m_poll);
  m_client = nullptr;
  m_group = nullptr;
  m_poll = nullptr;
}

std::string ComputerName() {
  char name[HOST_NAME_MAX + 1] = {};
  if (gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

}  // namespace platform
