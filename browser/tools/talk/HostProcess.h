#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace browser_extensions::talk {

// What to start: every text is UTF-8; the platform converts where it must.
struct LaunchSpec {
    std::string program;                             // absolute path of the host
    std::vector<std::string> arguments;              // after the program's own name
    std::string workingDirectory;                    // the host's folder, as browsers use
    std::map<std::string, std::string> environment;  // set on top of the tool's own, inherited
};

struct ExitStatus {
    long code = 0;        // the exit code, when the host ended by itself
    int signal = 0;       // the signal that ended it (POSIX only), else 0
    bool killed = false;  // ended by Kill()
};

// A started host with its three standard streams connected to pipes. Reads block; each stream is
// read by a thread of its own, so no read needs a timeout.
class HostProcess {
  public:
    virtual ~HostProcess() = default;

    // Starts the host, or returns nullptr and says why in `error`. Sets `environment` in the
    // tool's own environment, so it comes before any thread of the tool.
    static std::unique_ptr<HostProcess> Start(const LaunchSpec& launch, std::string& error);

    enum class Stream { Output, Errors };

    virtual long Id() const = 0;
    // False once the host no longer reads its input (it exited or closed the stream).
    bool WriteInput(const std::string& bytes);
    // The end of input the host sees as a browser closing the port.
    virtual void CloseInput() = 0;
    // Up to `capacity` bytes; 0 at the end of the stream.
    virtual std::size_t Read(Stream stream, char* buffer, std::size_t capacity) = 0;
    // The status once the host has ended, or nothing when it still runs after `limit`.
    virtual std::optional<ExitStatus> WaitForExit(std::chrono::milliseconds limit) = 0;
    virtual void Kill() = 0;

  protected:
    // Writes some of the bytes and says how many; 0 once the host no longer reads.
    virtual std::size_t WriteSome(const char* bytes, std::size_t size) = 0;
};

}  // namespace browser_extensions::talk
