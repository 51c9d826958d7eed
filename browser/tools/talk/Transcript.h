#pragma once

#include <chrono>
#include <fstream>
#include <mutex>
#include <string>

#include <boost/json/object.hpp>

namespace browser_extensions::talk {

// Machine-readable record of a session: one JSON object per line, each with "event" and "ms"
// (milliseconds since the start). Safe to use from several threads; does nothing when not opened.
class Transcript {
  public:
    Transcript();

    bool Open(const std::string& utf8Path);
    void Write(const char* event, boost::json::object fields);

  private:
    std::chrono::steady_clock::time_point start_;
    std::mutex mutex_;
    std::ofstream file_;
};

}  // namespace browser_extensions::talk
