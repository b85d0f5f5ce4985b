// Test networks for the UDP link: a peer socket that plays the far end, and
// private network namespaces, made and removed by the test, that stand for
// hosts on a network of their own.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

// The far end of the link: one IPv4 datagram socket, bound where asked.
class UdpPeer {
 public:
  UdpPeer() = default;
  ~UdpPeer();
  UdpPeer(const UdpPeer&) = delete;
  UdpPeer& operator=(const UdpPeer&) = delete;

  // Binds to addr:port (dotted text; port 0 lets the system choose).
  bool open(const char* addr = "127.0.0.1", uint16_t port = 0);
  void close();
  int fd() const { return fd_; }
  uint16_t port() const { return port_; }

  bool sendTo(const char* addr, uint16_t port, const std::string& bytes);
  // One datagram, whole (up to 64 KiB), or false when none came within ms.
  bool receive(std::string* bytes, int ms, uint16_t* fromPort = nullptr);
  // Joins group on the interface whose address is iface, and keeps its own
  // group datagrams from coming back to it.
  bool joinGroup(const char* group, const char* iface);

 private:
  int fd_ = -1;
  uint16_t port_ = 0;
};

// A UDP port that nothing on this host is bound to at the moment.
uint16_t FreeUdpPort();
// How many sockets this process holds open.
int OpenSocketCount();

// Hosts of a private network: network namespaces whose names carry this
// process's id, so that tests running side by side never meet. Removed when
// this object goes.
class TestNetwork {
 public:
  static constexpr const char* kAddrA = "10.201.0.1";
  static constexpr const char* kAddrB = "10.201.0.2";

  TestNetwork() = default;
  ~TestNetwork();
  TestNetwork(const TestNetwork&) = delete;
  TestNetwork& operator=(const TestNetwork&) = delete;

  // Two hosts, a (kAddrA) and b (kAddrB), joined by a veth pair that also
  // carries multicast groups (224.0.0.0/4 is routed over it).
  bool makePair();
  // One host with its loopback up and no other network: no route reaches a
  // multicast group from it.
  bool makeLonelyHost();
  const std::string& a() const { return a_; }
  const std::string& b() const { return b_; }
  // Why the namespaces could not be made.
  const std::string& error() const { return error_; }

 private:
  bool addNamespace(std::string* name, const char* suffix);
  bool run(const std::string& command);
  std::string a_, b_, error_;
};

// Runs fn on a thread of its own that has entered the named namespace
// (setns works per thread). Sockets made there stay in that namespace when
// other threads use them. False when the namespace cannot be entered.
bool RunInNetns(const std::string& ns, const std::function<void()>& fn);
