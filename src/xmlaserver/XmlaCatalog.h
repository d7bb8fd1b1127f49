// One catalog the server serves (a name and the cube connection string behind it) and the open
// connections it keeps for it. A connection is lent to one request at a time and comes back when
// the request is done, so no connection is ever used by two threads at once, and the pool never
// holds more connections than requests ran at the same time: one per worker thread at most.
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "olap/OlapConnection.h"

namespace orvik::xmla {

class Catalog {
  public:
    // Opens a new connection to the catalog's cubes; throws CADOException when it cannot.
    using Opener = std::function<std::shared_ptr<OlapConnection>()>;

    Catalog(std::string name, Opener open) : name_(std::move(name)), open_(std::move(open)) {}
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    const std::string& Name() const { return name_; }

    // A connection the holder alone uses until it is destroyed.
    class Lease {
      public:
        Lease(Catalog& owner, std::shared_ptr<OlapConnection> connection)
            : owner_(&owner), connection_(std::move(connection)) {}
        Lease(Lease&& other) noexcept = default;
        Lease(const Lease&) = delete;
        ~Lease();
        OlapConnection& operator*() const { return *connection_; }
        OlapConnection* operator->() const { return connection_.get(); }

      private:
        Catalog* owner_;
        std::shared_ptr<OlapConnection> connection_;
    };

    // An idle connection, or a new one when every open one is lent. Throws CADOException when
    // a new one cannot be opened.
    Lease Borrow();
    // How many connections are open (lent or idle).
    size_t OpenCount() const;

  private:
    std::string name_;
    Opener open_;
    mutable std::mutex lock_;
    std::vector<std::shared_ptr<OlapConnection>> idle_;
    size_t open_count_ = 0;
};

}  // namespace orvik::xmla
