// The MIDI service on the ALSA sequencer: a client, a readable and
// subscribable output port standing for the virtual source, and a queue
// running in real time on which events are scheduled at their timestamps.
#include <alsa/asoundlib.h>
#include <unistd.h>

#include <ctime>

#include "platform/MidiService.h"

namespace platform {

uint64_t HostTime() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}

namespace {

class AlsaMidiService : public MidiService {
 public:
  ~AlsaMidiService() override { Close(); }

  bool OpenClient(const std::string& name) override {
    // Containers and machines without the sequencer have no device: no
    // service, and no complaint from ALSA on standard error about it.
    if (access("/dev/snd/seq", F_OK) != 0) return false;
    // Non-blocking: a full output buffer drops a message rather than stall
    // the task.
    if (snd_seq_open(&m_seq, "default", SND_SEQ_OPEN_OUTPUT, SND_SEQ_NONBLOCK) < 0) {
      m_seq = nullptr;
      return false;
    }
    snd_seq_set_client_name(m_seq, name.c_str());
    m_queue = snd_seq_alloc_named_queue(m_seq, name.c_str());
    if (m_queue < 0) return false;
    snd_seq_start_queue(m_seq, m_queue, nullptr);
    snd_seq_drain_output(m_seq);
    // The queue's time runs from here: host time minus this is queue time.
    m_queueStart = HostTime();
    return true;
  }

  std::vector<std::string> SourceNames() override {
    std::vector<std::string> names;
    if (m_seq == nullptr) return names;
    snd_seq_client_info_t* client;
    snd_seq_port_info_t* port;
    snd_seq_client_info_alloca(&client);
    snd_seq_port_info_alloca(&port);
    snd_seq_client_info_set_client(client, -1);
    while (snd_seq_query_next_client(m_seq, client) >= 0) {
      snd_seq_port_info_set_client(port, snd_seq_client_info_get_client(client));
      snd_seq_port_info_set_port(port, -1);
      while (snd_seq_query_next_port(m_seq, port) >= 0) {
        const unsigned caps = snd_seq_port_info_get_capability(port);
        if ((caps & SND_SEQ_PORT_CAP_READ) != 0) names.push_back(snd_seq_port_info_get_name(port));
      }
    }
    return names;
  }

  bool CreateSource(const std::string& name) override {
    if (m_seq == nullptr) return false;
    m_port = snd_seq_create_simple_port(
        m_seq, name.c_str(), SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ,
        SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
    return m_port >= 0;
  }

  void Send(const MidiPacket* packets, int count) override {
    if (m_seq == nullptr || m_port < 0) return;
    for (int p = 0; p < count; ++p) {
      const MidiPacket& packet = packets[p];
      const uint64_t at = packet.timestamp > m_queueStart ? packet.timestamp - m_queueStart : 0;
      snd_seq_real_time_t time{static_cast<unsigned>(at / 1000000000ull),
                               static_cast<unsigned>(at % 1000000000ull)};
      for (int i = 0; i < packet.length; ++i) {
        snd_seq_event_t event;
        snd_seq_ev_clear(&event);
        snd_seq_ev_set_source(&event, m_port);
        snd_seq_ev_set_subs(&event);
        snd_seq_ev_schedule_real(&event, m_queue, 0, &time);
        switch (packet.data[i]) {
          case 0xF8:
            event.type = SND_SEQ_EVENT_CLOCK;
            break;
          case 0xFA:
            event.type = SND_SEQ_EVENT_START;
            break;
          case 0xFB:
            event.type = SND_SEQ_EVENT_CONTINUE;
            break;
          default:
            event.type = SND_SEQ_EVENT_STOP;
            break;
        }
        snd_seq_event_output(m_seq, &event);
      }
    }
    snd_seq_drain_output(m_seq);
  }

  void Close() override {
    if (m_seq == nullptr) return;
    if (m_port >= 0) snd_seq_delete_simple_port(m_seq, m_port);
    if (m_queue >= 0) snd_seq_free_queue(m_seq, m_queue);
    snd_seq_close(m_seq);
    m_seq = nullptr;
    m_port = m_queue = -1;
  }

 private:
  snd_seq_t* m_seq = nullptr;
  int m_port = -1;
  int m_queue = -1;
  uint64_t m_queueStart = 0;
};

}  // namespace

std::unique_ptr<MidiService> MakeAlsaMidiService() {
  return std::make_unique<AlsaMidiService>();
}

}  // namespace platform
