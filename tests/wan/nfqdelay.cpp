// nfqdelay: holds every packet that iptables hands to NFQUEUE for a fixed delay, then lets
// it through. This kernel has no netem, so an emulated long link is built from a network
// namespace's `lo` (tbf for the rate, the statistic match for loss) and this program for
// the latency. Packets keep their order: each waits the same time.
//
//   nfqdelay QUEUE DELAY_MS SECONDS     (ends by itself after SECONDS, or on SIGTERM)
// netinet first: the queue library pulls in the kernel's own definitions otherwise.
#include <arpa/inet.h>
#include <libnetfilter_queue/libnetfilter_queue.h>
#include <linux/netfilter.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>

namespace {

using Clock = std::chrono::steady_clock;

struct Held {
  std::uint32_t id;
  Clock::time_point due;
};

struct Queue {
  std::deque<Held> held;
  Clock::duration delay;
};

volatile sig_atomic_t gQuit = 0;

int OnPacket(nfq_q_handle*, nfgenmsg*, nfq_data* packet, void* user) {
  auto* q = static_cast<Queue*>(user);
  const nfqnl_msg_packet_hdr* header = nfq_get_msg_packet_hdr(packet);
  if (header) q->held.push_back({ntohl(header->packet_id), Clock::now() + q->delay});
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: nfqdelay QUEUE DELAY_MS SECONDS\n");
    return 2;
  }
  const int number = std::atoi(argv[1]);
  Queue q{{}, std::chrono::milliseconds(std::atoi(argv[2]))};
  const auto end = Clock::now() + std::chrono::seconds(std::atoi(argv[3]));
  signal(SIGTERM, [](int) { gQuit = 1; });
  signal(SIGINT, [](int) { gQuit = 1; });

  nfq_handle* h = nfq_open();
  if (!h) return std::perror("nfq_open"), 1;
  nfq_q_handle* qh = nfq_create_queue(h, std::uint16_t(number), OnPacket, &q);
  if (!qh) return std::perror("nfq_create_queue"), 1;
  nfq_set_mode(qh, NFQNL_COPY_META, 0);  // the verdict needs only the id
  nfq_set_queue_maxlen(qh, 200000);
  nfnl_rcvbufsiz(nfq_nfnlh(h), 64 << 20);
  const int fd = nfq_fd(h);
  int on = 1;
  setsockopt(fd, SOL_NETLINK, NETLINK_NO_ENOBUFS, &on, sizeof on);
  alignas(8) static char buffer[1 << 16];
  while (!gQuit && Clock::now() < end) {
    int wait = 100;
    if (!q.held.empty()) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(q.held.front().due - Clock::now()).count();
      wait = int(std::max<long long>(0, std::min<long long>(left, 100)));
    }
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, wait) > 0) {
      for (;;) {  // everything that is waiting, without blocking
        const ssize_t n = recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
        if (n <= 0) break;
        nfq_handle_packet(h, buffer, int(n));
      }
    }
    const auto now = Clock::now();
    while (!q.held.empty() && q.held.front().due <= now) {
      nfq_set_verdict(qh, q.held.front().id, NF_ACCEPT, 0, nullptr);
      q.held.pop_front();
    }
  }
  for (const Held& h2 : q.held) nfq_set_verdict(qh, h2.id, NF_ACCEPT, 0, nullptr);
  nfq_destroy_queue(qh);
  nfq_close(h);
  return 0;
}
