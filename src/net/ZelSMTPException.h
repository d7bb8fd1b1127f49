// The mail client's error object. A protocol error carries the id of its message in the
// program's string table and the server's last reply; its readable text is that message with the
// reply in place of "%1" (in the user's language when a language file translates it). Failures of
// the system below the protocol (a file to attach that cannot be read) carry the system's error
// code instead. Socket failures are CWSocketException, not this.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

// Message ids of the mail client's errors. 413, 414, 422, 423, 440, 449 and 450 belong to the
// same table but name failures this client cannot have: attachments are streamed whatever their
// size (an empty one is sent empty) and the encoders cannot fail.
enum ZelSMTPError : int {
    ZEL_SMTP_LOGIN_RESPONSE = 412,  // greeting other than 220
    ZEL_SMTP_BODY_PART_HEADER = 413,
    ZEL_SMTP_BODY_PART_BODY = 414,
    ZEL_SMTP_HELO_RESPONSE = 417,
    ZEL_SMTP_QUIT_RESPONSE = 418,
    ZEL_SMTP_MAIL_FROM_RESPONSE = 419,
    ZEL_SMTP_DATA_RESPONSE = 420,
    ZEL_SMTP_END_OF_MESSAGE_RESPONSE = 421,
    ZEL_SMTP_FILE_TOO_LARGE = 422,
    ZEL_SMTP_EMPTY_FILE = 423,
    ZEL_SMTP_RCPT_TO_RESPONSE = 424,
    ZEL_SMTP_BASE64_ENCODE = 440,
    ZEL_SMTP_GRACEFUL_DISCONNECT = 448,  // the server closed the connection
    ZEL_SMTP_QP_ENCODE = 449,
    ZEL_SMTP_Q_ENCODE = 450,
    ZEL_SMTP_EHLO_RESPONSE = 451,         // EHLO answered other than 250 or a refusal (5xx)
    ZEL_SMTP_STARTTLS_NOT_OFFERED = 452,  // encryption required, the server does not offer it
    ZEL_SMTP_STARTTLS_RESPONSE = 453,     // STARTTLS answered other than 220
    ZEL_SMTP_TLS_FAILURE = 454,           // TLS failed; the "reply" is OpenSSL's reason
    ZEL_SMTP_AUTH_NOT_OFFERED = 455,      // a login is configured, no usable mechanism offered
    ZEL_SMTP_AUTH_RESPONSE = 456,         // the server refused the login
    ZEL_SMTP_NO_ANSWER = 457,             // no reply within the time-out; "%1" says which
    ZEL_SMTP_LOGIN_NOT_PROTECTED = 458,   // a login is configured, STARTTLS not offered
};

class CLanguageTexts;

class CZelSMTPException : public std::runtime_error {
  public:
    // A protocol error: message `messageId` in `texts` with `lastResponse` for "%1".
    CZelSMTPException(const CLanguageTexts& texts, int messageId, std::string lastResponse);
    // The same naming the server, which goes in place of "%2".
    CZelSMTPException(const CLanguageTexts& texts, int messageId, std::string lastResponse,
                      const std::string& server);

    // A system failure (errno `errorCode`) while doing `what`, e.g. "Cannot open 'a.pdf'".
    static CZelSMTPException SystemError(int errorCode, const std::string& what);

    // The error code in the HRESULT layout: 0x80040000 | message id for protocol errors,
    // 0x80070000 | errno for system failures.
    std::uint32_t GetCode() const { return code_; }
    // The string-table id (0 for system failures).
    int GetMessageId() const { return messageId_; }
    // The errno of a system failure (0 for protocol errors).
    int GetSystemError() const { return systemError_; }
    // The server's last reply as it was received (CRLF included).
    const std::string& GetLastResponse() const { return lastResponse_; }
    // The readable text (the same as what()).
    std::string GetErrorMessage() const { return what(); }

  private:
    CZelSMTPException(std::uint32_t code, int systemError, const std::string& text);

    std::uint32_t code_;
    int messageId_ = 0;
    int systemError_ = 0;
    std::string lastResponse_;
};
