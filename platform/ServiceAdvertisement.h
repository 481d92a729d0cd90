// Advertising a network service on the local network (DNS-SD through the
// Avahi daemon), so that controllers can find it by type and name.
//
// Failures are quiet: without a daemon, or when the daemon refuses, nothing
// is advertised and Publish says so. One thread publishes and withdraws.
#pragma once

#include <string>

struct AvahiThreadedPoll;
struct AvahiClient;
struct AvahiEntryGroup;

namespace platform {

class ServiceAdvertisement {
 public:
  ServiceAdvertisement() = default;
  ~ServiceAdvertisement() { Withdraw(); }
  ServiceAdvertisement(const ServiceAdvertisement&) = delete;
  ServiceAdvertisement& operator=(const ServiceAdvertisement&) = delete;

  // Advertises name (of type, e.g. "_osc._udp") on port in the default
  // domains, replacing any earlier advertisement. False when it could not.
  // A name another service on the network has already is changed as the
  // daemon suggests ("name #2"), as several instances on one computer need.
  bool Publish(const std::string& name, const char* type, int port);
  void Withdraw();
  bool IsPublished() const { return m_client != nullptr; }

 private:
  // Adds the service under m_name and commits (daemon's thread or before it
  // runs); false on failure.
  bool Register();
  static void GroupChanged(AvahiEntryGroup* group, int state, void* self);

  AvahiThreadedPoll* m_poll = nullptr;
  AvahiClient* m_client = nullptr;
  AvahiEntryGroup* m_group = nullptr;  // the client's
  std::string m_name;
  std::string m_type;
  int m_port = 0;
};

// The computer's name on the network; empty when it cannot be read.
std::string ComputerName();

}  // namespace platform
