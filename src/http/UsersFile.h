// The users file of the servers: one user a line, `name:hash:field:field...` (`#` starts a comment,
// blank lines are skipped). The hash is a bcrypt hash ($2b$...), checked by libxcrypt. What the
// fields after the hash mean is the server's business (catalogs, report folders, task names); each
// is a comma-separated list, `*` meaning all. The file holds password hashes, so it must not be
// readable or writable by others: Load refuses it otherwise.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace orvik::http {

struct UserEntry {
    std::string name;
    std::string passwordHash;
    std::vector<std::vector<std::string>> lists;  // the fields after the hash, split on ','

    // Whether list `index` holds `value` or `*` (a missing list holds nothing).
    bool ListAllows(size_t index, std::string_view value) const;
};

class UsersFile {
  public:
    // Throws std::runtime_error naming the file and, for a bad line, its number.
    static UsersFile Load(const std::filesystem::path& file);

    const UserEntry* Find(std::string_view name) const;
    // The user when the password is theirs, else nullptr. An unknown name costs as long as a
    // wrong password, so the time does not tell which names exist.
    const UserEntry* Authenticate(std::string_view name, std::string_view password) const;
    const std::vector<UserEntry>& Users() const { return users_; }

  private:
    std::vector<UserEntry> users_;
};

// A new bcrypt hash ($2b$, cost 12) of `password`, with a salt from the OS random source.
std::string HashPassword(std::string_view password);
// Whether `password` matches `hash`; false for anything that is not a hash libxcrypt knows.
bool PasswordMatches(std::string_view password, const std::string& hash);

}  // namespace orvik::http
