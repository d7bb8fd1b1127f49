// Who is logged in: a session is a random token in an HttpOnly cookie, with the user's name and a
// second random token that every form changing something must carry back (a page of another site
// can make the browser send the cookie, but cannot read the token). Sessions end after a day or
// eight idle hours, and the oldest go when there are too many.
#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace orvik::serve {

struct Session {
    std::string user;
    std::string csrf;
};

class SessionStore {
  public:
    // A new session of `user`; returns its token.
    std::string Create(const std::string& user);
    // The live session of `token`, or nothing.
    std::optional<Session> Find(std::string_view token);
    void Remove(std::string_view token);

  private:
    using Clock = std::chrono::steady_clock;
    struct Entry {
        Session session;
        Clock::time_point created;
        Clock::time_point used;
    };
    std::mutex mutex_;
    std::map<std::string, Entry, std::less<>> sessions_;
};

// Whether two tokens are equal, in a time that does not depend on where they differ.
bool SameToken(std::string_view a, std::string_view b);

}  // namespace orvik::serve
