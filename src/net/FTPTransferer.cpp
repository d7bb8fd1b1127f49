// libcurl does the whole upload in one call, so the stages a failure belongs to (connecting and
// logging in, opening the remote file, sending the data) are read from the dialogue as it
// passes: the server's replies arrive through the debug callback, which is also where the last
// reply is kept for the error detail. Commands going out are only looked at for "STOR": the
// password goes out too and must not be kept.
#include "net/FTPTransferer.h"

#include <curl/curl.h>
#include <errno.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

#include "core/LanguageTexts.h"
#include "core/Paths.h"
#include "core/StopRequest.h"
#include "core/TextEncoding.h"
#include "net/ServerAddress.h"

namespace {

enum class UploadStage { Connecting, LoggedIn, Storing, Sending };

// Percent-encodes one remote path; "/" separates folders and stays. A leading "/" becomes
// "%2F", which is how an FTP URL names a path from the root rather than from the login folder.
std::string EncodeRemotePath(std::string_view path) {
    std::string out;
    for (size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' || c == '~' ||
                           (c == '/' && i > 0);
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += "0123456789ABCDEF"[c >> 4];
            out += "0123456789ABCDEF"[c & 15];
        }
    }
    return out;
}

// Where an upload goes: the scheme libcurl is given (which the security decides), the host and
// the port in effect.
struct FtpTarget {
    std::string Scheme;
    std::string Host;
    int Port = 0;

    std::string Base() const {
        const bool ipv6 = Host.find(':') != std::string::npos;
        return Scheme + "://" + (ipv6 ? "[" + Host + "]" : Host) + ":" + std::to_string(Port);
    }
};

// The scheme the server is written with, lower-cased ("" for none), and the rest after "://".
std::string SplitScheme(std::string_view& server) {
    server = orvik::Trim(server);
    const size_t schemeEnd = server.find("://");
    if (schemeEnd == std::string_view::npos) return {};
    std::string scheme(server.substr(0, schemeEnd));
    for (char& c : scheme) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    server.remove_prefix(schemeEnd + 3);
    return scheme;
}

FtpTarget TargetOf(const std::string& server, FtpSecurity security, unsigned short ftpPort) {
    std::string_view rest = server;
    std::string scheme = SplitScheme(rest);
    rest = rest.substr(0, rest.find('/'));
    int defaultPort = ftpPort;
    switch (security) {
        case FtpSecurity::Auto:
            // A scheme libcurl is not allowed stays, and is refused by name.
            if (scheme.empty()) scheme = "ftp";
            if (scheme == "ftps") defaultPort = CFTPTransferer::kDefaultImplicitPort;
            if (scheme == "sftp") defaultPort = CFTPTransferer::kDefaultSftpPort;
            break;
        case FtpSecurity::None:
        case FtpSecurity::Explicit:
            scheme = "ftp";
            break;
        case FtpSecurity::Implicit:
            scheme = "ftps";
            defaultPort = CFTPTransferer::kDefaultImplicitPort;
            break;
        case FtpSecurity::Sftp:
            scheme = "sftp";
            defaultPort = CFTPTransferer::kDefaultSftpPort;
            break;
    }
    const orvik::ServerAddress address = orvik::SplitServerAddress(rest, defaultPort);
    return FtpTarget{scheme, address.Host, address.Port};
}

// The URL of `remoteFile` on `target`. An SFTP URL names a path from the root, so a relative
// name goes under "~/", the login folder, as it does over FTP.
std::string UrlOf(const FtpTarget& target, const std::string& remoteFile) {
    std::string url = target.Base() + "/";
    if (target.Scheme != "sftp") return url + EncodeRemotePath(remoteFile);
    if (!remoteFile.empty() && remoteFile.front() == '/') {
        return url + EncodeRemotePath(std::string_view(remoteFile).substr(1));
    }
    return url + "~/" + EncodeRemotePath(remoteFile);
}

// `file` with a leading "~/" meaning the home folder, as it does in ssh's own settings.
std::string HomePath(const std::string& file) {
    const std::string path = orvik::ToNativePath(std::string(orvik::Trim(file)));
    if (path.rfind("~/", 0) != 0) return path;
    const char* home = std::getenv("HOME");
    std::string folder = home && *home ? home : "";
    if (folder.empty()) {
        if (const passwd* entry = getpwuid(getuid())) folder = entry->pw_dir;
    }
    return folder + path.substr(1);
}

// The local account's name, the SSH login when none is given (as ssh itself does).
std::string LocalAccountName() {
    if (const passwd* entry = getpwuid(getuid())) return entry->pw_name;
    const char* user = std::getenv("USER");
    return user ? user : "";
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// libcurl's progress callback: non-zero ends the transfer.
int StopCallback(void*, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    return orvik::ShouldStop() ? 1 : 0;
}

}  // namespace

// What one upload keeps between libcurl's callbacks.
struct FTPUploadState {
    FTPUploadState(CFTPTransferer& transferer, std::FILE* file, std::uint64_t total,
                   size_t chunkSize, bool ascii)
        : Transferer(transferer), File(file), Total(total), ChunkSize(chunkSize), Ascii(ascii) {}

    CFTPTransferer& Transferer;
    std::FILE* File;
    std::uint64_t Total;
    size_t ChunkSize;
    bool Ascii;
    std::uint64_t Sent = 0;
    bool Started = false;
    bool LastWasCarriageReturn = false;
    bool AtEnd = false;
    int ReadErrno = 0;
    UploadStage Stage = UploadStage::Connecting;
    std::string ReplyLines;  // lines of the reply being received
    std::string LastReply;   // the last complete reply
    int LastReplyCode = 0;
    std::string Chunk;
    std::string Converted;    // ASCII text converted but not yet handed over
    std::string ExtraCAFile;  // loaded into the TLS store besides the system's CAs
    bool ExtraCAFailed = false;
    int HostKeyMatch = -1;  // libcurl's curl_khmatch for the SSH host key, -1 before the check

    void OnServerText(std::string_view text) {
        ReplyLines.append(text);
        for (;;) {
            // A reply ends with a line that has a blank (or nothing) after its code.
            size_t lineStart = 0;
            size_t end = std::string::npos;
            while (lineStart < ReplyLines.size()) {
                const size_t lineEnd = ReplyLines.find('\n', lineStart);
                if (lineEnd == std::string::npos) break;
                const std::string_view line(ReplyLines.data() + lineStart, lineEnd - lineStart);
                const bool digits =
                    line.size() >= 3 && isdigit(static_cast<unsigned char>(line[0]));
                if (digits && (line.size() < 4 || line[3] != '-')) {
                    end = lineEnd + 1;
                    break;
                }
                lineStart = lineEnd + 1;
            }
            if (end == std::string::npos) return;
            LastReply = ReplyLines.substr(0, end);
            ReplyLines.erase(0, end);
            LastReplyCode = std::atoi(LastReply.c_str());
            if (LastReplyCode == 230 && Stage == UploadStage::Connecting) {
                Stage = UploadStage::LoggedIn;
            }
            if ((LastReplyCode == 125 || LastReplyCode == 150) && Stage == UploadStage::Storing) {
                Stage = UploadStage::Sending;
            }
        }
    }

    void OnCommand(std::string_view text) {
        if (text.substr(0, 5) == "STOR " && Stage == UploadStage::LoggedIn) {
            Stage = UploadStage::Storing;
        }
    }

    // Fills `buffer` with as many whole chunks of the file as fit (one chunk at least, when the
    // file has one left), reporting progress after each: libcurl sends what one call hands it,
    // and a chunk per call would mean a packet per kilobyte. In ASCII mode a lone LF goes out as
    // CRLF, the line end the FTP ASCII type stands for. Returns 0 at the end of the file.
    size_t Read(char* buffer, size_t size) {
        if (!Started) {
            Started = true;
            Transferer.SetStatus(FTP_UPLOADING);
        }
        Stage = UploadStage::Sending;
        size_t out = TakeConverted(buffer, size);
        if (!Converted.empty()) return out;
        while (out < size && !AtEnd) {
            const size_t room = size - out;
            // Converted text may need twice the room of what was read.
            if (out > 0 && room < (Ascii ? 2 * ChunkSize : ChunkSize)) break;
            char* target = buffer + out;
            size_t want = std::min(room, ChunkSize);
            if (Ascii) {
                Chunk.resize(ChunkSize);
                target = Chunk.data();
                want = ChunkSize;
            }
            const size_t got = std::fread(target, 1, want, File);
            if (got < want) {
                if (std::ferror(File)) return Fail();
                AtEnd = true;
            }
            if (got == 0) break;
            Sent += got;
            Transferer.OnProgress(Sent, Total);
            if (!Ascii) {
                out += got;
                continue;
            }
            for (size_t i = 0; i < got; ++i) {
                const char c = Chunk[i];
                if (c == '\n' && !LastWasCarriageReturn) Converted += '\r';
                Converted += c;
                LastWasCarriageReturn = c == '\r';
            }
            out += TakeConverted(buffer + out, room);
            if (!Converted.empty()) break;
        }
        return out;
    }

    // Moves converted text that is waiting into `buffer`; returns how much.
    size_t TakeConverted(char* buffer, size_t size) {
        const size_t taken = std::min(size, Converted.size());
        std::memcpy(buffer, Converted.data(), taken);
        Converted.erase(0, taken);
        return taken;
    }

    size_t Fail() {
        ReadErrno = errno ? errno : EIO;
        return CURL_READFUNC_ABORT;
    }
};

namespace {

size_t ReadCallback(char* buffer, size_t size, size_t count, void* user) {
    return static_cast<FTPUploadState*>(user)->Read(buffer, size * count);
}

int DebugCallback(CURL*, curl_infotype type, char* data, size_t size, void* user) {
    auto* state = static_cast<FTPUploadState*>(user);
    if (type == CURLINFO_HEADER_IN) state->OnServerText(std::string_view(data, size));
    if (type == CURLINFO_HEADER_OUT) state->OnCommand(std::string_view(data, size));
    return 0;
}

// Trusts the extra CA file besides the system's CAs that libcurl has already loaded.
CURLcode SslContextCallback(CURL*, void* sslContext, void* user) {
    auto* state = static_cast<FTPUploadState*>(user);
    X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
    if (store && X509_STORE_load_locations(store, state->ExtraCAFile.c_str(), nullptr) == 1) {
        return CURLE_OK;
    }
    state->ExtraCAFailed = true;
    return CURLE_SSL_CACERT_BADFILE;
}

// Only a host key the known-hosts file already holds is accepted; nothing is ever added to it.
int HostKeyCallback(CURL*, const curl_khkey*, const curl_khkey*, curl_khmatch match, void* user) {
    static_cast<FTPUploadState*>(user)->HostKeyMatch = match;
    return match == CURLKHMATCH_OK ? CURLKHSTAT_FINE : CURLKHSTAT_REJECT;
}

// What to tell the user about a host key the known-hosts file does not vouch for.
std::string HostKeyProblem(int match, const FtpTarget& target, const std::string& knownHosts) {
    const std::string port = std::to_string(target.Port);
    const std::string accept = "ssh-keyscan -p " + port + " " + target.Host + " >> " + knownHosts;
    if (match == CURLKHMATCH_MISMATCH) {
        return "the host key of " + target.Host + " port " + port +
               " differs from the one in FtpKnownHosts (" + knownHosts +
               "): the server was replaced or someone is in between. If the change is expected, "
               "remove the old key (ssh-keygen -R '[" +
               target.Host + "]:" + port + "' -f " + knownHosts +
               ") and accept the new one: " + accept;
    }
    return "the host key of " + target.Host + " port " + port + " is not in FtpKnownHosts (" +
           knownHosts + "). If this is the right server, accept its key: " + accept;
}

// True when the TCP connection of the transfer was made.
bool Connected(CURL* handle) {
    curl_off_t connectTime = 0;
    return curl_easy_getinfo(handle, CURLINFO_CONNECT_TIME_T, &connectTime) == CURLE_OK &&
           connectTime > 0;
}

std::string Duration(unsigned milliseconds) {
    if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " s";
    return std::to_string(milliseconds) + " ms";
}

struct CurlDeleter {
    void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};

struct SlistDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

CFTPTransferer::CFTPTransferer() = default;
CFTPTransferer::~CFTPTransferer() = default;

void CFTPTransferer::HandleError(int, const std::string&) {}
void CFTPTransferer::SetStatus(int) {}
void CFTPTransferer::OnProgress(std::uint64_t, std::uint64_t) {}

namespace {

// Everything, the login and the data included, goes encrypted or not at all: a server that
// refuses AUTH TLS gets no USER command.
void SetTlsOptions(CURL* handle, FTPUploadState& state, bool verify, const std::string& caFile) {
    curl_easy_setopt(handle, CURLOPT_USE_SSL, long(CURLUSESSL_ALL));
    curl_easy_setopt(handle, CURLOPT_FTPSSLAUTH, long(CURLFTPAUTH_TLS));
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYPEER, verify ? 1L : 0L);
    curl_easy_setopt(handle, CURLOPT_SSL_VERIFYHOST, verify ? 2L : 0L);
    state.ExtraCAFile = orvik::ToNativePath(std::string(orvik::Trim(caFile)));
    if (!state.ExtraCAFile.empty()) {
        // A store shared between transfers would keep the extra CA for the next server.
        curl_easy_setopt(handle, CURLOPT_CA_CACHE_TIMEOUT, 0L);
        curl_easy_setopt(handle, CURLOPT_SSL_CTX_FUNCTION, SslContextCallback);
        curl_easy_setopt(handle, CURLOPT_SSL_CTX_DATA, &state);
    }
}

void SetSshOptions(CURL* handle, FTPUploadState& state, const std::string& knownHosts,
                   const std::string& keyFile, const std::string& password) {
    curl_easy_setopt(handle, CURLOPT_SSH_KNOWNHOSTS, knownHosts.c_str());
    curl_easy_setopt(handle, CURLOPT_SSH_KEYFUNCTION, HostKeyCallback);
    curl_easy_setopt(handle, CURLOPT_SSH_KEYDATA, &state);
    long methods = CURLSSH_AUTH_AGENT;
    if (!keyFile.empty()) {
        // The password, when there is one, unlocks the key or serves as the login password.
        methods = CURLSSH_AUTH_PUBLICKEY | (password.empty() ? 0 : CURLSSH_AUTH_PASSWORD);
        curl_easy_setopt(handle, CURLOPT_SSH_PRIVATE_KEYFILE, keyFile.c_str());
        // Empty: the public half is worked out from the private key.
        curl_easy_setopt(handle, CURLOPT_SSH_PUBLIC_KEYFILE, "");
        if (!password.empty()) curl_easy_setopt(handle, CURLOPT_KEYPASSWD, password.c_str());
    } else if (!password.empty()) {
        methods = CURLSSH_AUTH_PASSWORD | CURLSSH_AUTH_KEYBOARD;
    }
    curl_easy_setopt(handle, CURLOPT_SSH_AUTH_TYPES, methods);
}

// Why a transfer failed, for the message the stage it failed in gives.
std::string FailureDetail(CURL* handle, CURLcode result, const FTPUploadState& state,
                          const FtpTarget& target, const std::string& knownHosts,
                          const char* errorBuffer, int connectTimeoutMs) {
    // The server's refusal says most; libcurl's text covers what happened below the protocol.
    // (In active mode libcurl leaves a note in the buffer even on success: only read it now.)
    const std::string curlText = errorBuffer[0] ? errorBuffer : curl_easy_strerror(result);
    const std::string reply(orvik::Trim(state.LastReply));
    std::string detail;
    if (state.HostKeyMatch >= 0 && state.HostKeyMatch != CURLKHMATCH_OK) {
        detail = HostKeyProblem(state.HostKeyMatch, target, knownHosts);
    } else if (state.ExtraCAFailed) {
        detail = "cannot read the CA file '" + state.ExtraCAFile + "'";
    } else if (result == CURLE_ABORTED_BY_CALLBACK && orvik::ShouldStop()) {
        detail = "the upload was stopped: " + orvik::StopReason();
    } else if (result == CURLE_USE_SSL_FAILED) {
        detail = "the server refused AUTH TLS" + (reply.empty() ? "" : ": " + reply) +
                 "; nothing was sent unencrypted";
    } else if (result == CURLE_OPERATION_TIMEDOUT && state.LastReplyCode == 0 &&
               connectTimeoutMs > 0 && !Connected(handle)) {
        detail = "no answer within " + Duration(connectTimeoutMs) + " (the connect time-out)";
    } else if (state.LastReplyCode >= 400) {
        detail = reply + " (" + curlText + ")";
    } else {
        detail = curlText;
    }
    detail += "; server " + target.Base();
    return detail;
}

}  // namespace

bool CFTPTransferer::Upload() {
    LastError = 0;
    LastMessageId = 0;
    const std::string localPath = orvik::ToNativePath(LocalFile);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(localPath.c_str(), "rb"));
    struct stat info {};
    if (file && fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) {
        file.reset();
        errno = EISDIR;
    }
    if (!file) {
        LastError = static_cast<unsigned>(errno);
        Fail(FTP_LOCAL_FILE_FAILED, std::strerror(errno));
        return false;
    }

    InitCurlOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        LastError = CURLE_FAILED_INIT;
        Fail(FTP_SESSION_FAILED, curl_easy_strerror(CURLE_FAILED_INIT));
        return false;
    }
    const FtpSecurity security = EffectiveSecurity();
    const FtpTarget target = TargetOf(Server, security, Port);
    const bool sftp = target.Scheme == "sftp";
    const bool tls = security == FtpSecurity::Explicit || target.Scheme == "ftps";
    // SFTP moves bytes only; the server keeps them as they are.
    FTPUploadState state(*this, file.get(), static_cast<std::uint64_t>(info.st_size),
                         BufferSize ? BufferSize : 1024u, !Binary && !sftp);
    TlsVerification.clear();
    const std::string remote = RemoteFile.empty() ? orvik::FileNameOf(localPath) : RemoteFile;
    // Over FTP the file goes up under a temporary name beside its target and is renamed over it
    // only once every byte has arrived: a broken upload leaves the previous copy in place.
    // (SFTP servers rename by absolute path, which the URL does not give us: it writes in place.)
    const size_t slash = remote.rfind('/');
    const std::string remoteName = slash == std::string::npos ? remote : remote.substr(slash + 1);
    const std::string partName = "." + remoteName + ".part";
    // A line break in a name would end the rename command early: such a name goes up in place,
    // through the URL that carries it encoded.
    const bool viaPartFile = target.Scheme.rfind("ftp", 0) == 0 && !remoteName.empty() &&
                             remoteName.find_first_of("\r\n") == std::string::npos;
    const std::string url =
        UrlOf(target, viaPartFile ? remote.substr(0, slash + 1) + partName : remote);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "ftp,ftps,sftp");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, ReadCallback);
    curl_easy_setopt(handle, CURLOPT_READDATA, &state);
    if (!state.Ascii) curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(info.st_size));
    // libcurl's own ASCII mode turns every LF into CRLF, a CRLF into CR CR LF included. So the
    // transfer stays binary for libcurl, the server is switched to ASCII just before STOR, and
    // the read callback does the conversion, sparing line ends that already are CRLF.
    std::unique_ptr<curl_slist, SlistDeleter> asciiType;
    if (state.Ascii) {
        asciiType.reset(curl_slist_append(nullptr, "TYPE A"));
        curl_easy_setopt(handle, CURLOPT_PREQUOTE, asciiType.get());
    }
    // Run after a successful STOR only, in the folder the URL changed into.
    std::unique_ptr<curl_slist, SlistDeleter> rename;
    if (viaPartFile) {
        rename.reset(curl_slist_append(nullptr, ("RNFR " + partName).c_str()));
        curl_slist_append(rename.get(), ("RNTO " + remoteName).c_str());
        curl_easy_setopt(handle, CURLOPT_POSTQUOTE, rename.get());
    }
    const std::string user = UserName.empty() && sftp ? LocalAccountName() : UserName;
    if (!user.empty()) {
        curl_easy_setopt(handle, CURLOPT_USERNAME, user.c_str());
        curl_easy_setopt(handle, CURLOPT_PASSWORD, Password.c_str());
    }
    if (tls) SetTlsOptions(handle, state, Tls.Verify, Tls.CAFile);
    const std::string knownHosts =
        HomePath(orvik::Trim(KnownHosts).empty() ? "~/.ssh/known_hosts" : KnownHosts);
    const std::string keyFile = HomePath(KeyFile);
    if (sftp) SetSshOptions(handle, state, knownHosts, keyFile, Password);
    // Over TLS the data connection is always passive: libcurl 7.87 and 7.88 never start TLS on
    // a data connection the server opens, and report success while the server receives nothing.
    // (Passive is what FTPS behind a firewall needs anyway: the firewall cannot read the ports.)
    if (!Passive && !tls) curl_easy_setopt(handle, CURLOPT_FTPPORT, "-");
    if (ConnectTimeoutMs > 0) {
        curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS, long(ConnectTimeoutMs));
    }
    if (ReplyTimeoutSeconds > 0) {
        // The first covers every control reply, the greeting included; the second a data
        // connection that stops moving.
        curl_easy_setopt(handle, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(ReplyTimeoutSeconds));
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(handle, CURLOPT_LOW_SPEED_TIME, long(ReplyTimeoutSeconds));
    }
    if (ConnectionType == 1) curl_easy_setopt(handle, CURLOPT_NOPROXY, "*");
    curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, errorBuffer);
    // The debug callback is how the server's replies reach us; nothing goes to stderr.
    curl_easy_setopt(handle, CURLOPT_DEBUGFUNCTION, DebugCallback);
    curl_easy_setopt(handle, CURLOPT_DEBUGDATA, &state);
    curl_easy_setopt(handle, CURLOPT_VERBOSE, 1L);

    // A run asked to stop leaves a transfer at the next tick instead of sitting out its waits.
    curl_easy_setopt(handle, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(handle, CURLOPT_XFERINFOFUNCTION, StopCallback);

    const CURLcode result = curl_easy_perform(handle);
    if (tls) {
        long verdict = X509_V_OK;
        curl_easy_getinfo(handle, CURLINFO_SSL_VERIFYRESULT, &verdict);
        TlsVerification = verdict == X509_V_OK ? "ok" : X509_verify_cert_error_string(verdict);
    }
    if (result == CURLE_OK) return true;

    LastError = static_cast<unsigned>(result);
    if (state.ReadErrno != 0) {
        LastError = static_cast<unsigned>(state.ReadErrno);
        Fail(FTP_LOCAL_READ_FAILED, std::strerror(state.ReadErrno));
        return false;
    }
    const std::string detail =
        FailureDetail(handle, result, state, target, knownHosts, errorBuffer, ConnectTimeoutMs);
    // SFTP has no replies to tell the stages apart; what went wrong says where it happened.
    if (sftp && state.Stage == UploadStage::Connecting &&
        (result == CURLE_REMOTE_FILE_NOT_FOUND || result == CURLE_REMOTE_ACCESS_DENIED ||
         result == CURLE_UPLOAD_FAILED || result == CURLE_REMOTE_DISK_FULL)) {
        state.Stage = UploadStage::Storing;
    }
    switch (state.Stage) {
        case UploadStage::Connecting:
            Fail(FTP_CONNECT_FAILED, detail);
            break;
        case UploadStage::LoggedIn:
        case UploadStage::Storing:
            Fail(FTP_REMOTE_FILE_FAILED, detail);
            break;
        case UploadStage::Sending:
            Fail(FTP_WRITE_FAILED, detail);
            break;
    }
    return false;
}

void CFTPTransferer::Fail(int messageId, const std::string& detail) {
    LastMessageId = messageId;
    HandleError(messageId, detail);
}

FtpSecurity CFTPTransferer::EffectiveSecurity() const {
    return Security == FtpSecurity::Auto ? FtpSecurityOfServer(Server) : Security;
}

std::string CFTPTransferer::Endpoint() const {
    return TargetOf(Server, EffectiveSecurity(), Port).Base();
}

FtpSecurity FtpSecurityOfServer(std::string_view server) {
    const std::string scheme = SplitScheme(server);
    if (scheme == "ftps") return FtpSecurity::Implicit;
    if (scheme == "sftp") return FtpSecurity::Sftp;
    return FtpSecurity::None;
}

void UxFTPTransferer::HandleError(int messageId, const std::string& detail) {
    std::string text = (Texts ? *Texts : BuiltinLanguage()).GetText(messageId);
    const size_t marker = text.find("%1");
    if (marker != std::string::npos) text.replace(marker, 2, detail);
    ErrorText.clear();
    for (char c : text) {
        if (c != '\r' && c != '\n') ErrorText += c;
    }
}
