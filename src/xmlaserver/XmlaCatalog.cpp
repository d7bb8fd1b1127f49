#include "xmlaserver/XmlaCatalog.h"

namespace orvik::xmla {

Catalog::Lease::~Lease() {
    if (!connection_) return;  // moved from
    std::lock_guard<std::mutex> hold(owner_->lock_);
    owner_->idle_.push_back(std::move(connection_));
}

Catalog::Lease Catalog::Borrow() {
    {
        std::lock_guard<std::mutex> hold(lock_);
        if (!idle_.empty()) {
            std::shared_ptr<OlapConnection> connection = std::move(idle_.back());
            idle_.pop_back();
            return Lease(*this, std::move(connection));
        }
    }
    // Opened outside the lock: reading a catalog's schema takes a while, and other workers may
    // meanwhile take connections that come back.
    std::shared_ptr<OlapConnection> connection = open_();
    std::lock_guard<std::mutex> hold(lock_);
    ++open_count_;
    return Lease(*this, std::move(connection));
}

size_t Catalog::OpenCount() const {
    std::lock_guard<std::mutex> hold(lock_);
    return open_count_;
}

}  // namespace orvik::xmla
