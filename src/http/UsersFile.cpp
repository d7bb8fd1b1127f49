#include "http/UsersFile.h"

#include <crypt.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/rand.h>
#include <sys/stat.h>

#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <unordered_map>

namespace orvik::http {
namespace {

std::vector<std::string> Split(std::string_view text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (true) {
        const size_t end = text.find(separator, start);
        parts.emplace_back(text.substr(start, end - start));
        if (end == std::string_view::npos) break;
        start = end + 1;
    }
    return parts;
}

std::string Trimmed(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t\r");
    return std::string(text.substr(first, last - first + 1));
}

bool IsBcrypt(std::string_view hash) {
    return hash.size() == 60 &&
           (hash.rfind("$2b$", 0) == 0 || hash.rfind("$2a$", 0) == 0 || hash.rfind("$2y$", 0) == 0);
}

// bcrypt costs a quarter of a second on purpose; a server that checks basic authentication on
// every request remembers, for this process only, a keyed digest of each password it verified.
class VerifiedPasswords {
  public:
    VerifiedPasswords() { RAND_bytes(key_.data(), static_cast<int>(key_.size())); }

    bool Known(const std::string& hash, std::string_view password) {
        std::lock_guard lock(mutex_);
        const auto found = digests_.find(hash);
        const std::string digest = Digest(password);
        return found != digests_.end() && found->second.size() == digest.size() &&
               CRYPTO_memcmp(found->second.data(), digest.data(), digest.size()) == 0;
    }

    void Remember(const std::string& hash, std::string_view password) {
        std::lock_guard lock(mutex_);
        digests_[hash] = Digest(password);
    }

  private:
    std::string Digest(std::string_view password) const {
        std::array<unsigned char, EVP_MAX_MD_SIZE> out{};
        unsigned length = 0;
        std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(),
                                                                        &EVP_MD_CTX_free);
        EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr);
        EVP_DigestUpdate(context.get(), key_.data(), key_.size());
        EVP_DigestUpdate(context.get(), password.data(), password.size());
        EVP_DigestFinal_ex(context.get(), out.data(), &length);
        return std::string(reinterpret_cast<const char*>(out.data()), length);
    }

    std::array<unsigned char, 32> key_{};
    std::mutex mutex_;
    std::unordered_map<std::string, std::string> digests_;
};

VerifiedPasswords& Verified() {
    static VerifiedPasswords verified;
    return verified;
}

}  // namespace

bool UserEntry::ListAllows(size_t index, std::string_view value) const {
    if (index >= lists.size()) return false;
    for (const std::string& item : lists[index])
        if (item == "*" || item == value) return true;
    return false;
}

UsersFile UsersFile::Load(const std::filesystem::path& file) {
    struct stat info {};
    if (stat(file.c_str(), &info) != 0)
        throw std::runtime_error("Cannot read the users file " + file.string() + ": " +
                                 std::strerror(errno));
    if (info.st_mode & (S_IROTH | S_IWOTH))
        throw std::runtime_error("The users file " + file.string() +
                                 " is readable or writable by others; it holds password hashes "
                                 "(chmod o-rw " +
                                 file.string() + ")");
    std::ifstream in(file);
    if (!in)
        throw std::runtime_error("Cannot read the users file " + file.string() + ": " +
                                 std::strerror(errno));
    UsersFile users;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        const std::string text = Trimmed(line);
        if (text.empty() || text.front() == '#') continue;
        const std::vector<std::string> fields = Split(text, ':');
        const auto bad = [&](const std::string& why) {
            return std::runtime_error("The users file " + file.string() + ", line " +
                                      std::to_string(number) + ": " + why);
        };
        if (fields.size() < 2) throw bad("expected name:hash:...");
        UserEntry user;
        user.name = Trimmed(fields[0]);
        user.passwordHash = Trimmed(fields[1]);
        if (user.name.empty()) throw bad("the user has no name");
        if (!IsBcrypt(user.passwordHash))
            throw bad("the password of " + user.name +
                      " is not a bcrypt hash ($2b$...; make one with --hash-password)");
        if (users.Find(user.name)) throw bad("the user " + user.name + " is named twice");
        for (size_t i = 2; i < fields.size(); ++i) {
            std::vector<std::string> items;
            for (const std::string& item : Split(fields[i], ','))
                if (const std::string trimmed = Trimmed(item); !trimmed.empty())
                    items.push_back(trimmed);
            user.lists.push_back(std::move(items));
        }
        users.users_.push_back(std::move(user));
    }
    return users;
}

const UserEntry* UsersFile::Find(std::string_view name) const {
    for (const UserEntry& user : users_)
        if (user.name == name) return &user;
    return nullptr;
}

const UserEntry* UsersFile::Authenticate(std::string_view name, std::string_view password) const {
    const UserEntry* user = Find(name);
    if (!user) {
        // Spend what a real check spends, so that the answer's time does not tell names apart.
        static const std::string decoy = HashPassword("decoy");
        PasswordMatches(password, decoy);
        return nullptr;
    }
    if (Verified().Known(user->passwordHash, password)) return user;
    if (!PasswordMatches(password, user->passwordHash)) return nullptr;
    Verified().Remember(user->passwordHash, password);
    return user;
}

std::string HashPassword(std::string_view password) {
    if (password.find('\0') != std::string_view::npos)
        throw std::invalid_argument("A password cannot hold a NUL character");
    std::array<char, CRYPT_GENSALT_OUTPUT_SIZE> salt{};
    if (!crypt_gensalt_rn("$2b$", 12, nullptr, 0, salt.data(), static_cast<int>(salt.size())))
        throw std::runtime_error(std::string("Cannot make a password salt: ") +
                                 std::strerror(errno));
    auto data = std::make_unique<crypt_data>();
    const char* hash = crypt_r(std::string(password).c_str(), salt.data(), data.get());
    if (!hash || hash[0] == '*')
        throw std::runtime_error(std::string("Cannot hash the password: ") + std::strerror(errno));
    return hash;
}

bool PasswordMatches(std::string_view password, const std::string& hash) {
    if (!IsBcrypt(hash) || password.find('\0') != std::string_view::npos) return false;
    auto data = std::make_unique<crypt_data>();
    const char* computed = crypt_r(std::string(password).c_str(), hash.c_str(), data.get());
    return computed && std::strlen(computed) == hash.size() &&
           CRYPTO_memcmp(computed, hash.data(), hash.size()) == 0;
}

}  // namespace orvik::http
