#include "serve/SessionStore.h"

#include <algorithm>

#include "serve/RenderPool.h"

namespace orvik::serve {
namespace {

constexpr auto kMaxAge = std::chrono::hours(24);
constexpr auto kMaxIdle = std::chrono::hours(8);
constexpr size_t kMaxSessions = 10000;

}  // namespace

std::string SessionStore::Create(const std::string& user) {
    const std::string token = RandomToken() + RandomToken();
    const auto now = Clock::now();
    const std::lock_guard<std::mutex> guard(mutex_);
    std::erase_if(sessions_, [now](const auto& entry) {
        return now - entry.second.created > kMaxAge || now - entry.second.used > kMaxIdle;
    });
    if (sessions_.size() >= kMaxSessions) {
        const auto oldest = std::min_element(
            sessions_.begin(), sessions_.end(),
            [](const auto& a, const auto& b) { return a.second.used < b.second.used; });
        sessions_.erase(oldest);
    }
    sessions_[token] = Entry{Session{user, RandomToken() + RandomToken()}, now, now};
    return token;
}

std::optional<Session> SessionStore::Find(std::string_view token) {
    if (token.size() != 64) return std::nullopt;
    const auto now = Clock::now();
    const std::lock_guard<std::mutex> guard(mutex_);
    const auto found = sessions_.find(token);
    if (found == sessions_.end()) return std::nullopt;
    if (now - found->second.created > kMaxAge || now - found->second.used > kMaxIdle) {
        sessions_.erase(found);
        return std::nullopt;
    }
    found->second.used = now;
    return found->second.session;
}

void SessionStore::Remove(std::string_view token) {
    const std::lock_guard<std::mutex> guard(mutex_);
    if (const auto found = sessions_.find(token); found != sessions_.end()) sessions_.erase(found);
}

bool SameToken(std::string_view a, std::string_view b) {
    if (a.size() != b.size() || a.empty()) return false;
    unsigned char difference = 0;
    for (size_t i = 0; i < a.size(); ++i) difference |= static_cast<unsigned char>(a[i] ^ b[i]);
    return difference == 0;
}

}  // namespace orvik::serve
