// Advertising a network service on the local network (DNS-SD through the
// Avahi daemon), so that controllers can find it by type and name.
//
// Failures are quiet: without a daemon, or when the daemon refuses, nothing
// is advertised and Publish says so. One thread publishes and withdraws.
#pragma once

#include <string>

struct AvahiThreadedPoll;
struct AvahiClient;

namespace platform {

class ServiceAdvertisement {
 public:
  ServiceAdvertisement() = default;
  ~ServiceAdvertisement() { Withdraw(); }
  ServiceAdvertisement(const ServiceAdvertisement&) = delete;
  ServiceAdvertisement& operator=(const ServiceAdvertisement&) = delete;

  // Advertises name (of type, e.g. "_osc._udp") on port in the default
  // domains, replacing any earlier advertisement. False when it could not.
  bool Publish(const std::string& name, const char* type, int port);
  void Withdraw();
  bool IsPublished() const { return m_client != nullptr; }

 private:
  AvahiThreadedPoll* m_poll = nullptr;
  AvahiClient* m_client = nullptr;
};

// The computer's name on the network; empty when it cannot be read.
std::string ComputerName();

}  // namespace platform
