// A serial device for tests: the device end of a pseudo-terminal, whose
// other end the program opens as COM1.
#pragma once
#include <cstdint>
#include <functional>
#include <string>

class PtyDevice {
 public:
  PtyDevice();
  ~PtyDevice();
  PtyDevice(const PtyDevice&) = delete;
  PtyDevice& operator=(const PtyDevice&) = delete;

  const char* path() const { return path_; }
  // Maps COMn of the program to this device.
  void mapAs(int n) const;
  // Writes bytes as the device; returns false if not all went out.
  bool send(const void* data, size_t n);
  bool send(const std::string& s) { return send(s.data(), s.size()); }
  // Reads what the program sent until n bytes arrived or ms passed.
  std::string receive(size_t n, int ms);
  // Fills the program's side until the line takes no more (a device that
  // stopped reading).
  size_t fillUntilFull();
  // Discards what waits on the device end.
  void drain();
  int master() const { return master_; }
  // Closes the device end, as when a USB adapter is pulled.
  void pull();

 private:
  int master_ = -1;
  int slave_ = -1;   // held so the line stays up while the program reopens
  char path_[128] = "";
};

// Polls cond every millisecond until it holds or ms passed.
bool WaitFor(const std::function<bool()>& cond, int ms);
