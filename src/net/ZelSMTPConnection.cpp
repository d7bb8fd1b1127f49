#include "net/ZelSMTPConnection.h"

#include <errno.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

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
    const orvik::ServerAddress address = orvik::SplitServerAddress(server, port);
    socket_.Connect(address.Host, address.Port);
    connected_ = true;
    try {
        if (!ReadCommandResponse(220)) {
            throw CZelSMTPException(ZEL_SMTP_LOGIN_RESPONSE, lastResponse_);
        }
        std::string helo = heloHostname_;
        for (char& c : helo) {
            if (c == '\r' || c == '\n') c = ' ';
        }
        SendText("HELO " + helo + "\r\n");
        if (!ReadCommandResponse(250)) {
            throw CZelSMTPException(ZEL_SMTP_HELO_RESPONSE, lastResponse_);
        }
    } catch (...) {
        // The caller gets the first failure, not one from saying goodbye to a server that
        // may already have gone; the last reply stays the one that explains it.
        const std::string reply = lastResponse_;
        const int code = lastResponseCode_;
        try {
            Disconnect(true);
        } catch (...) {
        }
        socket_.Close();
        connected_ = false;
        lastResponse_ = reply;
        lastResponseCode_ = code;
        throw;
    }
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
    SendText("MAIL FROM:<" + message.From.EmailAddress + ">\r\n");
    if (!ReadCommandResponse(250)) {
        throw CZelSMTPException(ZEL_SMTP_MAIL_FROM_RESPONSE, lastResponse_);
    }
    for (const auto* list : {&message.To, &message.Cc, &message.Bcc}) {
        for (const CZelSMTPAddress& address : *list) {
            SendText("RCPT TO:<" + address.EmailAddress + ">\r\n");
            if (!ReadCommandResponse(250, 251)) {
                throw CZelSMTPException(ZEL_SMTP_RCPT_TO_RESPONSE, lastResponse_);
            }
        }
    }
}

void CZelSMTPConnection::SendData(const CZelSMTPMessage& message) {
    SendText("DATA\r\n");
    if (!ReadCommandResponse(354)) {
        throw CZelSMTPException(ZEL_SMTP_DATA_RESPONSE, lastResponse_);
    }
    try {
        std::string buffer = message.GetHeader(std::time(nullptr));
        buffer += "\r\n";
        const CZelSMTPBodyPart::Writer writer = [&](std::string_view text) {
            if (buffer.size() + text.size() > kSendBuffer && !buffer.empty()) {
                SendText(buffer);
                buffer.clear();
            }
            if (text.size() >= kSendBuffer) {
                SendText(text);
            } else {
                buffer.append(text);
            }
        };
        message.WriteBody(writer);
        buffer += "\r\n.\r\n";
        SendText(buffer);
    } catch (...) {
        // The only way to abandon a message in the middle of its text is to hang up; anything
        // else would let the server take a truncated message for a whole one.
        Disconnect(false);
        throw;
    }
    if (!ReadCommandResponse(250)) {
        throw CZelSMTPException(ZEL_SMTP_END_OF_MESSAGE_RESPONSE, lastResponse_);
    }
}

void CZelSMTPConnection::Disconnect(bool graceful) {
    if (!connected_) {
        socket_.Close();
        return;
    }
    struct Closer {
        CZelSMTPConnection& connection;
        ~Closer() {
            connection.socket_.Close();
            connection.connected_ = false;
        }
    } closer{*this};
    if (graceful) {
        SendText("QUIT\r\n");
        if (!ReadCommandResponse(221)) {
            throw CZelSMTPException(ZEL_SMTP_QUIT_RESPONSE, lastResponse_);
        }
    }
}

bool CZelSMTPConnection::ReadResponse() {
    using Clock = std::chrono::steady_clock;
    lastResponse_.clear();
    lastResponseCode_ = 0;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs_);
    char chunk[kReceiveChunk];
    for (;;) {
        // Rounded up, so the wait never ends before the time-out has passed.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (!socket_.IsReadable(left.count() > 0 ? static_cast<int>(left.count()) : 0)) {
            if (Clock::now() < deadline) continue;
            // A server silent for a whole time-out is asked nothing more: a QUIT would only wait
            // out a second one before the failure could be reported.
            socket_.Close();
            connected_ = false;
            return false;
        }
        const size_t received = socket_.Receive(chunk, sizeof chunk);
        if (received == 0) {
            // Nothing more can be said on a connection the server has closed.
            socket_.Close();
            connected_ = false;
            throw CZelSMTPException(ZEL_SMTP_GRACEFUL_DISCONNECT, lastResponse_);
        }
        lastResponse_.append(chunk, received);
        if (IsCompleteReply(lastResponse_)) {
            lastResponseCode_ = ReplyCode(lastResponse_);
            return true;
        }
        if (lastResponse_.size() > kMaxReplyLength) return false;
    }
}

bool CZelSMTPConnection::ReadCommandResponse(int expected, int alternative) {
    if (!ReadResponse()) return false;
    return lastResponseCode_ == expected || (alternative >= 0 && lastResponseCode_ == alternative);
}

void CZelSMTPConnection::SendText(std::string_view text) {
    socket_.Send(text, timeoutMs_);
}
