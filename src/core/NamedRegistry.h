// A registry of things known by name (data-source kinds, view types, step types): each registered
// once, by its own file, when the program starts, and looked up by the name a report file stores.
// A program copies the built-in registry and adds the entries of its plug-ins to its copy; the
// entries themselves are shared, immutable after start-up.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace orvik {

template <typename Entry>
class NamedRegistry {
  public:
    // Registers `entry` under `name` (a later registration of the same name replaces it).
    void Register(std::string_view name, std::shared_ptr<Entry> entry) {
        entries_.insert_or_assign(std::string(name), std::move(entry));
    }
    // Removes the registration of `name` (a test's own entry).
    void Unregister(std::string_view name) {
        if (const auto found = entries_.find(name); found != entries_.end()) entries_.erase(found);
    }
    // The entry registered under `name`, or null.
    Entry* Lookup(std::string_view name) const {
        const auto found = entries_.find(name);
        return found == entries_.end() ? nullptr : found->second.get();
    }
    // True when an entry is registered under `name`.
    bool Has(std::string_view name) const { return entries_.find(name) != entries_.end(); }
    // The registered names in order.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : entries_) names.push_back(entry.first);
        return names;
    }

  private:
    std::map<std::string, std::shared_ptr<Entry>, std::less<>> entries_;
};

}  // namespace orvik
