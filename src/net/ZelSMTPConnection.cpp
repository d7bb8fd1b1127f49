#include "net/ZelSMTPConnection.h"

#include <errno.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <stdexcept>

#include "core/LanguageTexts.h"
#include "core/LogText.h"
#include "net/Mime.h"
#include "net/ServerAddress.h"
#include "net/ZelSMTPException.h"

namespace {

constexpr size_t kReceiveChunk = 4095;
// A reply is a few lines; a peer that sends more without ever finishing one is not a mail server.
constexpr size_t kMaxReplyLength = 1 << 20;
// The message text is handed to the socket in pieces of about this size.
constexpr size_t kSendBuffer = 256 * 1024;

// True when `reply` holds a complete reply: it ends with CRLF and its last line is a code
// followed by a blank (a hyphen there means more lines follow) or a bare code.
bool IsCompleteReply(const std::string& reply) {
    if (reply.size() < 5 || reply.compare(reply.size() - 2, 2, "\r\n") != 0) return false;
    const size_t previousEnd = reply.rfind("\r\n", reply.size() - 3);
    const size_t lineStart = previousEnd == std::string::npos ? 0 : previousEnd + 2;
    const size_t lineLength = reply.size() - 2 - lineStart;
    if (lineLength == 3) return true;
    return lineLength >= 4 && reply[lineStart + 3] == ' ';
}

int ReplyCode(const std::string& reply) {
    int code = 0;
    for (size_t i = 0; i < reply.size() && i < 3 && reply[i] >= '0' && reply[i] <= '9'; ++i) {
        code = code * 10 + (reply[i] - '0');
    }
    return code;
}

// An address goes into a command line between angle brackets as it stands, so it must not be
// able to end the line or the brackets early.
void CheckAddress(const CZelSMTPAddress& address) {
    for (unsigned char c : address.EmailAddress) {
        if (c < 0x20 || c == 0x7F || c == '<' || c == '>') {
            std::string shown = address.EmailAddress;
            for (char& s : shown) {
                if (static_cast<unsigned char>(s) < 0x20 || s == 0x7F) s = '?';
            }
            throw CZelSMTPException::SystemError(EINVAL, "Invalid mail address '" + shown + "'");
        }
    }
}

// Base64 on one line, as SASL wants it.
std::string SaslBase64(std::string_view data) {
    std::string text = orvik::mime::Base64Encode(data);
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    return text;
}

std::string Upper(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

// The keywords of a 250 reply to EHLO, one line each after the first (the greeting).
SmtpCapabilities ParseCapabilities(const std::string& reply) {
    SmtpCapabilities found;
    found.Extended = true;
    size_t start = 0;
    bool first = true;
    for (size_t end; (end = reply.find("\r\n", start)) != std::string::npos; start = end + 2) {
        const std::string line = reply.substr(start, end - start);
        if (first || line.size() < 4) {
            first = false;
            continue;
        }
        std::vector<std::string> words;
        size_t at = 4;
        while (at < line.size()) {
            const size_t wordEnd = std::min(line.find(' ', at), line.size());
            if (wordEnd > at) words.push_back(line.substr(at, wordEnd - at));
            at = wordEnd + 1;
        }
        if (words.empty()) continue;
        std::string keyword = Upper(words[0]);
        // Old servers announce "AUTH=LOGIN PLAIN".
        if (keyword.rfind("AUTH=", 0) == 0) {
            words.insert(words.begin() + 1, keyword.substr(5));
            keyword = "AUTH";
        }
        if (keyword == "STARTTLS") {
            found.StartTls = true;
        } else if (keyword == "8BITMIME") {
            found.EightBitMime = true;
        } else if (keyword == "SIZE") {
            found.Size = true;
            if (words.size() > 1) {
                unsigned long long limit = 0;
                const std::string& digits = words[1];
                if (!digits.empty() && digits.size() <= 18 &&
                    std::all_of(digits.begin(), digits.end(),
                                [](char c) { return c >= '0' && c <= '9'; })) {
                    limit = std::stoull(digits);
                }
                found.SizeLimit = limit;
            }
        } else if (keyword == "AUTH") {
            for (size_t i = 1; i < words.size(); ++i) {
                const std::string mechanism = Upper(words[i]);
                if (std::find(found.AuthMechanisms.begin(), found.AuthMechanisms.end(),
                              mechanism) == found.AuthMechanisms.end())
                    found.AuthMechanisms.push_back(mechanism);
            }
        }
    }
    return found;
}

bool HasEightBitText(const CZelSMTPBodyPart& part) {
    if (part.GetFilename().empty() && !part.GetBase64() && !part.GetQuotedPrintable()) {
        for (unsigned char c : part.GetText()) {
            if (c >= 0x80) return true;
        }
    }
    for (size_t i = 0; i < part.GetNumberOfChildBodyParts(); ++i) {
        if (HasEightBitText(part.GetChildBodyPart(i))) return true;
    }
    return false;
}

// What the message will come to on the wire, a little generously: text quoted-printable at its
// worst, attachments base64 with their line ends. Only an estimate is asked for; an overstated
// size merely risks a refusal the real message would have met anyway.
unsigned long long EstimatedSize(const CZelSMTPBodyPart& part) {
    unsigned long long size = 512;  // the part's header and boundaries
    if (!part.GetFilename().empty()) {
        std::error_code error;
        const auto bytes = std::filesystem::file_size(part.GetFilename(), error);
        if (!error) size += (bytes + 2) / 3 * 4 + bytes / 57 * 2;
    } else if (part.GetBase64()) {
        size += part.GetText().size() / 3 * 4 + part.GetText().size() / 57 * 2 + 4;
    } else if (part.GetQuotedPrintable()) {
        size += part.GetText().size() * 3 / 2;
    } else {
        size += part.GetText().size();
    }
    for (size_t i = 0; i < part.GetNumberOfChildBodyParts(); ++i)
        size += EstimatedSize(part.GetChildBodyPart(i));
    return size;
}

// The verb of a command, for a message about its missing reply; never anything after it (a
// login's own lines are the secret). Text that starts with none of them names no command.
std::string CommandVerb(std::string_view text) {
    for (const char* verb :
         {"EHLO", "HELO", "STARTTLS", "AUTH", "MAIL FROM", "RCPT TO", "DATA", "QUIT"}) {
        if (text.starts_with(verb)) return verb;
    }
    return {};
}

// A time-out as a person reads it: whole seconds as such, anything else in milliseconds.
std::string Duration(int milliseconds) {
    if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " s";
    return std::to_string(milliseconds) + " ms";
}

const char* MechanismName(MailAuthMethod method) {
    switch (method) {
        case MailAuthMethod::Plain:
            return "PLAIN";
        case MailAuthMethod::Login:
            return "LOGIN";
        case MailAuthMethod::XOAuth2:
            return "XOAUTH2";
        case MailAuthMethod::Auto:
            break;
    }
    return "";
}

}  // namespace

CZelSMTPConnection::CZelSMTPConnection() {
    char name[260] = {};
    if (gethostname(name, sizeof name - 1) == 0 && name[0] != '\0') heloHostname_ = name;
}

CZelSMTPConnection::~CZelSMTPConnection() {
    try {
        if (connected_) Disconnect(true);
    } catch (...) {
        // A destructor has nobody to tell; the socket is closed either way.
    }
}

void CZelSMTPConnection::Connect(const std::string& server, int port) {
    if (connected_) throw std::logic_error("The mail connection is already open");
    orvik::ServerAddress address = orvik::ParseMailServer(server);
    if (address.Scheme.empty()) address = orvik::SplitServerAddress(server, port);
    host_ = address.Host;
    serverName_ = address.Host + ":" + std::to_string(address.Port);
    capabilities_ = SmtpCapabilities{};
    usedMechanism_.clear();
    tlsFailed_ = false;
    try {
        socket_.Connect(address.Host, address.Port, connectTimeoutMs_);
    } catch (const CWSocketException& error) {
        if (error.GetErrorCode() != ETIMEDOUT) throw;
        throw CWSocketException(ETIMEDOUT, error.what() + std::string(" (MailConnectTimeout)"));
    }
    connected_ = true;
    try {
        if (security_ == MailSecurity::Tls) StartTls();
        awaiting_ = "the greeting";
        if (!ReadCommandResponse(220)) {
            throw CZelSMTPException(Texts(), ZEL_SMTP_LOGIN_RESPONSE, lastResponse_);
        }
        SayHello();
        SecureAfterHello();
        if (!user_.empty()) LogIn();
    } catch (...) {
        // The caller gets the first failure, not one from saying goodbye to a server that
        // may already have gone; the last reply stays the one that explains it.
        const std::string reply = lastResponse_;
        const int code = lastResponseCode_;
        try {
            // A stream whose TLS failed carries nothing more, not even a farewell.
            Disconnect(!tlsFailed_);
        } catch (...) {
        }
        tls_.Close();
        socket_.Close();
        connected_ = false;
        lastResponse_ = reply;
        lastResponseCode_ = code;
        throw;
    }
}

void CZelSMTPConnection::StartTls() {
    try {
        tls_.Handshake(socket_.Handle(), host_, tlsOptions_, timeoutMs_);
    } catch (const CTlsException& error) {
        tlsFailed_ = true;
        throw CZelSMTPException(Texts(), ZEL_SMTP_TLS_FAILURE, error.what(), serverName_);
    }
}

void CZelSMTPConnection::SayHello() {
    std::string name = heloHostname_;
    for (char& c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '-';
    }
    SendText("EHLO " + name + "\r\n");
    if (ReadCommandResponse(250)) {
        capabilities_ = ParseCapabilities(lastResponse_);
        return;
    }
    // Only a server that does not know EHLO gets HELO: any other answer is a failure of its own.
    if (lastResponseCode_ < 500 || lastResponseCode_ > 599) {
        throw CZelSMTPException(Texts(), ZEL_SMTP_EHLO_RESPONSE, lastResponse_, serverName_);
    }
    capabilities_ = SmtpCapabilities{};
    SendText("HELO " + name + "\r\n");
    if (!ReadCommandResponse(250)) {
        throw CZelSMTPException(Texts(), ZEL_SMTP_HELO_RESPONSE, lastResponse_);
    }
}

void CZelSMTPConnection::SecureAfterHello() {
    if (tls_.IsOpen()) return;
    if (security_ != MailSecurity::StartTls && security_ != MailSecurity::StartTlsRequired) return;
    if (!capabilities_.StartTls) {
        if (security_ == MailSecurity::StartTlsRequired)
            throw CZelSMTPException(Texts(), ZEL_SMTP_STARTTLS_NOT_OFFERED, lastResponse_,
                                    serverName_);
        // A server that stops offering STARTTLS (or someone in between who strips it) must not
        // get the login in clear: only MailSecurity none, chosen on purpose, sends it so.
        if (!user_.empty())
            throw CZelSMTPException(Texts(), ZEL_SMTP_LOGIN_NOT_PROTECTED, lastResponse_,
                                    serverName_);
        return;
    }
    SendText("STARTTLS\r\n");
    if (!ReadCommandResponse(220)) {
        throw CZelSMTPException(Texts(), ZEL_SMTP_STARTTLS_RESPONSE, lastResponse_, serverName_);
    }
    StartTls();
    // What the server said before encryption may have been tampered with: ask again.
    SayHello();
}

void CZelSMTPConnection::LogIn() {
    const std::vector<std::string>& offered = capabilities_.AuthMechanisms;
    const auto offers = [&](const char* name) {
        return std::find(offered.begin(), offered.end(), name) != offered.end();
    };
    std::string mechanism;
    if (authMethod_ == MailAuthMethod::Auto) {
        for (const char* candidate : {"PLAIN", "LOGIN"}) {
            if (offers(candidate)) {
                mechanism = candidate;
                break;
            }
        }
    } else if (offers(MechanismName(authMethod_))) {
        mechanism = MechanismName(authMethod_);
    }
    if (mechanism.empty()) {
        throw CZelSMTPException(Texts(), ZEL_SMTP_AUTH_NOT_OFFERED, lastResponse_, serverName_);
    }
    // The separators of each mechanism must not be smuggled in through the user name.
    const bool unfit = (mechanism == "PLAIN" && user_.find('\0') != std::string::npos) ||
                       (mechanism == "XOAUTH2" && user_.find('\x01') != std::string::npos) ||
                       secret_.find('\0') != std::string::npos ||
                       (mechanism == "XOAUTH2" && secret_.find('\x01') != std::string::npos);
    if (unfit) {
        throw CZelSMTPException::SystemError(EINVAL,
                                             "The mail user or password holds a "
                                             "character the login cannot carry");
    }
    if (!tls_.IsOpen() && security_ != MailSecurity::None) {
        throw CZelSMTPException(Texts(), ZEL_SMTP_LOGIN_NOT_PROTECTED, lastResponse_, serverName_);
    }
    usedMechanism_ = mechanism;
    if (!tls_.IsOpen()) {
        // Chosen on purpose (a relay on the local network that has never had TLS): the log
        // tells whoever reads it what crosses the wire.
        Log("Warning: the mail " + std::string(mechanism == "XOAUTH2" ? "token" : "password") +
            " goes unencrypted (AUTH " + mechanism + ") to mail server " +
            orvik::EscapeForLog(serverName_) +
            ": the session is not encrypted (MailSecurity none)");
    }
    if (mechanism == "PLAIN") {
        SendText("AUTH PLAIN " + SaslBase64(std::string(1, '\0') + user_ + '\0' + secret_) +
                 "\r\n");
    } else if (mechanism == "LOGIN") {
        SendText("AUTH LOGIN\r\n");
        if (ReadCommandResponse(334)) {
            SendText(SaslBase64(user_) + "\r\n");
            if (ReadCommandResponse(334)) SendText(SaslBase64(secret_) + "\r\n");
        }
        if (lastResponseCode_ != 334) {
            throw CZelSMTPException(Texts(), ZEL_SMTP_AUTH_RESPONSE, lastResponse_, serverName_);
        }
    } else {
        SendText("AUTH XOAUTH2 " +
                 SaslBase64("user=" + user_ + "\x01" + "auth=Bearer " + secret_ + "\x01\x01") +
                 "\r\n");
    }
    if (ReadCommandResponse(235)) return;
    if (mechanism == "XOAUTH2" && lastResponseCode_ == 334) {
        // The server's error details come as a challenge; an empty answer ends the exchange
        // with the final refusal, which is what the user needs to read.
        const std::string details = lastResponse_;
        SendText("\r\n");
        ReadResponse();
        lastResponse_ = details + lastResponse_;
    }
    throw CZelSMTPException(Texts(), ZEL_SMTP_AUTH_RESPONSE, lastResponse_, serverName_);
}

void CZelSMTPConnection::SendMessage(const CZelSMTPMessage& message) {
    if (!connected_) throw std::logic_error("The mail connection is not open");
    if (message.To.empty() && message.Cc.empty() && message.Bcc.empty()) {
        throw CZelSMTPException::SystemError(EDESTADDRREQ, "The message has no recipients");
    }
    CheckAddress(message.From);
    for (const auto* list : {&message.To, &message.Cc, &message.Bcc}) {
        for (const CZelSMTPAddress& address : *list) CheckAddress(address);
    }
    if (message.GetMime()) message.GetRootPart().CheckFilesReadable();
    SendEnvelope(message);
    SendData(message);
}

void CZelSMTPConnection::SendEnvelope(const CZelSMTPMessage& message) {
    std::string parameters;
    if (capabilities_.Size)
        parameters += " SIZE=" + std::to_string(EstimatedSize(message.GetRootPart()) + 4096);
    if (capabilities_.EightBitMime && HasEightBitText(message.GetRootPart()))
        parameters += " BODY=8BITMIME";
    SendText("MAIL FROM:<" + message.From.EmailAddress + ">" + parameters + "\r\n");
    if (!ReadCommandResponse(250)) {
        throw CZelSMTPException(Texts(), ZEL_SMTP_MAIL_FROM_RESPONSE, lastResponse_);
    }
    for (const auto* list : {&message.To, &message.Cc, &message.Bcc}) {
        for (const CZelSMTPAddress& address : *list) {
            SendText("RCPT TO:<" + address.EmailAddress + ">\r\n");
            if (!ReadCommandResponse(250, 251)) {
                throw CZelSMTPException(Texts(), ZEL_SMTP_RCPT_TO_RESPONSE, lastResponse_);
            }
        }
    }
}

void CZelSMTPConnection::SendData(const CZelSMTPMessage& message) {
    SendText("DATA\r\n");
    if (!ReadCommandResponse(354)) {
        throw CZelSMTPException(Texts(), ZEL_SMTP_DATA_RESPONSE, lastResponse_);
    }
    try {
        std::string buffer = message.GetHeader(std::time(nullptr));
        buffer += "\r\n";
        const CZelSMTPBodyPart::Writer writer = [&](std::string_view text) {
            if (buffer.size() + text.size() > kSendBuffer && !buffer.empty()) {
                SendRaw(buffer);
                buffer.clear();
            }
            if (text.size() >= kSendBuffer) {
                SendRaw(text);
            } else {
                buffer.append(text);
            }
        };
        message.WriteBody(writer);
        buffer += "\r\n.\r\n";
        SendRaw(buffer);
        awaiting_ = "the end of the message";
    } catch (...) {
        // The only way to abandon a message in the middle of its text is to hang up; anything
        // else would let the server take a truncated message for a whole one.
        Disconnect(false);
        throw;
    }
    if (!ReadCommandResponse(250)) {
        throw CZelSMTPException(Texts(), ZEL_SMTP_END_OF_MESSAGE_RESPONSE, lastResponse_);
    }
}

void CZelSMTPConnection::Disconnect(bool graceful) {
    if (!connected_) {
        tls_.Close();
        socket_.Close();
        return;
    }
    struct Closer {
        CZelSMTPConnection& connection;
        ~Closer() {
            connection.tls_.Close();
            connection.socket_.Close();
            connection.connected_ = false;
        }
    } closer{*this};
    if (graceful) {
        SendText("QUIT\r\n");
        if (!ReadCommandResponse(221, -1, std::min(timeoutMs_, kQuitTimeoutMs))) {
            throw CZelSMTPException(Texts(), ZEL_SMTP_QUIT_RESPONSE, lastResponse_);
        }
    }
}

bool CZelSMTPConnection::ReadResponse(int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    lastResponse_.clear();
    lastResponseCode_ = 0;
    if (timeoutMs < 0) timeoutMs = timeoutMs_;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    char chunk[kReceiveChunk];
    for (;;) {
        // Rounded up, so the wait never ends before the time-out has passed.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        const int wait = left.count() > 0 ? static_cast<int>(left.count()) : 0;
        size_t received = 0;
        try {
            if (!(tls_.IsOpen() ? tls_.IsReadable(wait) : socket_.IsReadable(wait))) {
                if (Clock::now() < deadline) continue;
                // A server silent for a whole time-out is asked nothing more: a QUIT would only
                // wait out a second one before the failure could be reported.
                tls_.Close();
                socket_.Close();
                connected_ = false;
                throw CZelSMTPException(Texts(), ZEL_SMTP_NO_ANSWER,
                                        Duration(timeoutMs) + " (waiting for the reply to " +
                                            (awaiting_.empty() ? "the last command" : awaiting_) +
                                            ")",
                                        serverName_);
            }
            received = tls_.IsOpen() ? tls_.Receive(chunk, sizeof chunk)
                                     : socket_.Receive(chunk, sizeof chunk);
        } catch (const CTlsException& error) {
            Fail(error.what());
        }
        if (received == 0) {
            // Nothing more can be said on a connection the server has closed.
            tls_.Close();
            socket_.Close();
            connected_ = false;
            throw CZelSMTPException(Texts(), ZEL_SMTP_GRACEFUL_DISCONNECT, lastResponse_);
        }
        lastResponse_.append(chunk, received);
        if (IsCompleteReply(lastResponse_)) {
            lastResponseCode_ = ReplyCode(lastResponse_);
            return true;
        }
        if (lastResponse_.size() > kMaxReplyLength) return false;
    }
}

bool CZelSMTPConnection::ReadCommandResponse(int expected, int alternative, int timeoutMs) {
    if (!ReadResponse(timeoutMs)) return false;
    return lastResponseCode_ == expected || (alternative >= 0 && lastResponseCode_ == alternative);
}

void CZelSMTPConnection::SendText(std::string_view text) {
    if (std::string verb = CommandVerb(text); !verb.empty()) awaiting_ = std::move(verb);
    SendRaw(text);
}

void CZelSMTPConnection::SendRaw(std::string_view text) {
    if (!tls_.IsOpen()) {
        socket_.Send(text, timeoutMs_);
        return;
    }
    try {
        tls_.Send(text, timeoutMs_);
    } catch (const CTlsException& error) {
        Fail(error.what());
    }
}

void CZelSMTPConnection::Fail(const std::string& tlsError) {
    // A broken TLS stream cannot even carry QUIT.
    tlsFailed_ = true;
    tls_.Close();
    socket_.Close();
    connected_ = false;
    throw CZelSMTPException(Texts(), ZEL_SMTP_TLS_FAILURE, tlsError, serverName_);
}
