// libcurl does the whole upload in one call, so the stages a failure belongs to (connecting and
// logging in, opening the remote file, sending the data) are read from the dialogue as it
// passes: the server's replies arrive through the debug callback, which is also where the last
// reply is kept for the error detail. Commands going out are only looked at for "STOR": the
// password goes out too and must not be kept.
#include "net/FTPTransferer.h"

#include <curl/curl.h>
#include <errno.h>
#include <sys/stat.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string_view>

#include "core/LanguageTexts.h"
#include "core/Paths.h"
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

std::string BuildUrl(const std::string& server, unsigned short defaultPort,
                     const std::string& remoteFile) {
    std::string scheme = "ftp";
    std::string_view rest = server;
    const size_t schemeEnd = rest.find("://");
    // With a scheme of its own ("ftps://", "sftp://") the server gets that scheme's port unless
    // it names one; the FTP port only applies to plain FTP.
    const bool ownScheme = schemeEnd != std::string_view::npos;
    if (ownScheme) {
        scheme = std::string(rest.substr(0, schemeEnd));
        rest.remove_prefix(schemeEnd + 3);
    }
    rest = rest.substr(0, rest.find('/'));
    const orvik::ServerAddress address =
        orvik::SplitServerAddress(rest, ownScheme ? 0 : defaultPort);
    const bool ipv6 = address.Host.find(':') != std::string::npos;
    std::string url = scheme;
    url += "://";
    if (ipv6) url += '[';
    url += address.Host;
    if (ipv6) url += ']';
    if (address.Port > 0) {
        url += ':';
        url += std::to_string(address.Port);
    }
    url += '/';
    url += EncodeRemotePath(remoteFile);
    return url;
}

void InitCurlOnce() {
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
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
    std::string Converted;  // ASCII text converted but not yet handed over

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

bool CFTPTransferer::Upload() {
    LastError = 0;
    const std::string localPath = orvik::ToNativePath(LocalFile);
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(localPath.c_str(), "rb"));
    struct stat info {};
    if (file && fstat(fileno(file.get()), &info) == 0 && S_ISDIR(info.st_mode)) {
        file.reset();
        errno = EISDIR;
    }
    if (!file) {
        LastError = static_cast<unsigned>(errno);
        HandleError(FTP_LOCAL_FILE_FAILED, std::strerror(errno));
        return false;
    }

    InitCurlOnce();
    std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
    if (!curl) {
        LastError = CURLE_FAILED_INIT;
        HandleError(FTP_SESSION_FAILED, curl_easy_strerror(CURLE_FAILED_INIT));
        return false;
    }
    FTPUploadState state(*this, file.get(), static_cast<std::uint64_t>(info.st_size),
                         BufferSize ? BufferSize : 1024u, !Binary);
    const std::string remote = RemoteFile.empty() ? orvik::FileNameOf(localPath) : RemoteFile;
    // Over FTP the file goes up under a temporary name beside its target and is renamed over it
    // only once every byte has arrived: a broken upload leaves the previous copy in place.
    // (SFTP servers rename by absolute path, which the URL does not give us: it writes in place.)
    const size_t slash = remote.rfind('/');
    const std::string remoteName = slash == std::string::npos ? remote : remote.substr(slash + 1);
    const std::string partName = "." + remoteName + ".part";
    // A line break in a name would end the rename command early: such a name goes up in place,
    // through the URL that carries it encoded.
    const bool viaPartFile = BuildUrl(Server, Port, "").rfind("ftp", 0) == 0 &&
                             !remoteName.empty() &&
                             remoteName.find_first_of("\r\n") == std::string::npos;
    const std::string url =
        BuildUrl(Server, Port, viaPartFile ? remote.substr(0, slash + 1) + partName : remote);
    char errorBuffer[CURL_ERROR_SIZE] = {};
    CURL* handle = curl.get();
    curl_easy_setopt(handle, CURLOPT_URL, url.c_str());
    curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "ftp,ftps,sftp");
    curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(handle, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(handle, CURLOPT_READFUNCTION, ReadCallback);
    curl_easy_setopt(handle, CURLOPT_READDATA, &state);
    if (Binary) curl_easy_setopt(handle, CURLOPT_INFILESIZE_LARGE, curl_off_t(info.st_size));
    // libcurl's own ASCII mode turns every LF into CRLF, a CRLF into CR CR LF included. So the
    // transfer stays binary for libcurl, the server is switched to ASCII just before STOR, and
    // the read callback does the conversion, sparing line ends that already are CRLF.
    std::unique_ptr<curl_slist, SlistDeleter> asciiType;
    if (!Binary) {
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
    if (!UserName.empty()) {
        curl_easy_setopt(handle, CURLOPT_USERNAME, UserName.c_str());
        curl_easy_setopt(handle, CURLOPT_PASSWORD, Password.c_str());
    }
    if (!Passive) curl_easy_setopt(handle, CURLOPT_FTPPORT, "-");
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

    const CURLcode result = curl_easy_perform(handle);
    if (result == CURLE_OK) return true;

    LastError = static_cast<unsigned>(result);
    if (state.ReadErrno != 0) {
        LastError = static_cast<unsigned>(state.ReadErrno);
        HandleError(FTP_LOCAL_READ_FAILED, std::strerror(state.ReadErrno));
        return false;
    }
    // The server's refusal says most; libcurl's text covers what happened below the protocol.
    // (In active mode libcurl leaves a note in the buffer even on success: only read it now.)
    std::string detail;
    if (state.LastReplyCode >= 400) {
        detail = state.LastReply;
    } else if (errorBuffer[0] != '\0') {
        detail = errorBuffer;
    } else {
        detail = curl_easy_strerror(result);
    }
    switch (state.Stage) {
        case UploadStage::Connecting:
            HandleError(FTP_CONNECT_FAILED, detail);
            break;
        case UploadStage::LoggedIn:
        case UploadStage::Storing:
            HandleError(FTP_REMOTE_FILE_FAILED, detail);
            break;
        case UploadStage::Sending:
            HandleError(FTP_WRITE_FAILED, detail);
            break;
    }
    return false;
}

void UxFTPTransferer::HandleError(int messageId, const std::string& detail) {
    std::string text = GetText(messageId);
    const size_t marker = text.find("%1");
    if (marker != std::string::npos) text.replace(marker, 2, detail);
    ErrorText.clear();
    for (char c : text) {
        if (c != '\r' && c != '\n') ErrorText += c;
    }
}
