#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// The temporary file an image is written to before it is renamed over its final name, and the
// two ways such a file is kept from lingering: removal when the program is interrupted while it
// exists, and removal by a later run of the temporaries that an interrupted run left behind.
namespace temporaries {

// ".<name>.tmp-<pid><extension>" beside `path`, the name cut so that any name that fits the file
// system still fits with the additions.
std::string temporaryFor(const std::string& path);

// While a Pending lives, SIGINT and SIGTERM remove its file before the program ends. One
// temporary is pending at a time.
class Pending {
  public:
    explicit Pending(const std::string& path);
    ~Pending();
    Pending(const Pending&) = delete;
    Pending& operator=(const Pending&) = delete;
};

// Installs the handlers of SIGINT and SIGTERM that remove the pending temporary, then end the
// program as the signal would have.
void removeOnInterrupt();

// Removes the temporaries in `folder` that are stale (their process has ended) and that were
// written for a name `isOutput` accepts: it receives the share of the file name (without folder)
// that the temporary's name kept, kKeptNameBytes at most. Returns the paths removed.
std::vector<std::string> removeStale(const std::string& folder,
                                     const std::function<bool(const std::string& name)>& isOutput);

// The most bytes of the final name that a temporary's name keeps.
constexpr std::size_t kKeptNameBytes = 160;

}  // namespace temporaries
